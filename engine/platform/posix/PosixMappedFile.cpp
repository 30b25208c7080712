// Read-only views on POSIX systems: the tools and the native tests use them.
// POSIX has no share modes, so another process could still write the file;
// the updater itself runs on Windows, where the view's file is locked.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <limits>

#include "engine/MappedFile.h"

namespace {

class PosixMappedFile : public MappedFile {
public:
    PosixMappedFile(void* view, std::size_t size) : view_(view), size_(size) {}
    ~PosixMappedFile() override {
        if (view_ != nullptr) ::munmap(view_, size_);
    }
    PosixMappedFile(const PosixMappedFile&) = delete;
    PosixMappedFile& operator=(const PosixMappedFile&) = delete;

    const std::uint8_t* Data() const override { return static_cast<const std::uint8_t*>(view_); }
    std::size_t Size() const override { return size_; }

private:
    void* view_;
    std::size_t size_;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<MappedFile> MapFileForReading(const std::string& path) {
    // O_NONBLOCK: a FIFO planted at path must not hang the open.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) return nullptr;
    struct stat info;
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return nullptr;
    if (static_cast<std::uint64_t>(info.st_size) > std::numeric_limits<std::size_t>::max()) return nullptr;
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    if (size == 0) return std::make_unique<PosixMappedFile>(nullptr, 0);
    void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.Get(), 0);
    if (view == MAP_FAILED) return nullptr;
    return std::make_unique<PosixMappedFile>(view, size);
}
