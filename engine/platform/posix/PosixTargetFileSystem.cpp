// Target files on POSIX systems: the tools and the native tests use it.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "engine/ComponentWalk.h"
#include "engine/TargetFileSystem.h"
#include "engine/platform/posix/PosixWriteAll.h"
#include "package/UniqueStdioFile.h"

namespace {

class PosixOutputFile : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : fd_(fd) {}
    ~PosixOutputFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool Write(const void* data, std::size_t size) override { return WriteAll(fd_, data, size); }

    bool Sync() override { return fd_ >= 0 && ::fsync(fd_) == 0; }

    bool Close() override {
        int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int fd_;
};

class PosixTargetFileSystem : public TargetFileSystem {
public:
    std::string TargetPath(const std::string& root, const std::string& targetName) const override {
        std::string path = root + "\\" + targetName;
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    }

    // Every folder below the root a real folder, the file no symbolic link:
    // lstat never follows the link it is asked about.
    bool HasNoLinkBelowRoot(const std::string& root, const std::string& targetPath) override {
        return EveryComponentBelowRoot(TargetPath(root, ""), targetPath, "/",
                                       [](const PathComponent& component) -> std::optional<bool> {
                                           struct stat info;
                                           if (::lstat(component.upTo.c_str(), &info) != 0) {
                                               return component.last && errno == ENOENT;
                                           }
                                           if (S_ISLNK(info.st_mode) || (!component.last && !S_ISDIR(info.st_mode))) {
                                               return false;
                                           }
                                           return std::nullopt;
                                       });
    }

    bool IsRealFolder(const std::string& root) override {
        struct stat info;
        return !root.empty() && root[0] == '/' && ::lstat(root.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }

    bool CanOpenForReading(const std::string& path) override {
        // As on Windows, a directory is not a file that can be read.
        struct stat info;
        if (::stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return false;
        return UniqueStdioFile(std::fopen(path.c_str(), "rb")) != nullptr;
    }

    bool Exists(const std::string& path) override {
        struct stat info;
        return ::lstat(path.c_str(), &info) == 0;
    }

    std::unique_ptr<OutputFile> CreateNew(const std::string& path) override {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return nullptr;
        return std::make_unique<PosixOutputFile>(fd);
    }

    bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                              const std::string& backup) override {
        // lstat: a link is not a file, and its mode is not the target's to take.
        struct stat info;
        if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
        // A read-only target is refused, as Windows refuses to replace one.
        if (::access(target.c_str(), W_OK) != 0) return false;
        // The new file keeps the old one's permissions (an executable stays
        // one), never its set-user-id, set-group-id or sticky bits: the
        // package's bytes must not become a privileged program.
        ::chmod(replacement.c_str(), info.st_mode & 0777);
        // A hard link keeps the old contents under the backup name while the
        // rename swaps the target atomically: the target never goes missing.
        // linkat without AT_SYMLINK_FOLLOW links the name, never a link's end.
        if (::linkat(AT_FDCWD, target.c_str(), AT_FDCWD, backup.c_str(), 0) != 0) return false;
        if (::rename(replacement.c_str(), target.c_str()) != 0) {
            ::unlink(backup.c_str());
            return false;
        }
        return true;
    }

    bool MoveReplacing(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    bool Remove(const std::string& path) override {
        // A name too long for the system, or below a file, cannot be there either.
        return ::unlink(path.c_str()) == 0 || errno == ENOENT || errno == ENAMETOOLONG || errno == ENOTDIR;
    }

    // Names differ by case here; "x/./y" and "x//y" are still "x/y".
    std::string NameKey(const std::string& path) const override {
        std::string key;
        std::size_t start = 0;
        if (!path.empty() && path[0] == '/') key = "/";
        while (start <= path.size()) {
            std::size_t end = path.find('/', start);
            if (end == std::string::npos) end = path.size();
            std::string part = path.substr(start, end - start);
            if (!part.empty() && part != ".") {
                if (!key.empty() && key.back() != '/') key += '/';
                key += part;
            }
            start = end + 1;
        }
        return key;
    }

    std::optional<FileIdentity> IdentityOf(const std::string& path) override {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
        return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    }

    bool SyncFolderOf(const std::string& path) override {
        std::string::size_type slash = path.find_last_of('/');
        std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return false;
        bool ok = ::fsync(fd) == 0;
        ::close(fd);
        return ok;
    }
};

}  // namespace

std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem() {
    return std::make_unique<PosixTargetFileSystem>();
}

std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem(std::function<void()>) {
    return CreateSystemTargetFileSystem();
}
