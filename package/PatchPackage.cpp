#include "package/PatchPackage.h"

#include <utility>

#include "package/TargetName.h"

namespace {

// Many offset-table slots may name one record with long names; this keeps the
// memory of the entry table bounded whatever a hostile file says.
constexpr std::uint64_t kMaxNameBytes = 256ull * 1024 * 1024;

}  // namespace

bool PatchPackage::Open(const std::string& fileName) {
    if (stream_.IsOpen()) {
        stream_.SetFailed();
        return false;
    }
    if (!stream_.Open(fileName)) return false;

    std::string title;
    std::string registryKey;
    std::int32_t entryCount = 0;
    std::vector<PackageEntry> entries;
    if (!ReadStructure(title, registryKey, entryCount, entries)) {
        // Damaged or unsafe: treated exactly like a file that cannot be opened.
        stream_.Close();
        stream_.SetFailed();
        return false;
    }
    title_ = std::move(title);
    registryKey_ = std::move(registryKey);
    entryCount_ = entryCount;
    for (PackageEntry& entry : entries) entries_.push_back(std::move(entry));
    return true;
}

bool PatchPackage::ReadStructure(std::string& title, std::string& registryKey, std::int32_t& entryCount,
                                 std::vector<PackageEntry>& entries) {
    const std::int64_t fileSize = stream_.Size();

    title = ReadString();
    registryKey = ReadString();
    entryCount = ReadInt32();
    if (stream_.Failed()) return false;  // a string or the count cut off
    std::uint64_t nameBytes = title.size() + registryKey.size();

    if (entryCount > 0) {
        // The table must fit in what the file still holds before it may grow.
        if (entryCount > (fileSize - stream_.Position()) / 4) return false;
        entries.resize(static_cast<std::size_t>(entryCount));
        for (PackageEntry& entry : entries) entry.recordOffset = ReadInt32();
        if (stream_.Failed()) return false;
    }

    for (PackageEntry& entry : entries) {
        if (entry.recordOffset < 0) return false;
        stream_.Seek(entry.recordOffset);
        int flags = stream_.ReadByte();
        entry.flags = static_cast<std::uint8_t>(flags);
        entry.dataSize = ReadInt32();
        entry.sourceName = ReadString();
        entry.targetName = ReadString();
        if (stream_.Failed()) return false;  // the record runs past the end
        if (entry.dataSize > 0 && stream_.Position() + entry.dataSize > fileSize) return false;
        if (!IsSafeTargetName(entry.targetName)) return false;
        nameBytes += entry.sourceName.size() + entry.targetName.size();
        if (nameBytes > kMaxNameBytes) return false;
    }
    return true;
}

bool PatchPackage::Close() {
    if (!stream_.Close()) return false;
    entries_.clear();
    entries_.shrink_to_fit();
    entryCount_ = 0;
    return true;
}

std::int32_t PatchPackage::ReadInt32() {
    std::uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        int byte = stream_.ReadByte();
        if (byte == PackageStream::kEndOfFile) break;
        value |= static_cast<std::uint32_t>(byte) << shift;
    }
    return static_cast<std::int32_t>(value);
}

std::string PatchPackage::ReadString() {
    std::string text;
    for (;;) {
        int byte = stream_.ReadByte();
        if (byte == 0 || byte == PackageStream::kEndOfFile) break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}
