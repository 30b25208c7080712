#include "package/DvxWriter.h"

#include <sstream>

#include "package/DvxFormat.h"

bool DvxWriter::Begin(const std::string& title, const std::string& registryKey,
                      const std::vector<DvxWriterEntry>& entries, const std::vector<DvxPatchPart>& patchParts) {
    entries_.clear();
    current_ = 0;
    failed_ = false;
    if (title.size() > kDvxMaxText || registryKey.size() > kDvxMaxText || entries.size() > 0x7FFFFFFF) return Fail();
    std::uint16_t level = kBaseLevel;
    std::size_t nextPatch = 0;
    for (const DvxWriterEntry& header : entries) {
        if (header.targetName.size() > kDvxMaxText) return Fail();
        Entry entry;
        if (header.kind == EntryKind::kPatch) {
            if (nextPatch >= patchParts.size()) return Fail();
            entry.patch = patchParts[nextPatch++];
            if (entry.patch.patches.empty() || entry.patch.patches.size() > kDvxMaxPatches) return Fail();
            level = kPatchLevel;
        }
        entry.header = header;
        entry.kind = header.kind;
        entries_.push_back(entry);
    }

    // The prefix every .dvk reader refuses: title, empty key, count 1, offset -1.
    out_.write(kDvxPrefixTitle, sizeof kDvxPrefixTitle);
    out_.put('\0');
    WriteNumber(1, 4);
    WriteNumber(0xFFFFFFFF, 4);
    out_.write(reinterpret_cast<const char*>(kDvxMagic), sizeof kDvxMagic);
    WriteNumber(kDvxFormatVersion, 2);
    if (nextPatch != patchParts.size()) return Fail();
    WriteNumber(level, 2);
    WriteNumber(title.size(), 2);
    out_.write(title.data(), static_cast<std::streamsize>(title.size()));
    WriteNumber(registryKey.size(), 2);
    out_.write(registryKey.data(), static_cast<std::streamsize>(registryKey.size()));
    WriteNumber(entries_.size(), 4);

    tableOffset_ = static_cast<std::int64_t>(sizeof kDvxPrefixTitle) + 1 + 8 + sizeof kDvxMagic + 2 + 2 + 2 +
                   static_cast<std::int64_t>(title.size()) + 2 + static_cast<std::int64_t>(registryKey.size()) + 4;
    position_ = tableOffset_;
    for (const Entry& entry : entries_) {
        position_ += kDvxRecordLengthSize + kDvxRecordFixedSize + OwnPartSize(entry);
    }
    WriteTable();
    dataStart_ = position_;
    highWater_ = position_;
    if (!out_) return Fail();
    return SkipDeletes();
}

std::int64_t DvxWriter::OwnPartSize(const Entry& entry) {
    std::int64_t size = static_cast<std::int64_t>(entry.header.targetName.size());
    if (entry.header.kind == EntryKind::kPatch) {
        size += kDvxPatchCountSize + static_cast<std::int64_t>(entry.patch.patches.size()) * kDvxPatchSize + kDvxWholeCopySize;
    }
    return size;
}

bool DvxWriter::EndAlternative() {
    if (failed_ || current_ >= entries_.size()) return Fail();
    Entry& entry = entries_[current_];
    const std::size_t alternatives = entry.patch.patches.size() + (entry.patch.hasWholeCopy ? 1 : 0);
    if (entry.kind != EntryKind::kPatch || entry.alternativeEnds.size() >= alternatives) return Fail();
    const std::int64_t end = entry.dataOffset + entry.dataLength;
    const std::int64_t begin = entry.alternativeEnds.empty() ? entry.dataOffset : entry.alternativeEnds.back();
    if (end == begin) return Fail();
    entry.alternativeEnds.push_back(end);
    return true;
}

bool DvxWriter::SkipDeletes() {
    while (current_ < entries_.size() && entries_[current_].kind == EntryKind::kDelete) ++current_;
    if (current_ < entries_.size()) entries_[current_].dataOffset = position_;
    return true;
}

bool DvxWriter::WriteData(const void* data, std::size_t size) {
    if (failed_ || current_ >= entries_.size()) return Fail();
    Entry& entry = entries_[current_];
    if (static_cast<std::uint64_t>(entry.dataLength) + size > kDvxMaxEntrySize) return Fail();
    out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    entry.dataLength += static_cast<std::int64_t>(size);
    position_ += static_cast<std::int64_t>(size);
    if (position_ > highWater_) highWater_ = position_;
    if (!out_) return Fail();
    return true;
}

bool DvxWriter::RestartEntry(EntryKind kind) {
    if (failed_ || current_ >= entries_.size() || kind == EntryKind::kDelete) return Fail();
    Entry& entry = entries_[current_];
    if (entry.kind == EntryKind::kPatch || kind == EntryKind::kPatch) return Fail();
    entry.kind = kind;
    position_ = entry.dataOffset;
    entry.dataLength = 0;
    if (!out_.seekp(position_)) return Fail();
    return true;
}

bool DvxWriter::EndEntry(std::int64_t resultSize, const EntryDigest& resultHash) {
    if (failed_ || current_ >= entries_.size()) return Fail();
    Entry& entry = entries_[current_];
    if (resultSize < 0 || static_cast<std::uint64_t>(resultSize) > kDvxMaxEntrySize) return Fail();
    if (entry.kind == EntryKind::kStored && entry.dataLength != resultSize) return Fail();
    if (entry.kind == EntryKind::kZstd && entry.dataLength == 0) return Fail();
    if (entry.kind == EntryKind::kPatch &&
        entry.alternativeEnds.size() != entry.patch.patches.size() + (entry.patch.hasWholeCopy ? 1 : 0)) {
        return Fail();
    }
    entry.resultSize = resultSize;
    entry.resultHash = resultHash;
    ++current_;
    return SkipDeletes();
}

bool DvxWriter::Finish() {
    if (failed_ || current_ < entries_.size()) return Fail();
    // A restarted entry that came out shorter would leave old bytes behind.
    if (position_ != highWater_) return Fail();
    if (!out_.seekp(tableOffset_)) return Fail();
    WriteTable();
    out_.seekp(position_);
    out_.flush();
    if (!out_) return Fail();
    return true;
}

void DvxWriter::WriteTable() {
    for (const Entry& entry : entries_) {
        const std::string& name = entry.header.targetName;
        WriteNumber(static_cast<std::uint64_t>(kDvxRecordFixedSize + OwnPartSize(entry)), 4);
        out_.put(static_cast<char>(entry.kind));
        out_.put(static_cast<char>(entry.header.flags));
        WriteNumber(static_cast<std::uint64_t>(entry.resultSize), 8);
        out_.write(reinterpret_cast<const char*>(entry.resultHash.data()),
                   static_cast<std::streamsize>(entry.resultHash.size()));
        const bool hasData = entry.kind != EntryKind::kDelete;
        WriteNumber(hasData ? static_cast<std::uint64_t>(entry.dataOffset) : 0, 8);
        WriteNumber(static_cast<std::uint64_t>(entry.dataLength), 8);
        WriteNumber(name.size(), 2);
        out_.write(name.data(), static_cast<std::streamsize>(name.size()));
        if (entry.kind == EntryKind::kPatch) WritePatchPart(entry);
    }
}

// Before the entry's data is ended, its alternatives' places are still 0.
void DvxWriter::WritePatchPart(const Entry& entry) {
    const std::vector<PatchAlternative>& patches = entry.patch.patches;
    const bool ended = entry.alternativeEnds.size() == patches.size() + (entry.patch.hasWholeCopy ? 1 : 0);
    WriteNumber(patches.size(), 2);
    std::int64_t begin = entry.dataOffset;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        out_.put(static_cast<char>(patches[i].method));
        WriteNumber(patches[i].baseSize, 8);
        out_.write(reinterpret_cast<const char*>(patches[i].baseHash.data()),
                   static_cast<std::streamsize>(patches[i].baseHash.size()));
        const std::int64_t end = ended ? entry.alternativeEnds[i] : begin;
        WriteNumber(static_cast<std::uint64_t>(ended ? begin : 0), 8);
        WriteNumber(static_cast<std::uint64_t>(end - begin), 8);
        begin = end;
    }
    const bool whole = ended && entry.patch.hasWholeCopy;
    WriteNumber(whole ? static_cast<std::uint64_t>(begin) : 0, 8);
    WriteNumber(whole ? static_cast<std::uint64_t>(entry.alternativeEnds.back() - begin) : 0, 8);
}

void DvxWriter::WriteNumber(std::uint64_t value, int bytes) {
    char out[8];
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out_.write(out, bytes);
}

std::string BuildDvxBytes(const std::string& title, const std::string& registryKey,
                          const std::vector<DvxContent>& entries, const std::vector<DvxPatchContent>& patches) {
    std::ostringstream out;
    DvxWriter writer(out);
    std::vector<DvxWriterEntry> headers;
    std::vector<DvxPatchPart> parts;
    for (const DvxContent& entry : entries) headers.push_back({entry.kind, entry.flags, entry.targetName});
    for (const DvxPatchContent& patch : patches) parts.push_back(patch.part);
    if (!writer.Begin(title, registryKey, headers, parts)) return std::string();
    std::size_t nextPatch = 0;
    for (const DvxContent& entry : entries) {
        if (entry.kind == EntryKind::kDelete) continue;
        if (entry.kind == EntryKind::kPatch) {
            std::size_t at = 0;
            for (std::int64_t length : patches[nextPatch++].alternativeLengths) {
                const std::size_t size = static_cast<std::size_t>(length);
                if (length < 0 || size > entry.data.size() - at) return std::string();
                if (!writer.WriteData(entry.data.data() + at, size) || !writer.EndAlternative()) return std::string();
                at += size;
            }
        } else if (!writer.WriteData(entry.data.data(), entry.data.size())) {
            return std::string();
        }
        if (!writer.EndEntry(entry.resultSize, entry.resultHash)) return std::string();
    }
    if (!writer.Finish()) return std::string();
    return out.str();
}
