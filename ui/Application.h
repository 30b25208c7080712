// The process's one application object, reachable from every thread.
//
// A program defines exactly one object of a class derived from Application at
// namespace scope; the entry routine runs its InitInstance.
#pragma once

#include <windows.h>

class ModalDialog;

class Application {
public:
    Application();
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The application object, or null before it is constructed.
    static Application* Current() { return current_; }

    // Start routine. Returning false ends the program without a message
    // loop, with ExitCode as the process's exit code.
    virtual bool InitInstance() = 0;
    virtual int ExitCode() const { return 0; }

    // Runs InitInstance and, if it returns true, a message loop until WM_QUIT.
    int Run();

    HINSTANCE Instance() const { return GetModuleHandleA(nullptr); }

    // The main window: owner of dialogs run without an explicit owner. It
    // reads as null once that dialog's window is gone.
    void SetMainDialog(ModalDialog* dialog) { mainDialog_ = dialog; }
    HWND MainWindow() const;

private:
    static Application* current_;
    ModalDialog* mainDialog_ = nullptr;
};
