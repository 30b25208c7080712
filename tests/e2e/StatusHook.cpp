// Loaded into the updater by a WH_CALLWNDPROC hook that the test driver
// installs on the updater's user-interface thread. Records, byte for byte,
// every text sent to the status box (IDC_STATUS_BOX) in the file named by
// DVK_E2E_STATUS_LOG: each record is a 4-byte little-endian length, then the
// text. The file is created when the DLL arrives, which tells the driver that
// the hook is in place.
//
// With DVK_E2E_FAIL_THREAD_START=1 it also makes the updater's CreateThread
// fail, so that the driver can see how a worker that cannot start is handled;
// with DVK_E2E_FAIL_DIALOG=1 its DialogBoxParamA (a dialog that cannot be
// made). With DVK_E2E_BOX_LOG it records in that file, the same way, "box"
// when a message box is set up and "icon NAME" for the icon it is given.
#include <windows.h>

#include <cstring>
#include <utility>
#include <string>

#include "res/resource.h"
#include "win32/Handles.h"

namespace {

// The text control of a message box.
constexpr int kMessageBoxText = 0xFFFF;

UniqueFileHandle g_log;
UniqueFileHandle g_boxLog;

bool IsUpdaterProcess() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const char kName[] = "dravlek-update.exe";
    const DWORD nameLength = sizeof(kName) - 1;
    return length >= nameLength && lstrcmpiA(path + length - nameLength, kName) == 0;
}

std::string Environment(const char* name) {
    char value[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::string();
    return std::string(value, length);
}

HANDLE WINAPI FailingCreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
}

INT_PTR WINAPI FailingDialogBoxParamA(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) {
    return -1;
}

// Points the program's import of name (from dll) at replacement.
bool BreakImport(const char* dll, const char* name, ULONG_PTR replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return false;
    bool patched = false;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); import->Name;
         ++import) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + import->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), name) != 0) continue;
            DWORD oldProtection;
            if (!VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &oldProtection))
                return false;
            slots->u1.Function = replacement;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), oldProtection, &oldProtection);
            patched = true;
        }
    }
    return patched;
}

void Record(HANDLE log, const char* text) {
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD length = text ? static_cast<DWORD>(std::strlen(text)) : 0;
    std::string record(4 + length, '\0');
    for (int i = 0; i < 4; ++i) record[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
    if (length) std::memcpy(&record[4], text, length);
    DWORD written;
    WriteFile(log, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK StatusHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_SETTEXT && GetDlgCtrlID(call->hwnd) == IDC_STATUS_BOX) {
            Record(g_log.Get(), reinterpret_cast<const char*>(call->lParam));
        }
        // A message box: its text is the static control kMessageBoxText.
        if (call->message == WM_INITDIALOG && GetDlgItem(call->hwnd, kMessageBoxText)) Record(g_boxLog.Get(), "box");
        if (call->message == STM_SETICON && GetDlgItem(GetParent(call->hwnd), kMessageBoxText)) {
            const HICON icon = reinterpret_cast<HICON>(call->wParam);
            Record(g_boxLog.Get(), icon == LoadIconA(nullptr, IDI_ERROR)         ? "icon error"
                             : icon == LoadIconA(nullptr, IDI_WARNING)     ? "icon warning"
                             : icon == LoadIconA(nullptr, IDI_INFORMATION) ? "icon information"
                                                                           : "icon other");
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && IsUpdaterProcess()) {
        if (Environment("DVK_E2E_FAIL_THREAD_START") == "1" &&
            !BreakImport("kernel32.dll", "CreateThread", reinterpret_cast<ULONG_PTR>(&FailingCreateThread)))
            return FALSE;
        if (Environment("DVK_E2E_FAIL_DIALOG") == "1" &&
            !BreakImport("user32.dll", "DialogBoxParamA", reinterpret_cast<ULONG_PTR>(&FailingDialogBoxParamA)))
            return FALSE;
        for (auto [name, log] : {std::pair<const char*, UniqueFileHandle*>{"DVK_E2E_STATUS_LOG", &g_log},
                                 {"DVK_E2E_BOX_LOG", &g_boxLog}}) {
            std::string path = Environment(name);
            if (path.empty()) continue;
            log->Reset(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        g_log.Reset();
        g_boxLog.Reset();
    }
    return TRUE;
}
