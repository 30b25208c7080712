// The process's one application object.
//
// A program defines exactly one object of a class derived from Application at
// namespace scope; WinMain runs its Main. What the program does at start,
// and in which order, is decided in the derived class's InitInstance and Run.
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

    // InitInstance, then Run when it lets the program go on; the process's
    // exit code. No exception gets past it into Windows.
    int Main();

    HINSTANCE Instance() const { return GetModuleHandleA(nullptr); }

    // The main window: owner of dialogs run without an explicit owner. It
    // reads as null once that dialog's window is gone.
    void SetMainDialog(ModalDialog* dialog) { mainDialog_ = dialog; }
    HWND MainWindow() const;

    // The exit code when an exception reached Main: the failure of an
    // update (ERROR_INSTALL_FAILURE), the code deployment tools know.
    static constexpr int kExitUnexpectedError = 1603;

protected:
    // Start-up that comes before any window. False ends the program at once
    // with the exit code it stored in exitCode.
    virtual bool InitInstance(int& exitCode) {
        (void)exitCode;
        return true;
    }
    // The program's work; returns the process's exit code.
    virtual int Run() = 0;

private:
    static Application* current_;
    ModalDialog* mainDialog_ = nullptr;
};
