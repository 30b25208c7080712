// The read-only binary stream over an open package file.
//
// Positions are absolute byte offsets from the start of the file. Reads go
// through a private buffer, so byte-by-byte reading of names stays cheap.
// A read that meets the end of the file, or an open that fails, puts the
// stream in the failed state; while failed, Seek does nothing, ReadByte
// yields kEndOfFile and Read delivers no bytes. Only the next Open clears it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "package/UniqueStdioFile.h"

// How the bytes of a file name are read.
enum class FileNameEncoding {
    kAnsi,  // the system's narrow code page: the names the ANSI API lists, dvk's narrow paths
    kUtf8,  // UTF-8, opened through the wide API on Windows: a name as the UTF-16 command line gave it
};

class PackageStream {
public:
    static constexpr int kEndOfFile = -1;

    PackageStream() = default;
    ~PackageStream();
    PackageStream(const PackageStream&) = delete;
    PackageStream& operator=(const PackageStream&) = delete;

    // Opens the named file read-only and unchanged; clears the failed state
    // first. On failure no file is open and the stream is failed. On Windows
    // the file cannot be opened for writing by anyone while it is open here.
    // Elsewhere both encodings are the bytes the system takes.
    [[nodiscard]] bool Open(const std::string& fileName, FileNameEncoding encoding = FileNameEncoding::kAnsi);
    // Closes the file if one is open; returns whether one was.
    bool Close();
    bool IsOpen() const { return file_ != nullptr; }

    bool Failed() const { return failed_; }
    void SetFailed() { failed_ = true; }

    // Size of the open file in bytes, or -1 when no file is open.
    std::int64_t Size() const { return size_; }
    std::int64_t Position() const { return position_; }

    // Moves to an absolute offset; does nothing while failed. An offset outside
    // the file is allowed: the next read then fails.
    void Seek(std::int64_t offset);
    // One byte as 0..255, or kEndOfFile (and the failed state) past the end.
    int ReadByte();
    // Reads up to count bytes; returns how many were delivered. Fewer than
    // asked means the end of the file was met and the stream is now failed.
    std::size_t Read(void* buffer, std::size_t count);
    // Forgets what was read ahead, so that the next read sees the file as it
    // is now (it may have changed since it was opened).
    void DiscardBuffer() { bufferLength_ = 0; }

    // The format's two primitives, read byte by byte.
    // Next four bytes, little-endian and signed. At the end of the file the
    // bytes still there become the low-order bytes; while failed, 0.
    std::int32_t ReadInt32();
    // Next NUL-terminated string without its NUL; stops at the end of the file.
    std::string ReadString();

private:
    [[nodiscard]] bool Refill();

    static constexpr std::size_t kBufferSize = 256 * 1024;

    UniqueStdioFile file_;
    bool failed_ = false;
    std::int64_t size_ = -1;
    std::int64_t position_ = 0;     // logical position of the next byte read
    std::int64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::size_t bufferLength_ = 0;  // valid bytes in buffer_
    std::vector<unsigned char> buffer_;  // no larger than the file it reads
};
