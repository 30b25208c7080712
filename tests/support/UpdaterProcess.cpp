#include "tests/support/UpdaterProcess.h"

#include <cstdint>
#include <cstdlib>

#include "engine/MessageStrings.h"

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

std::string WindowText(HWND window) {
    // GetWindowText of another process's control returns a stored title, not
    // what an edit control shows; WM_GETTEXT asks the control itself.
    char text[4096] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, &length))
        return "<no answer>";
    return std::string(text, length < sizeof text ? length : 0);
}

bool IsMessageBox(HWND dialog) {
    return GetDlgItem(dialog, kMessageBoxText) != nullptr && GetDlgItem(dialog, IDC_PACKAGE_LIST) == nullptr;
}

namespace {

struct DialogQuery {
    DWORD processId;
    const std::string* caption;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
    auto* query = reinterpret_cast<DialogQuery*>(parameter);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != query->processId || !IsWindowVisible(window)) return TRUE;
    char className[64];
    if (!GetClassNameA(window, className, sizeof className) || lstrcmpA(className, "#32770") != 0) return TRUE;
    if (query->owner && GetWindow(window, GW_OWNER) != query->owner) return TRUE;
    if (WindowText(window) != *query->caption) return TRUE;
    query->found = window;
    return FALSE;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

HWND FindDialog(DWORD processId, const std::string& caption, HWND owner) {
    DialogQuery query{processId, &caption, owner, nullptr};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

std::vector<std::string> ReadStatusLog(const std::string& path) {
    std::vector<std::string> lines;
    std::string bytes = ReadFileBytes(path);
    std::size_t at = 0;
    while (at + 4 <= bytes.size()) {
        std::uint32_t length = 0;
        for (int i = 0; i < 4; ++i) length |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        at += 4;
        if (at + length > bytes.size()) break;
        lines.push_back(bytes.substr(at, length));
        at += length;
    }
    return lines;
}

HOOKPROC LoadStatusHook(const std::string& dll, UniqueModule& module) {
    module.Reset(LoadLibraryA(dll.c_str()));
    return module ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module.Get(), "StatusHookProc")))
                  : nullptr;
}

const DriverPaths& E2ePaths() {
    static const DriverPaths paths{Environment("DVK_E2E_UPDATER"), Environment("DVK_E2E_HOOK"),
                                   Environment("DVK_E2E_WORK")};
    return paths;
}

UpdaterProcess::UpdaterProcess(const DriverPaths& paths, const std::string& folder, const std::string& statusLog,
                               bool failThreadStart) {
    DeleteFileA(statusLog.c_str());
    // The hook DLL reads these in the updater, which inherits them.
    SetEnvironmentVariableA("DVK_E2E_STATUS_LOG", statusLog.c_str());
    SetEnvironmentVariableA("DVK_E2E_FAIL_THREAD_START", failThreadStart ? "1" : nullptr);
    // Without arguments: the list of the folder.
    const bool started = process_.Start(paths.updater, "", folder);
    SetEnvironmentVariableA("DVK_E2E_FAIL_THREAD_START", nullptr);
    if (!started) {
        problem_ = "CreateProcess failed: " + std::to_string(GetLastError());
        return;
    }
    // A box the start shows (a recovery, another instance) has the same
    // caption as the selection dialog: its text is kept and it is answered.
    WaitFor([&] {
        HWND dialog = FindDialog(process_.Id(), "Dravlek", nullptr);
        if (dialog != nullptr && IsMessageBox(dialog)) {
            startBoxes_.push_back(WindowText(GetDlgItem(dialog, kMessageBoxText)));
            PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            WaitFor([&] { return !IsWindowVisible(dialog); }, 5000);
            return false;
        }
        selection_ = dialog;
        return selection_ != nullptr || process_.Ended();
    }, 20000);
    if (selection_ == nullptr) {
        problem_ = "the selection dialog did not appear";
        return;
    }

    if (paths.hookDll.empty()) {  // watched through its windows alone
        ready_ = true;
        return;
    }
    HOOKPROC hookProc = LoadStatusHook(paths.hookDll, hookModule_);
    if (!hookProc) {
        problem_ = "cannot load the hook DLL " + paths.hookDll;
        return;
    }
    DWORD threadId = GetWindowThreadProcessId(selection_, nullptr);
    hook_.Reset(SetWindowsHookExA(WH_CALLWNDPROC, hookProc, hookModule_.Get(), threadId));
    if (!hook_) {
        problem_ = "SetWindowsHookEx failed: " + std::to_string(GetLastError());
        return;
    }
    // A message through the hooked thread brings the DLL in; it then creates the log.
    DWORD_PTR result;
    SendMessageTimeoutA(selection_, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &result);
    if (!WaitFor([&] { return FileExists(statusLog); }, 5000)) {
        problem_ = "the status hook did not arrive in the updater";
        return;
    }
    ready_ = true;
}

UpdaterProcess::~UpdaterProcess() {
    process_.Kill(1);
}

std::vector<std::string> UpdaterProcess::Rows() const {
    // Across processes only the W form of LB_GETTEXT gives the text.
    std::vector<std::string> rows;
    HWND list = Item(IDC_PACKAGE_LIST);
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT row = 0; row < count; ++row) {
        LRESULT length = SendMessageW(list, LB_GETTEXTLEN, row, 0);
        std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        length = SendMessageW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(&wide[0]));
        wide.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        std::string text(wide.size() * 2 + 1, '\0');
        int bytes = wide.empty() ? 0
                                 : WideCharToMultiByte(1252, 0, wide.data(), static_cast<int>(wide.size()), &text[0],
                                                       static_cast<int>(text.size()), nullptr, nullptr);
        text.resize(bytes);
        rows.push_back(text);
    }
    return rows;
}

bool UpdaterProcess::ClickRow(int row) const {
    HWND list = Item(IDC_PACKAGE_LIST);
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    if (top == LB_ERR || height <= 0 || row < top) return false;
    LPARAM point = MAKELPARAM(8, static_cast<int>((row - top) * height + height / 2));
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
    return WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == row; }, 5000);
}

void UpdaterProcess::PressKey(WPARAM key) const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = nullptr;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(selection_, nullptr), &info)) target = info.hwndFocus;
    if (!target) target = info.hwndActive ? info.hwndActive : selection_;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

std::string UpdaterProcess::FocusDescription() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(selection_, nullptr), &info)) return "unknown";
    char className[64] = "none";
    if (info.hwndFocus) GetClassNameA(info.hwndFocus, className, sizeof className);
    return std::string(className) + " id " + std::to_string(info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0) +
           (info.hwndFocus && !IsWindowEnabled(info.hwndFocus) ? " (disabled)" : "");
}

HWND UpdaterProcess::WaitForConfirmation(DWORD timeoutMs) const {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindDialog(process_.Id(), "Dravlek", selection_)) != nullptr; }, timeoutMs);
    return box;
}

HWND UpdaterProcess::WaitForProgress(DWORD timeoutMs) const {
    HWND progress = nullptr;
    WaitFor([&] {
        // The progress dialog's caption is set while it initialises; match on
        // the class, the owner and its status box.
        HWND candidate = nullptr;
        while ((candidate = FindWindowExA(nullptr, candidate, "#32770", nullptr)) != nullptr) {
            DWORD processId = 0;
            GetWindowThreadProcessId(candidate, &processId);
            if (processId == process_.Id() && GetWindow(candidate, GW_OWNER) == selection_ &&
                IsWindowVisible(candidate) && GetDlgItem(candidate, IDC_STATUS_BOX)) {
                progress = candidate;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return progress;
}

HWND UpdaterProcess::ConfirmUpdate() const {
    Click(Item(IDC_UPDATE));
    HWND box = WaitForConfirmation();
    if (box == nullptr) return nullptr;
    Click(GetDlgItem(box, IDYES));
    return WaitForProgress();
}

std::vector<std::string> LoggedStatusLines(const std::string& log) {
    const std::string text = ReadFileBytes(log);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(text.substr(at + 20, end - at - 20));
    }
    if (lines.size() < 2) return {};
    return std::vector<std::string>(lines.begin() + 1, lines.end() - 1);
}

std::string LoggedLine(int messageId, const std::string& name) {
    const std::wstring wide = Widen(LoadMessageString(messageId) + (name.empty() ? "" : " " + name), 1252);
    const int length = static_cast<int>(wide.size());
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<std::size_t>(
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &utf8[0], length * 3, nullptr, nullptr)));
    return utf8;
}

DWORD RunUntilExit(const std::string& program, const std::string& arguments, const std::string& folder) {
    ChildProcess run;
    if (!run.Start(program, arguments, folder)) return 9999;
    if (!run.Ended(30000)) run.Kill(9998);
    return run.ExitCode();
}
