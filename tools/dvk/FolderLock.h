// Keeps dvk extracts into one folder, a folder above it or one below it
// apart, while extracts into folders beside each other run together.
//
// Every folder has one byte in one lock file of the user's state folder, at
// an offset from the hash of its FolderText. An extract holds its own folder's
// byte exclusively and every ancestor's byte shared: an extract into a child
// needs the parent's byte shared and meets the parent's exclusive lock; an
// extract into the parent needs its byte exclusively and meets the child's
// shared one. The locks are byte-range locks of the open file (open file
// description locks on Linux, LockFileEx on Windows): the system lets go of
// them when the process ends, killed or not, and nothing is ever left to
// clean up. Every lock is tried without waiting.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include "win32/Handles.h"
#endif

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Opens the lock file, made when missing; false (with a reason) when it cannot.
    [[nodiscard]] bool Open(const std::filesystem::path& lockFile, std::string& error);
    // Shared locks on every folder of the list but the last, outermost first,
    // and an exclusive one on the last; false, holding none, when another
    // extract holds a lock that one of them meets.
    [[nodiscard]] bool TryLock(const std::vector<std::string>& folderAndAncestors);
    // Makes the lock on one of the ancestors exclusive (to recover an extract
    // into it); false when another extract holds it too. It stays exclusive.
    [[nodiscard]] bool TryMakeExclusive(const std::string& ancestorText);

private:
    [[nodiscard]] bool LockByte(std::uint64_t offset, bool exclusive);
    void UnlockByte(std::uint64_t offset);

#ifdef _WIN32
    UniqueFileHandle file_;
#else
    int fd_ = -1;
#endif
    std::vector<std::uint64_t> held_;
};
