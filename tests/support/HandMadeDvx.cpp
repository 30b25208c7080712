#include "tests/support/HandMadeDvx.h"

#include <zstd.h>

#include "engine/Crypto.h"
#include "tests/support/EngineFixtures.h"
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

bool OpenHandMadeDvx(PatchPackage& package, const std::string& path, const std::string& registryKey,
                     const std::vector<HandEntry>& entries) {
    std::string blob;
    for (const HandEntry& entry : entries) blob += entry.data;
    if (!WriteAndOpenPackage(package, path, registryKey, {{0, "blob", "blob", blob}})) return false;
    // The data of an unsigned package's last entry ends the file.
    std::int64_t at = package.Stream().Size() - static_cast<std::int64_t>(blob.size());
    std::vector<PackageEntry> table;
    for (const HandEntry& hand : entries) {
        PackageEntry entry;
        entry.kind = hand.kind;
        entry.flags = hand.flags;
        entry.sourceName = hand.target;
        entry.targetName = hand.target;
        entry.dataSize = hand.size ? *hand.size : static_cast<std::int32_t>(hand.result.size());
        entry.dataOffset = at;
        entry.storedSize = static_cast<std::int64_t>(hand.data.size());
        at += entry.storedSize;
        Sha256 hash;
        hash.Update(hand.result.data(), hand.result.size());
        std::optional<Sha256Digest> digest = hash.Finish();
        if (!digest) return false;
        std::copy(digest->begin(), digest->end(), entry.resultHash.begin());
        if (hand.wrongHash) entry.resultHash[7] ^= 0x40;
        entry.hasResultHash = true;
        table.push_back(std::move(entry));
    }
    // The table is the package's own vector, not a const object: until the
    // tests write .dvx files, this is how a .dvx table reaches the engine.
    const_cast<std::vector<PackageEntry>&>(package.GetEntries()) = std::move(table);
    return true;
}
