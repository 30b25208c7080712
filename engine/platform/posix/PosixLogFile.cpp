// The log on POSIX systems: O_NOFOLLOW refuses a symbolic link at the name,
// O_NONBLOCK keeps a pipe planted there from holding the program.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/platform/posix/PosixWriteAll.h"
#include "engine/LogFile.h"

namespace {

class PosixLogFile : public LogFile {
public:
    explicit PosixLogFile(int fd) : fd_(fd) {}
    ~PosixLogFile() override { ::close(fd_); }

    bool Append(const std::string& bytes) override {
        return WriteAll(fd_, bytes.data(), bytes.size());
    }

private:
    int fd_;
};

FileOwner OwnerOf(const struct stat& info) {
    if (info.st_uid == 0) return FileOwner::kSystem;
    return info.st_uid == ::geteuid() ? FileOwner::kCaller : FileOwner::kOther;
}

}  // namespace

std::unique_ptr<LogFile> OpenLogFile(const std::string& utf8Path) {
    if (utf8Path.empty()) return nullptr;
    const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    // Made here, or there already: only a file made here is removed again.
    bool created = true;
    int fd = ::open(utf8Path.c_str(), flags | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno == EEXIST) {
        created = false;
        fd = ::open(utf8Path.c_str(), flags);
    }
    if (fd < 0) return nullptr;
    struct stat info;
    LogFileFacts facts;
    const bool known = ::fstat(fd, &info) == 0;
    if (known) {
        facts.regularFile = S_ISREG(info.st_mode);
        facts.linkCount = static_cast<std::uint32_t>(info.st_nlink);
        facts.owner = OwnerOf(info);
    }
    if (!known || !MayAppendLog(facts)) {
        if (created) ::unlink(utf8Path.c_str());
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<PosixLogFile>(fd);
}
