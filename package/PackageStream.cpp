#include "package/PackageStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <sys/stat.h>

#ifdef _WIN32
#include <share.h>
#include <wchar.h>

#include "package/Utf16Text.h"
#endif

namespace {

// 64-bit positioning: entry data may reach past 2 GiB even though every
// record starts below it.
int SeekFile(std::FILE* file, std::int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, offset, origin);
#else
    return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

std::int64_t TellFile(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<std::int64_t>(ftello(file));
#endif
}

}  // namespace

PackageStream::~PackageStream() {
    Close();
}

bool PackageStream::Open(const std::string& fileName, FileNameEncoding encoding) {
    Close();
    failed_ = false;
#ifdef _WIN32
    // Nobody may write to the package while it is open: what the signature
    // check reads is what the extraction reads.
    std::FILE* opened = nullptr;
    std::u16string wide;
    if (encoding == FileNameEncoding::kAnsi) {
        opened = _fsopen(fileName.c_str(), "rb", _SH_DENYWR);
    } else if (Utf8ToUtf16(fileName, wide)) {
        // The ANSI form of the name could be another file's (best fit).
        opened = _wfsopen(std::wstring(wide.begin(), wide.end()).c_str(), L"rb", _SH_DENYWR);
    }
#else
    (void)encoding;
    // POSIX has no share modes; the open descriptor at least keeps reading
    // the same file when the name is replaced or removed.
    std::FILE* opened = std::fopen(fileName.c_str(), "rb");
#endif
    UniqueStdioFile file(opened);
    if (file == nullptr) {
        failed_ = true;
        return false;
    }
    // A directory opens on some C libraries; it is no package, so it is
    // refused here like any unreadable file.
    struct stat info;
    std::int64_t size = -1;
    if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode) && SeekFile(file.get(), 0, SEEK_END) == 0) {
        size = TellFile(file.get());
    }
    if (size < 0 || SeekFile(file.get(), 0, SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    std::setvbuf(file.get(), nullptr, _IONBF, 0);  // our own buffer does the work
    // A small package (the usual case when titles are listed) needs only a
    // small buffer.
    std::size_t capacity = static_cast<std::size_t>(std::min<std::int64_t>(size, kBufferSize));
    if (capacity == 0) capacity = 1;
    if (buffer_.size() != capacity) std::vector<unsigned char>(capacity).swap(buffer_);
    file_ = std::move(file);
    size_ = size;
    position_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
    return true;
}

bool PackageStream::Close() {
    if (file_ == nullptr) return false;
    file_.reset();
    size_ = -1;
    position_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
    return true;
}

void PackageStream::Seek(std::int64_t offset) {
    if (failed_ || file_ == nullptr) return;
    position_ = offset;
}

bool PackageStream::Refill() {
    // Called when position_ lies outside the buffered window.
    if (file_ == nullptr || position_ < 0 || position_ >= size_) return false;
    if (SeekFile(file_.get(), position_, SEEK_SET) != 0) return false;
    bufferStart_ = position_;
    bufferLength_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
    return bufferLength_ > 0;
}

int PackageStream::ReadByte() {
    if (failed_ || file_ == nullptr) return kEndOfFile;
    if (position_ < bufferStart_ || position_ >= bufferStart_ + static_cast<std::int64_t>(bufferLength_)) {
        if (!Refill()) {
            failed_ = true;
            return kEndOfFile;
        }
    }
    int byte = buffer_[position_ - bufferStart_];
    ++position_;
    return byte;
}

std::size_t PackageStream::Read(void* buffer, std::size_t count) {
    if (failed_ || file_ == nullptr) return 0;
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::size_t delivered = 0;
    while (delivered < count) {
        std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
        if (position_ >= bufferStart_ && position_ < bufferEnd) {
            std::size_t available = static_cast<std::size_t>(bufferEnd - position_);
            std::size_t take = std::min(available, count - delivered);
            std::memcpy(out + delivered, buffer_.data() + (position_ - bufferStart_), take);
            delivered += take;
            position_ += static_cast<std::int64_t>(take);
        } else if (!Refill()) {
            failed_ = true;
            break;
        }
    }
    return delivered;
}

std::int32_t PackageStream::ReadInt32() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int byte = ReadByte();
        if (byte == kEndOfFile) break;
        value |= static_cast<std::uint32_t>(byte) << shift;
    }
    return static_cast<std::int32_t>(value);
}

std::string PackageStream::ReadString() {
    // Byte by byte in effect, but the buffered window is searched for the NUL
    // and taken in pieces: a million names must not cost a million calls each.
    std::string text;
    for (;;) {
        if (failed_ || file_ == nullptr) return text;
        std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
        if (position_ < bufferStart_ || position_ >= bufferEnd) {
            if (!Refill()) {
                failed_ = true;
                return text;
            }
            bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
        }
        const unsigned char* begin = buffer_.data() + (position_ - bufferStart_);
        std::size_t available = static_cast<std::size_t>(bufferEnd - position_);
        const void* nul = std::memchr(begin, 0, available);
        std::size_t take = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - begin) : available;
        text.append(reinterpret_cast<const char*>(begin), take);
        position_ += static_cast<std::int64_t>(take);
        if (nul != nullptr) {
            ++position_;  // the NUL is consumed, not kept
            return text;
        }
    }
}
