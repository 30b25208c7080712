#include "tools/dvk/FolderLock.h"

#include "tools/dvk/ExtractJournalFolder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// The byte of a folder: below 2^62, so that every offset is a valid off_t.
std::uint64_t ByteOf(const std::string& folderText) {
    return FolderHash(folderText) >> 2;
}

}  // namespace

FolderLock::~FolderLock() {
    for (std::uint64_t offset : held_) UnlockByte(offset);
#ifndef _WIN32
    if (fd_ >= 0) ::close(fd_);
#endif
}

bool FolderLock::Open(const std::filesystem::path& lockFile, std::string& error) {
#ifdef _WIN32
    file_.Reset(CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const bool opened = file_.IsValid();
#else
    fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool opened = fd_ >= 0;
#endif
    if (!opened) error = "cannot open the lock file '" + lockFile.u8string() + "'";
    return opened;
}

bool FolderLock::TryLock(const std::vector<std::string>& folderAndAncestors) {
    for (std::size_t i = 0; i < folderAndAncestors.size(); ++i) {
        const std::uint64_t offset = ByteOf(folderAndAncestors[i]);
        if (!LockByte(offset, i + 1 == folderAndAncestors.size())) {
            for (std::uint64_t held : held_) UnlockByte(held);
            held_.clear();
            return false;
        }
        held_.push_back(offset);
    }
    return true;
}

bool FolderLock::TryMakeExclusive(const std::string& ancestorText) {
    const std::uint64_t offset = ByteOf(ancestorText);
#ifdef _WIN32
    // LockFileEx cannot turn a shared lock exclusive: let go, then try. If
    // another extract takes it meanwhile, this one fails and changes nothing.
    UnlockByte(offset);
    if (LockByte(offset, true)) return true;
    for (auto it = held_.begin(); it != held_.end(); ++it) {
        if (*it == offset) {
            held_.erase(it);
            break;
        }
    }
    return false;
#else
    return LockByte(offset, true);  // a conversion: the shared lock stays when it fails
#endif
}

#ifdef _WIN32
bool FolderLock::LockByte(std::uint64_t offset, bool exclusive) {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(file_.Get(), flags, 0, 1, 0, &where) != FALSE;
}

void FolderLock::UnlockByte(std::uint64_t offset) {
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    UnlockFileEx(file_.Get(), 0, 1, 0, &where);
}
#else
bool FolderLock::LockByte(std::uint64_t offset, bool exclusive) {
    struct flock range = {};
    range.l_type = exclusive ? F_WRLCK : F_RDLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(offset);
    range.l_len = 1;
    return ::fcntl(fd_, F_OFD_SETLK, &range) == 0;
}

void FolderLock::UnlockByte(std::uint64_t offset) {
    struct flock range = {};
    range.l_type = F_UNLCK;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(offset);
    range.l_len = 1;
    ::fcntl(fd_, F_OFD_SETLK, &range);
}
#endif
