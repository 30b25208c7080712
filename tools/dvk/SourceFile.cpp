#include "tools/dvk/SourceFile.h"

#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "win32/Handles.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

bool IsLink(const std::filesystem::path& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    std::error_code code;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(path, code));
#endif
}

UniqueStdioFile OpenSourceFile(const std::filesystem::path& path, bool followLinks) {
#ifdef _WIN32
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) return nullptr;
    if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_BINARY | _O_RDONLY);
    if (fd < 0) return nullptr;
    file.Release();  // the descriptor owns it now
    std::FILE* stream = _fdopen(fd, "rb");
    if (stream == nullptr) _close(fd);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    if (fd < 0) return nullptr;
    std::FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr) ::close(fd);
#endif
    return UniqueStdioFile(stream);
}
