#include "tools/dvk/AtomicFile.h"

#include <ext/stdio_filebuf.h>

#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <bcrypt.h>

#include "win32/Handles.h"
#else
#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using FileBuffer = __gnu_cxx::stdio_filebuf<char>;

// 16 hex digits from the system's random source; false when it has none.
bool RandomSuffix(std::string& suffix) {
    unsigned char bytes[8];
#ifdef _WIN32
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) return false;
#else
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return false;
#endif
    char text[17];
    for (std::size_t i = 0; i < sizeof bytes; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    suffix = text;
    return true;
}

// A new file at path, never an existing name or a link's target: its
// descriptor, -1 when the name is taken (exists set) or it cannot be made.
int CreateExclusive(const fs::path& path, bool& exists) {
#ifdef _WIN32
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD code = GetLastError();
        exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_BINARY | _O_WRONLY);
    if (fd >= 0) file.Release();  // the descriptor owns it now
    return fd;
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    exists = fd < 0 && errno == EEXIST;
    return fd;
#endif
}

}  // namespace

AtomicFile::AtomicFile(const fs::path& finalPath) : finalPath_(finalPath) {}

AtomicFile::~AtomicFile() {
    if (!buffer_ || committed_) return;
    buffer_.reset();
    std::error_code ignored;
    fs::remove(tempPath_, ignored);
}

bool AtomicFile::Create(std::string& error) {
    std::error_code code;
    if (fs::is_directory(finalPath_, code)) {
        error = "'" + finalPath_.u8string() + "' is a folder";
        return false;
    }
    // Beside the final name, so that the rename stays on one volume. A name
    // already taken (by chance, or planted) is passed over for another.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string suffix;
        if (!RandomSuffix(suffix)) break;
        tempPath_ = finalPath_;
        tempPath_ += ".part-" + suffix;
        bool exists = false;
        const int fd = CreateExclusive(tempPath_, exists);
        if (fd >= 0) {
            buffer_ = std::make_unique<FileBuffer>(fd, std::ios::out | std::ios::binary);
            out_.rdbuf(buffer_.get());
            return true;
        }
        if (!exists) break;
    }
    error = "cannot create '" + tempPath_.u8string() + "'";
    return false;
}

bool AtomicFile::Commit(std::string& error) {
    out_.flush();
    const bool written = static_cast<bool>(out_) && static_cast<FileBuffer*>(buffer_.get())->close() != nullptr;
    if (!written) {
        error = "cannot write '" + tempPath_.u8string() + "' (disk full?)";
        return false;
    }
    std::error_code code;
#ifdef _WIN32
    // Replaces an older package of the same name in one step.
    if (!MoveFileExW(tempPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        code = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    }
#else
    fs::rename(tempPath_, finalPath_, code);
#endif
    if (code) {
        error = "cannot rename '" + tempPath_.u8string() + "' to '" + finalPath_.u8string() + "' (" + code.message() +
                ")";
        return false;
    }
    committed_ = true;
    return true;
}
