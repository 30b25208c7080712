// Journals on POSIX systems: every append is fsync'ed, every new or removed
// name is made durable by an fsync of the folder.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "engine/JournalFolder.h"

namespace {

const char kEnding[] = ".journal";
constexpr std::size_t kEndingSize = sizeof kEnding - 1;

bool SyncFolder(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

class PosixJournalFile : public JournalFile {
public:
    explicit PosixJournalFile(int fd) : fd_(fd) {}
    ~PosixJournalFile() override { ::close(fd_); }

    bool Append(const std::string& bytes) override {
        const char* data = bytes.data();
        std::size_t size = bytes.size();
        while (size > 0) {
            ssize_t written = ::write(fd_, data, size);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return ::fsync(fd_) == 0;
    }

private:
    int fd_;
};

class PosixJournalFolder : public JournalFolder {
public:
    explicit PosixJournalFolder(std::string directory) : directory_(std::move(directory)) {}

    std::vector<std::string> List() override {
        std::vector<std::string> names;
        DIR* dir = ::opendir(directory_.c_str());
        if (dir == nullptr) return names;
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > kEndingSize && name.compare(name.size() - kEndingSize, kEndingSize, kEnding) == 0) {
                names.push_back(name);
            }
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<JournalFile> Create(std::string& name) override {
        // The clock first, so that sorted names are oldest first.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char stamp[64];
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            std::snprintf(stamp, sizeof stamp, "%016llx-%d-%u", static_cast<unsigned long long>(now.tv_sec) *
                                                                        1000000000ull + static_cast<unsigned long long>(now.tv_nsec),
                          static_cast<int>(::getpid()), attempt);
            name = std::string(stamp) + kEnding;
            int fd = ::open(Path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
            if (fd < 0 && errno == EEXIST) continue;
            if (fd < 0) return nullptr;
            auto file = std::make_unique<PosixJournalFile>(fd);
            if (!SyncFolder(directory_)) {
                file.reset();
                Remove(name);
                return nullptr;
            }
            return file;
        }
        return nullptr;
    }

    std::unique_ptr<JournalFile> OpenForAppend(const std::string& name, std::uint64_t keep) override {
        int fd = ::open(Path(name).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) return nullptr;
        if (::ftruncate(fd, static_cast<off_t>(keep)) != 0 || ::fsync(fd) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixJournalFile>(fd);
    }

    bool Read(const std::string& name, std::string& bytes) override {
        int fd = ::open(Path(name).c_str(), O_RDONLY | O_CLOEXEC);
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
        if (::unlink(Path(name).c_str()) != 0) return errno == ENOENT;
        return SyncFolder(directory_);
    }

    bool SetAside(const std::string& name) override {
        const std::string aside = name + ".untrusted-" + std::to_string(::getpid());
        if (::rename(Path(name).c_str(), Path(aside).c_str()) != 0) return false;
        Note("Journal mis de c\364t\351, non suivi : " + Path(name) + " -> " + aside);
        return SyncFolder(directory_);
    }

private:
    std::string Path(const std::string& name) const { return directory_ + "/" + name; }

    std::string directory_;
};

}  // namespace

std::unique_ptr<JournalFolder> OpenJournalFolder(const std::string& directory) {
    return std::make_unique<PosixJournalFolder>(directory);
}

// The updater itself runs on Windows; here the folder follows the XDG rule
// for state that outlives a run, for the native builds and tests.
std::unique_ptr<JournalFolder> OpenSystemJournalFolder(std::vector<std::string>&) {
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
    if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) return nullptr;
    return OpenJournalFolder(directory);
}
