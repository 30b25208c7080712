#include "tests/support/HandMadeDvx.h"

#include <zstd.h>

#include "engine/Crypto.h"
#include "package/DvxWriter.h"
#include "tests/support/TestFiles.h"

HandEntry Stored(const std::string& target, const std::string& bytes) {
    HandEntry entry;
    entry.target = target;
    entry.result = entry.data = bytes;
    return entry;
}

HandEntry Zstd(const std::string& target, const std::string& bytes) {
    HandEntry entry = Stored(target, bytes);
    entry.kind = EntryKind::kZstd;
    entry.data = ZstdFrame(bytes);
    return entry;
}

HandEntry Delete(const std::string& target, std::uint8_t flags) {
    HandEntry entry;
    entry.kind = EntryKind::kDelete;
    entry.flags = flags;
    entry.target = target;
    return entry;
}

std::string ZstdFrame(const std::string& bytes) {
    std::string frame(ZSTD_compressBound(bytes.size()), '\0');
    std::size_t size = ZSTD_compress(frame.data(), frame.size(), bytes.data(), bytes.size(), 3);
    frame.resize(ZSTD_isError(size) ? 0 : size);
    return frame;
}

std::string RawBlockFrame(const std::string& bytes, int windowLog, std::optional<std::uint64_t> declaredSize) {
    std::string frame = "\x28\xB5\x2F\xFD";
    // Frame header descriptor: an 8-byte content size or none, never a single
    // segment, so that the window descriptor follows.
    frame.push_back(static_cast<char>(declaredSize ? 0xC0 : 0x00));
    frame.push_back(static_cast<char>((windowLog - 10) << 3));
    for (int i = 0; declaredSize && i < 8; ++i) frame.push_back(static_cast<char>((*declaredSize >> (8 * i)) & 0xFF));
    const std::uint32_t block = static_cast<std::uint32_t>(bytes.size()) << 3 | 1;  // raw, last
    for (int i = 0; i < 3; ++i) frame.push_back(static_cast<char>((block >> (8 * i)) & 0xFF));
    return frame + bytes;
}

std::string HandMadeDvxBytes(const std::string& registryKey, const std::vector<HandEntry>& entries) {
    std::vector<DvxContent> contents;
    for (const HandEntry& hand : entries) {
        DvxContent content;
        content.kind = hand.kind;
        content.flags = hand.flags;
        content.targetName = hand.target;
        content.data = hand.data;
        content.resultSize = hand.size ? *hand.size : static_cast<std::int64_t>(hand.result.size());
        Sha256 hash;
        hash.Update(hand.result.data(), hand.result.size());
        std::optional<Sha256Digest> digest = hash.Finish();
        if (!digest) return std::string();
        std::copy(digest->begin(), digest->end(), content.resultHash.begin());
        if (hand.wrongHash) content.resultHash[7] ^= 0x40;
        contents.push_back(std::move(content));
    }
    return BuildDvxBytes("Test package", registryKey, contents);
}

bool OpenHandMadeDvx(PatchPackage& package, const std::string& path, const std::string& registryKey,
                     const std::vector<HandEntry>& entries) {
    const std::string bytes = HandMadeDvxBytes(registryKey, entries);
    return !bytes.empty() && WriteFileBytes(path, bytes) && package.Open(path);
}
