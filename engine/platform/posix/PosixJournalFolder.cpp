// Journals on POSIX systems: every append is fsync'ed, every new or removed
// name is made durable by an fsync of the folder. The folder is held open
// and every journal is reached through it (openat, never following a
// symbolic link), checked on the descriptor that is then read or written.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "engine/platform/posix/PosixWriteAll.h"
#include "engine/JournalFolder.h"
#include "engine/JournalTrust.h"

namespace {

// Root and the effective user are trusted; the group and the others may
// change a file or folder when its mode lets them write.
FileFacts FactsOf(const struct stat& status) {
    FileFacts facts;
    facts.isLink = S_ISLNK(status.st_mode);
    facts.kind = S_ISREG(status.st_mode) ? FileKind::kFile : S_ISDIR(status.st_mode) ? FileKind::kFolder : FileKind::kOther;
    facts.linkCount = static_cast<std::uint32_t>(status.st_nlink);
    facts.owner = status.st_uid == 0 ? Principal::kSystem
                  : status.st_uid == ::geteuid() ? Principal::kSelf
                                                 : Principal::kOther;
    facts.grants.push_back({Principal::kOwner, kAnyChange});
    const unsigned write = kWriteData | kAppendData | (S_ISDIR(status.st_mode) ? kDeleteChild : 0u);
    if (status.st_mode & (S_IWGRP | S_IWOTH)) facts.grants.push_back({Principal::kOther, write});
    return facts;
}

class PosixJournalFile : public JournalFile {
public:
    explicit PosixJournalFile(int fd) : fd_(fd) {}
    ~PosixJournalFile() override { ::close(fd_); }

    bool Append(const std::string& bytes) override {
        return WriteAll(fd_, bytes.data(), bytes.size()) && ::fsync(fd_) == 0;
    }

private:
    int fd_;
};

class PosixJournalFolder : public JournalFolder {
public:
    // Holds the folder when it can be trusted; otherwise the object has no
    // journal and can make none, and its notes say why.
    explicit PosixJournalFolder(std::string directory) : directory_(std::move(directory)) {
        fd_ = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd_ < 0) {
            // A missing folder holds no journal, and none can be made in it.
            struct stat status {};
            if ((errno == ELOOP || errno == ENOTDIR) && ::lstat(directory_.c_str(), &status) == 0) {
                Note(FolderUnusableNote(JudgeFolder(FactsOf(status)), directory_));
            }
            return;
        }
        struct stat status {};
        TrustVerdict verdict = ::fstat(fd_, &status) == 0 ? JudgeFolder(FactsOf(status)) : TrustVerdict::kUnreadable;
        // The user's own folder that a umask left group-writable: closing
        // it to the others through the held descriptor makes it the folder
        // it should be (journals put there before are checked one by one).
        if (verdict == TrustVerdict::kOthersMayChange && status.st_uid == ::geteuid() &&
            ::fchmod(fd_, status.st_mode & 07755) == 0 && ::fstat(fd_, &status) == 0) {
            verdict = JudgeFolder(FactsOf(status));
        }
        if (verdict != TrustVerdict::kTrusted) {
            Note(FolderUnusableNote(verdict, directory_));
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~PosixJournalFolder() override {
        if (fd_ >= 0) ::close(fd_);
    }

    bool IsUsable() const { return fd_ >= 0; }

    std::vector<std::string> List() override {
        std::vector<std::string> names;
        int listing = fd_ < 0 ? -1 : ::dup(fd_);
        DIR* dir = listing < 0 ? nullptr : ::fdopendir(listing);
        if (dir == nullptr) {
            if (listing >= 0) ::close(listing);
            return names;
        }
        ::rewinddir(dir);
        while (dirent* entry = ::readdir(dir)) {
            if (IsJournalName(entry->d_name)) names.push_back(entry->d_name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        // Only the journals that may be obeyed; the others are set aside.
        std::vector<std::string> trusted;
        for (const std::string& name : names) {
            struct stat status {};
            if (::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && Trusted(name, status)) {
                trusted.push_back(name);
            }
        }
        names.swap(trusted);
        return names;
    }

    std::unique_ptr<JournalFile> Create(std::string& name) override {
        if (fd_ < 0) return nullptr;
        // The clock first, so that sorted names are oldest first.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char stamp[64];
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            std::snprintf(stamp, sizeof stamp, "%016llx-%d-%u", static_cast<unsigned long long>(now.tv_sec) *
                                                                        1000000000ull + static_cast<unsigned long long>(now.tv_nsec),
                          static_cast<int>(::getpid()), attempt);
            name = std::string(stamp) + kJournalEnding;
            int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) return nullptr;
            auto file = std::make_unique<PosixJournalFile>(fd);
            if (::fsync(fd_) != 0) {
                file.reset();
                Remove(name);
                return nullptr;
            }
            return file;
        }
        return nullptr;
    }

    std::unique_ptr<JournalFile> OpenForAppend(const std::string& name, std::uint64_t keep) override {
        int fd = OpenChecked(name, O_WRONLY | O_APPEND);
        if (fd < 0) return nullptr;
        if (::ftruncate(fd, static_cast<off_t>(keep)) != 0 || ::fsync(fd) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixJournalFile>(fd);
    }

    bool Read(const std::string& name, std::string& bytes) override {
        int fd = OpenChecked(name, O_RDONLY);
        if (fd < 0) return false;
        bytes.clear();
        char buffer[65536];
        ssize_t got;
        while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) break;
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(fd);
        return got == 0;
    }

    bool Remove(const std::string& name) override {
        if (fd_ < 0) return false;
        if (::unlinkat(fd_, name.c_str(), 0) != 0) return errno == ENOENT;
        return ::fsync(fd_) == 0;
    }

    bool SetAside(const std::string& name) override { return MoveAside(name, TrustVerdict::kTrusted); }

private:
    std::string Path(const std::string& name) const { return directory_ + "/" + name; }

    // Renames the entry itself (a symbolic link, not what it points to).
    bool MoveAside(const std::string& name, TrustVerdict why) {
        if (fd_ < 0) return false;
        std::random_device random;
        const std::string aside = AsideName(name, (std::uint64_t{random()} << 32) | random());
        if (::renameat(fd_, name.c_str(), fd_, aside.c_str()) != 0) {
            if (why != TrustVerdict::kTrusted) Note(JournalNotSetAsideNote(why, Path(name), errno));
            return false;
        }
        Note(JournalSetAsideNote(why, Path(name), aside));
        return ::fsync(fd_) == 0;
    }

    bool Trusted(const std::string& name, const struct stat& status) {
        const TrustVerdict verdict = JudgeJournal(FactsOf(status));
        if (verdict == TrustVerdict::kTrusted) return true;
        MoveAside(name, verdict);
        return false;
    }

    // The journal opened without following a link and checked on the
    // descriptor returned; -1 (the journal set aside) when it is not to be
    // trusted. O_NONBLOCK: a FIFO put in its place does not hold the run.
    int OpenChecked(const std::string& name, int access) {
        if (fd_ < 0) return -1;
        int fd = ::openat(fd_, name.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            struct stat status {};
            if (errno == ELOOP && ::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
                Trusted(name, status);
            }
            return -1;
        }
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !Trusted(name, status) ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    std::string directory_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<JournalFolder> OpenJournalFolder(const std::string& directory) {
    return std::make_unique<PosixJournalFolder>(directory);
}

// The updater itself runs on Windows; here the folder follows the XDG rule
// for state that outlives a run, for the native builds and tests.
std::unique_ptr<JournalFolder> OpenSystemJournalFolder(std::vector<std::string>& notes) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        base = std::string(home) + "/.local/state";
    } else {
        return nullptr;
    }
    const std::string directory = base + "/dravlek/update";
    for (std::size_t slash = 1; slash != std::string::npos; slash = directory.find('/', slash + 1)) {
        ::mkdir(directory.substr(0, slash).c_str(), 0755);  // each level, as far as it is missing
    }
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        notes.push_back(FolderNotMadeNote(directory, static_cast<unsigned long>(errno)));
        return nullptr;
    }
    auto folder = std::make_unique<PosixJournalFolder>(directory);
    for (std::string& line : folder->TakeNotes()) notes.push_back(std::move(line));
    if (!folder->IsUsable()) return nullptr;
    return folder;
}
