// The Wine harness: the updater started in a folder and worked through its
// windows like a user, with the status lines recorded by the hook DLL
// (tests/e2e/StatusHook.cpp). Windows only.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "win32/Handles.h"
#include "res/resource.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FolderTree.h"
#include "tests/support/TestFiles.h"


// The text control of a message box.
constexpr int kMessageBoxText = 0xFFFF;

// Polls until condition holds or timeoutMs passes.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// A visible top-level dialog (#32770) of the process with this caption,
// owned by owner when owner is given.
HWND FindDialog(DWORD processId, const std::string& caption, HWND owner);
std::string WindowText(HWND window);
// A message box: a dialog with a text control and no package list (the
// selection dialog has the same caption).
bool IsMessageBox(HWND dialog);

// The records the hook DLL wrote to a log, in order.
std::vector<std::string> ReadStatusLog(const std::string& path);
// The lines of a /log file between the run's first and its exit code,
// without their date and time.
std::vector<std::string> LoggedStatusLines(const std::string& log);
// A message's status line, followed by a space and name when one is given,
// in UTF-8 as the log writes every line.
std::string LoggedLine(int messageId, const std::string& name = "");
// program run with arguments in folder until it ends: its exit code. A run
// that waits for a person (a box it should not show) is ended with 9998.
DWORD RunUntilExit(const std::string& program, const std::string& arguments, const std::string& folder);
// The hook DLL's procedure, loaded into this process (null when it cannot be).
HOOKPROC LoadStatusHook(const std::string& dll, UniqueModule& module);

struct DriverPaths {
    std::string updater;   // dravlek-update.exe
    std::string hookDll;   // status_hook.dll; empty: no status lines recorded
    std::string work;      // scratch folder of the run

    // The install root, registered for the test product by run-e2e.sh.
    std::string Root() const { return work + "\\root"; }
};
// What run-e2e.sh hands the tests in DVK_E2E_UPDATER, DVK_E2E_HOOK and
// DVK_E2E_WORK.
const DriverPaths& E2ePaths();

// The updater started without arguments in a folder, up to its selection
// dialog (answering with OK any box its start shows first). Ending the
// object ends a process that is still running.
class UpdaterProcess {
public:
    // statusLog is used only with a hook DLL.
    UpdaterProcess(const DriverPaths& paths, const std::string& folder, const std::string& statusLog,
                   bool failThreadStart = false);
    ~UpdaterProcess();
    UpdaterProcess(const UpdaterProcess&) = delete;
    UpdaterProcess& operator=(const UpdaterProcess&) = delete;

    // True once the selection dialog is up and the status hook is in place.
    bool Ready() const { return ready_; }
    const std::string& Problem() const { return problem_; }

    // The texts of the boxes the start showed before the selection dialog
    // (each answered with OK), in order.
    const std::vector<std::string>& StartBoxes() const { return startBoxes_; }

    HWND Selection() const { return selection_; }
    HWND Item(int id) const { return GetDlgItem(selection_, id); }
    DWORD ProcessId() const { return process_.Id(); }

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
    // Update, then Yes in the confirmation box: the progress dialog, or null
    // when a step did not come.
    HWND ConfirmUpdate() const;
    bool WaitForExit(DWORD timeoutMs = 15000) const { return process_.Ended(timeoutMs); }
    bool Exited() const { return WaitForExit(0); }

private:
    ChildProcess process_;
    UniqueModule hookModule_;
    UniqueHook hook_;
    HWND selection_ = nullptr;
    bool ready_ = false;
    std::string problem_;
    std::vector<std::string> startBoxes_;
};
