#include "package/PackageFormat.h"

#include <cstring>
#include <vector>

#include "package/DvxFormat.h"

std::optional<std::int64_t> FindDvxHeader(PackageStream& stream) {
    if (stream.Failed() || !stream.IsOpen()) return std::nullopt;
    // Enough for the longest prefix title, its NUL, the key's NUL, the two
    // int32 and the magic; a shorter file gives what it has.
    const std::int64_t want = kDvxMaxPrefixTitle + 1 + 1 + 8 + sizeof kDvxMagic;
    const std::int64_t have = stream.Size() < want ? stream.Size() : want;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(have));
    stream.Seek(0);
    const std::size_t got = stream.Read(bytes.data(), bytes.size());
    // A short read of a file that changed size is no .dvx; the failed state it
    // set must not leak to the .dvk reader, which sees such a file itself.
    if (got != bytes.size()) return std::nullopt;

    const void* nul = std::memchr(bytes.data(), 0, bytes.size());
    if (nul == nullptr) return std::nullopt;
    const std::size_t titleEnd = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - bytes.data());
    if (static_cast<std::int64_t>(titleEnd) > kDvxMaxPrefixTitle) return std::nullopt;
    static const unsigned char kRest[] = {0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF};
    const std::size_t headerOffset = titleEnd + 1 + sizeof kRest;
    if (headerOffset + sizeof kDvxMagic > bytes.size()) return std::nullopt;
    if (std::memcmp(bytes.data() + titleEnd + 1, kRest, sizeof kRest) != 0) return std::nullopt;
    if (std::memcmp(bytes.data() + headerOffset, kDvxMagic, sizeof kDvxMagic) != 0) return std::nullopt;
    return static_cast<std::int64_t>(headerOffset);
}
