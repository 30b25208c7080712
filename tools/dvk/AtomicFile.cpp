#include "tools/dvk/AtomicFile.h"

#include <system_error>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#define GetProcessNumber _getpid
#else
#include <unistd.h>
#define GetProcessNumber getpid
#endif

namespace fs = std::filesystem;

AtomicFile::AtomicFile(const fs::path& finalPath) : finalPath_(finalPath) {
    // Beside the final name, so that the rename stays on one volume; the
    // process number keeps two runs apart.
    tempPath_ = finalPath_;
    tempPath_ += ".part" + std::to_string(GetProcessNumber());
}

AtomicFile::~AtomicFile() {
    if (!created_ || committed_) return;
    out_.close();
    std::error_code ignored;
    fs::remove(tempPath_, ignored);
}

bool AtomicFile::Create(std::string& error) {
    std::error_code code;
    if (fs::is_directory(finalPath_, code)) {
        error = "'" + finalPath_.u8string() + "' is a folder";
        return false;
    }
    out_.open(tempPath_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        error = "cannot create '" + tempPath_.u8string() + "'";
        return false;
    }
    created_ = true;
    return true;
}

bool AtomicFile::Commit(std::string& error) {
    out_.flush();
    bool written = static_cast<bool>(out_);
    out_.close();
    if (!written || out_.fail()) {
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
