#include "tests/support/TestFiles.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>

#include "package/UniqueStdioFile.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() /
                             ("dvk-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
    UniqueStdioFile file(std::fopen(path.c_str(), "wb"));
    if (file == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return CloseStdioFile(file) && ok;
}

std::string ReadFileBytes(const std::string& path, bool* exists) {
    UniqueStdioFile file(std::fopen(path.c_str(), "rb"));
    if (exists != nullptr) *exists = file != nullptr;
    if (file == nullptr) return std::string();
    std::string bytes;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
    return bytes;
}

std::string PatternData(std::size_t size, unsigned salt) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + salt * 13 + i / 4096) & 0xFF);
    return data;
}

std::string NoiseData(std::size_t size, std::uint32_t stream) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>((stream = stream * 1664525u + 1013904223u) >> 24);
    return bytes;
}

bool FileExists(const std::string& path) {
    bool exists = false;
    ReadFileBytes(path, &exists);
    return exists;
}

void AppendInt32(std::string& bytes, std::int32_t value) {
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

void AppendString(std::string& bytes, const std::string& text) {
    bytes += text;
    bytes.push_back('\0');
}

void AppendRecord(std::string& bytes, std::uint8_t flags, std::int32_t size, const std::string& source,
                  const std::string& target, const std::string& data) {
    bytes.push_back(static_cast<char>(flags));
    AppendInt32(bytes, size);
    AppendString(bytes, source);
    AppendString(bytes, target);
    bytes += data;
}

void PutInt32(std::string& bytes, std::size_t offset, std::int32_t value) {
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

std::string ExamplePackageBytes() {
    std::string bytes;
    AppendString(bytes, "Fix 2");
    AppendString(bytes, "Software\\Example");
    AppendInt32(bytes, 2);
    AppendInt32(bytes, 35);
    AppendInt32(bytes, 62);
    AppendRecord(bytes, 0x02, 10, "a.dll", "a.dll", "0123456789");
    AppendRecord(bytes, 0x00, 3, "readme.txt", "readme.txt", "abc");
    return bytes;
}
