// Keeps a second dvk extract out of a folder while one is at work in it:
// flock on the folder itself on Linux, a named mutex keyed by the folder on
// Windows. The system lets go of either when the process ends, killed or not.
#pragma once

#include <filesystem>

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock without waiting; false when another process holds it
    // (or the folder cannot be opened).
    bool TryLock(const std::filesystem::path& canonicalFolder);

private:
#ifdef _WIN32
    void* mutex_ = nullptr;
#else
    int fd_ = -1;
#endif
};
