// The Wine harness: runs the updater in a folder and works its windows like a
// user, with the status lines recorded by the hook DLL. Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"
#include "win32/Handles.h"
#include "win32/UniqueProcessInformation.h"

// Code page 1252 text shown readably in failure messages.
std::string Printable(const std::string& text);

// Deletes a directory and all it holds; true when it is gone.
bool RemoveTree(const std::string& path);
// Every file below dir, by relative path, with its contents.
std::map<std::string, std::string> ListTree(const std::string& dir);

// Polls until condition holds or timeoutMs passes.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// A visible top-level dialog (#32770) of the process with this caption,
// owned by owner when owner is given.
HWND FindDialog(DWORD processId, const std::string& caption, HWND owner);
std::string WindowText(HWND window);

// The status lines recorded by the hook DLL, in order.
std::vector<std::string> ReadStatusLog(const std::string& path);

struct DriverPaths {
    std::string updater;   // dravlek-update.exe
    std::string hookDll;   // status_hook.dll; empty: no status lines recorded
    std::string work;      // scratch folder of the run
};

// One run of the updater, started in a folder and watched through its windows.
// Ending the object ends a process that is still running.
class UpdaterRun {
public:
    // statusLog is used only with a hook DLL.
    UpdaterRun(const DriverPaths& paths, const std::string& folder, const std::string& statusLog,
               bool failThreadStart = false);
    ~UpdaterRun();
    UpdaterRun(const UpdaterRun&) = delete;
    UpdaterRun& operator=(const UpdaterRun&) = delete;

    // True once the selection dialog is up and the status hook is in place.
    bool Ready() const { return ready_; }
    const std::string& Problem() const { return problem_; }

    // The texts of the boxes the start showed before the selection dialog
    // (each answered with OK), in order.
    const std::vector<std::string>& StartBoxes() const { return startBoxes_; }

    HWND Selection() const { return selection_; }
    HWND Item(int id) const { return GetDlgItem(selection_, id); }
    DWORD ProcessId() const { return process_.ProcessId(); }

    std::vector<std::string> Rows() const;
    // Clicks a row of the package list with the mouse messages a user's click gives.
    bool ClickRow(int row) const;
    void Click(HWND button) const { PostMessageA(button, BM_CLICK, 0, 0); }
    // Posts a key press to the window that has the focus in the updater.
    void PressKey(WPARAM key) const;
    // The updater's focus window, for failure messages.
    std::string FocusDescription() const;

    // The confirmation box, once it is shown (null after the timeout).
    HWND WaitForConfirmation(DWORD timeoutMs = 10000) const;
    HWND WaitForProgress(DWORD timeoutMs = 10000) const;
    bool WaitForExit(DWORD timeoutMs = 15000) const;
    bool Exited() const { return WaitForExit(0); }

private:
    UniqueProcessInformation process_;
    UniqueModule hookModule_;
    UniqueHook hook_;  // taken out before its module goes
    HWND selection_ = nullptr;
    bool ready_ = false;
    std::string problem_;
    std::vector<std::string> startBoxes_;
};
