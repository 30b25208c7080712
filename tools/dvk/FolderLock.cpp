#include "tools/dvk/FolderLock.h"

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "tools/dvk/ExtractJournalFolder.h"

FolderLock::~FolderLock() {
    if (mutex_ != nullptr) CloseHandle(mutex_);
}

bool FolderLock::TryLock(const std::filesystem::path& canonicalFolder) {
    // One name per folder whatever the case it is written in.
    std::wstring folder = canonicalFolder.wstring();
    CharUpperBuffW(&folder[0], static_cast<DWORD>(folder.size()));
    std::string name = "Local\\DravlekExtract-" + FolderKey(std::filesystem::path(folder));
    HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
    if (mutex == nullptr) return false;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    mutex_ = mutex;
    return true;
}

#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

bool FolderLock::TryLock(const std::filesystem::path& canonicalFolder) {
    int fd = ::open(canonicalFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}
#endif
