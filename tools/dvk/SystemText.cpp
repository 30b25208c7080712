#include "tools/dvk/SystemText.h"

#ifdef _WIN32
#include <windows.h>  // before shellapi.h, which needs its types

#include <io.h>
#include <shellapi.h>

#include "win32/Handles.h"
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
std::wstring Utf8ToWide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::string WideToUtf8(const wchar_t* wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return std::string();
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
    utf8.pop_back();  // the NUL
    return utf8;
}
#endif

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    std::vector<std::string> args;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    UniqueLocalMemory list(wide);  // one block of local memory
    for (int i = 1; i < count; ++i) args.push_back(WideToUtf8(wide[i]));
#else
    for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
#endif
    return args;
}

void WriteText(std::FILE* stream, const std::string& utf8) {
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        std::wstring wide = Utf8ToWide(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::u8path(utf8);
}

std::string PathToUtf8(const std::filesystem::path& path) {
    return path.u8string();
}

bool NarrowSystemPath(const std::string& utf8, std::string& narrow) {
#ifdef _WIN32
    std::wstring wide = Utf8ToWide(utf8);
    narrow.clear();
    if (wide.empty()) return true;
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, nullptr, &lossy);
    if (length <= 0 || lossy) return false;
    narrow.assign(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), &narrow[0],
                        length, nullptr, &lossy);
    return !lossy;
#else
    narrow = utf8;
    return true;
#endif
}

std::string Utf8FromNarrowSystemPath(const std::string& narrow) {
#ifdef _WIN32
    if (narrow.empty()) return std::string();
    int length = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), &wide[0], length);
    return WideToUtf8(wide.c_str());
#else
    return narrow;
#endif
}
