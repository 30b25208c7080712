// Scratch directories, file bytes and raw package bytes for the tests.
#pragma once

#include <cstdint>
#include <string>

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path of a file directly in this directory ('/' joined; Windows takes it too).
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The whole file; sets *exists to false (and returns "") when it cannot be read.
std::string ReadFileBytes(const std::string& path, bool* exists = nullptr);
bool FileExists(const std::string& path);

// Bytes that differ from block to block (of 4096) and, by salt, from file to
// file, so that a misplaced block or a mixed-up file is noticed.
std::string PatternData(std::size_t size, unsigned salt = 0);
// Bytes without repeats that no compressor shrinks (the top bytes of a linear
// congruential generator started at stream): an altered patch byte cannot
// decode to the same result by matching elsewhere, and a small patch of them
// is a real one.
std::string NoiseData(std::size_t size, std::uint32_t stream);

// Little-endian int32 and NUL-terminated string, for laying out packages by hand.
void AppendInt32(std::string& bytes, std::int32_t value);
void AppendString(std::string& bytes, const std::string& text);
// One record: flags, size, names, then the data.
void AppendRecord(std::string& bytes, std::uint8_t flags, std::int32_t size, const std::string& source,
                  const std::string& target, const std::string& data);
// Overwrites four bytes at an offset with a little-endian int32.
void PutInt32(std::string& bytes, std::size_t offset, std::int32_t value);

// The 92-byte example package: "Fix 2", "Software\Example", a.dll (required,
// "0123456789") and readme.txt ("abc").
std::string ExamplePackageBytes();
