#include "tests/support/UpdaterRun.h"

#include <cstdio>

#include "win32/Handles.h"

std::string Printable(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    return out + "\"";
}

namespace {

template <typename Visit>
void ForEachChild(const std::string& dir, Visit visit) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(FindFirstFileA((dir + "\\*").c_str(), &found));
    if (!search) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        visit(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(search.Get(), &found));
}

void ListInto(const std::string& dir, const std::string& prefix, std::map<std::string, std::string>& files) {
    ForEachChild(dir, [&](const std::string& name, bool isDirectory) {
        std::string path = dir + "\\" + name;
        if (isDirectory) {
            files[prefix + name + "\\"] = "<dir>";
            ListInto(path, prefix + name + "\\", files);
        } else {
            bool readable = false;
            std::string bytes = ReadFileBytes(path, &readable);
            files[prefix + name] = readable ? bytes : "<unreadable>";
        }
    });
}

}  // namespace

bool RemoveTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ForEachChild(path, [&](const std::string& name, bool) { RemoveTree(path + "\\" + name); });
        RemoveDirectoryA(path.c_str());
    } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::map<std::string, std::string> ListTree(const std::string& dir) {
    std::map<std::string, std::string> files;
    ListInto(dir, "", files);
    return files;
}

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

UpdaterRun::UpdaterRun(const DriverPaths& paths, const std::string& folder, const std::string& statusLog,
                       bool failThreadStart) {
    DeleteFileA(statusLog.c_str());
    // The hook DLL reads these in the updater, which inherits them.
    SetEnvironmentVariableA("DVK_E2E_STATUS_LOG", statusLog.c_str());
    SetEnvironmentVariableA("DVK_E2E_FAIL_THREAD_START", failThreadStart ? "1" : nullptr);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // Without arguments: the list of the folder.
    std::string commandLine = "\"" + paths.updater + "\"";
    BOOL started = CreateProcessA(paths.updater.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  folder.c_str(), &startup, process_.Put());
    SetEnvironmentVariableA("DVK_E2E_FAIL_THREAD_START", nullptr);
    if (!started) {
        problem_ = "CreateProcess failed: " + std::to_string(GetLastError());
        return;
    }
    // A box the start shows (a recovery, another instance) has the same
    // caption as the selection dialog: its text is kept and it is answered.
    WaitFor([&] {
        HWND dialog = FindDialog(process_.ProcessId(), "Dravlek", nullptr);
        if (dialog != nullptr && GetDlgItem(dialog, 0xFFFF) != nullptr && GetDlgItem(dialog, 1001) == nullptr) {
            startBoxes_.push_back(WindowText(GetDlgItem(dialog, 0xFFFF)));
            PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            WaitFor([&] { return !IsWindowVisible(dialog); }, 5000);
            return false;
        }
        selection_ = dialog;
        return selection_ != nullptr || WaitForSingleObject(process_.Process(), 0) == WAIT_OBJECT_0;
    }, 20000);
    if (selection_ == nullptr) {
        problem_ = "the selection dialog did not appear";
        return;
    }

    if (paths.hookDll.empty()) {  // watched through its windows alone
        ready_ = true;
        return;
    }
    hookModule_.Reset(LoadLibraryA(paths.hookDll.c_str()));
    auto* hookProc = hookModule_ ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(
                                       GetProcAddress(hookModule_.Get(), "StatusHookProc")))
                                 : nullptr;
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

UpdaterRun::~UpdaterRun() {
    if (process_.Process() && WaitForSingleObject(process_.Process(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.Process(), 1);
        WaitForSingleObject(process_.Process(), 5000);
    }
}

std::vector<std::string> UpdaterRun::Rows() const {
    // Across processes only the W form of LB_GETTEXT gives the text.
    std::vector<std::string> rows;
    HWND list = Item(1001);
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

bool UpdaterRun::ClickRow(int row) const {
    HWND list = Item(1001);
    LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    if (top == LB_ERR || height <= 0 || row < top) return false;
    LPARAM point = MAKELPARAM(8, static_cast<int>((row - top) * height + height / 2));
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
    return WaitFor([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == row; }, 5000);
}

void UpdaterRun::PressKey(WPARAM key) const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = nullptr;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(selection_, nullptr), &info)) target = info.hwndFocus;
    if (!target) target = info.hwndActive ? info.hwndActive : selection_;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

std::string UpdaterRun::FocusDescription() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(selection_, nullptr), &info)) return "unknown";
    char className[64] = "none";
    if (info.hwndFocus) GetClassNameA(info.hwndFocus, className, sizeof className);
    return std::string(className) + " id " + std::to_string(info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0) +
           (info.hwndFocus && !IsWindowEnabled(info.hwndFocus) ? " (disabled)" : "");
}

HWND UpdaterRun::WaitForConfirmation(DWORD timeoutMs) const {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindDialog(process_.ProcessId(), "Dravlek", selection_)) != nullptr; }, timeoutMs);
    return box;
}

HWND UpdaterRun::WaitForProgress(DWORD timeoutMs) const {
    HWND progress = nullptr;
    WaitFor([&] {
        // The progress dialog's caption is set while it initialises; match on
        // the class, the owner and its status box.
        HWND candidate = nullptr;
        while ((candidate = FindWindowExA(nullptr, candidate, "#32770", nullptr)) != nullptr) {
            DWORD processId = 0;
            GetWindowThreadProcessId(candidate, &processId);
            if (processId == process_.ProcessId() && GetWindow(candidate, GW_OWNER) == selection_ &&
                IsWindowVisible(candidate) && GetDlgItem(candidate, 1005)) {
                progress = candidate;
                return true;
            }
        }
        return false;
    }, timeoutMs);
    return progress;
}

bool UpdaterRun::WaitForExit(DWORD timeoutMs) const {
    return process_.Process() && WaitForSingleObject(process_.Process(), timeoutMs) == WAIT_OBJECT_0;
}
