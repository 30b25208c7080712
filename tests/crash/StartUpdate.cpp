// Starts dravlek-update.exe in a folder and takes it, as a user would, as far
// as a running update: select the first row, Update, Yes. Returns once the
// progress dialog is up, leaving the program running; the crash test then
// kills the program at a moment of its choosing. With --finish it instead
// waits for Close, clicks it, waits for the program to end and prints the
// last status line, then the milliseconds from the progress dialog's
// appearance to Close being enabled. With --listing it only measures the
// milliseconds from the program's start to its selection dialog shown with
// every row, prints them and the row count, and cancels. With --recover it
// only starts the program (in a folder without packages), answers the
// message box its start shows, if any, printing the box's text (nothing when
// there was none), then closes the selection dialog and waits for the end.
//
//   start-update.exe [--finish | --listing | --recover] PROGRAM FOLDER
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/UpdaterRun.h"
#include "win32/UniqueProcessInformation.h"

namespace {

// A visible dialog of the process with this caption (owned by owner when one
// is given), within the timeout; none as soon as the process has ended (the
// crash test may kill it at any moment).
HWND WaitForDialog(HANDLE process, DWORD processId, const char* caption, HWND owner, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitFor([&] {
        found = FindDialog(processId, caption, owner);
        return found != nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    }, timeoutMs);
    return found;
}

int Fail(const char* what) {
    std::fprintf(stderr, "start-update: %s\n", what);
    return 1;
}

// A message box is a dialog whose text is the static control 0xFFFF; the
// selection dialog has the same caption but a package list.
bool IsMessageBox(HWND dialog) {
    return GetDlgItem(dialog, 0xFFFF) != nullptr && GetDlgItem(dialog, 1001) == nullptr;
}

// Answers the start's box, if one comes, and cancels the selection dialog.
int Recover(HANDLE process, DWORD processId) {
    std::string boxText;
    HWND select = nullptr;
    bool found = WaitFor([&] {
        HWND dialog = FindDialog(processId, "Dravlek", nullptr);
        if (dialog == nullptr) return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
        if (!IsMessageBox(dialog)) {
            select = dialog;
            return true;
        }
        boxText = WindowText(GetDlgItem(dialog, 0xFFFF));
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        WaitFor([&] { return !IsWindow(dialog); }, 5000);
        return false;
    }, 60000);
    if (!found) return Fail("neither a box nor the selection dialog appeared");
    if (select != nullptr) PostMessageA(select, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0) return Fail("the program did not end");
    std::printf("%s\n", boxText.c_str());
    return 0;
}

}  // namespace

// Waits for the worker to enable Close, clicks it and waits for the exit.
int Finish(HANDLE process, HWND progress) {
    DWORD shown = GetTickCount();
    HWND close = GetDlgItem(progress, 1006);
    while (!IsWindowEnabled(close)) {
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) return Fail("the program ended before Close");
    }
    DWORD applyMs = GetTickCount() - shown;
    std::string status = WindowText(GetDlgItem(progress, 1005));
    PostMessageA(close, BM_CLICK, 0, 0);
    if (WaitForSingleObject(process, 30000) != WAIT_OBJECT_0) return Fail("the program did not end after Close");
    std::printf("%s\n%lu\n", status.c_str(), applyMs);
    return 0;
}

int main(int argc, char** argv) {
    std::string mode = argc == 4 ? argv[1] : "";
    bool finish = mode == "--finish";
    bool listing = mode == "--listing";
    bool recover = mode == "--recover";
    if (finish || listing || recover) ++argv, --argc;
    if (argc != 3) return Fail("usage: start-update.exe [--finish | --listing | --recover] PROGRAM FOLDER");
    DWORD started = GetTickCount();
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation process;
    if (!CreateProcessA(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, argv[2], &startup,
                        process.Put())) {
        return Fail("cannot start the program");
    }
    process.CloseThread();
    if (recover) return Recover(process.Process(), process.ProcessId());

    HWND select = WaitForDialog(process.Process(), process.ProcessId(), "Dravlek", nullptr, 30000);
    if (select == nullptr) return Fail("the selection dialog did not appear");
    if (IsMessageBox(select)) return Fail(("a box came first: " + WindowText(GetDlgItem(select, 0xFFFF))).c_str());
    HWND list = GetDlgItem(select, 1001);
    LRESULT rows = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (listing) {
        // The rows are all added while the dialog initialises, before it shows.
        std::printf("%lu\n%ld\n", GetTickCount() - started, static_cast<long>(rows));
        PostMessageA(select, WM_COMMAND, IDCANCEL, 0);
        WaitForSingleObject(process.Process(), 30000);
        return 0;
    }
    if (rows < 1) return Fail("no package is listed");
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SendMessageA(select, WM_COMMAND, MAKEWPARAM(1001, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    // Posted: the confirmation box that follows runs its own message loop.
    PostMessageA(GetDlgItem(select, 1003), BM_CLICK, 0, 0);

    HWND confirm = WaitForDialog(process.Process(), process.ProcessId(), "Dravlek", select, 10000);
    if (confirm == nullptr) return Fail("the confirmation box did not appear");
    PostMessageA(GetDlgItem(confirm, IDYES), BM_CLICK, 0, 0);

    HWND progress = WaitForDialog(process.Process(), process.ProcessId(), "Mise \xE0 jour...", nullptr, 10000);
    if (progress == nullptr) return Fail("the progress dialog did not appear");
    return finish ? Finish(process.Process(), progress) : 0;
}
