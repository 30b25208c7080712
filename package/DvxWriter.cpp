#include "package/DvxWriter.h"

#include <sstream>

#include "package/DvxFormat.h"

bool DvxWriter::Begin(const std::string& title, const std::string& registryKey,
                      const std::vector<DvxWriterEntry>& entries) {
    entries_.clear();
    current_ = 0;
    failed_ = false;
    if (title.size() > kDvxMaxText || registryKey.size() > kDvxMaxText || entries.size() > 0x7FFFFFFF) return Fail();
    for (const DvxWriterEntry& header : entries) {
        if (header.targetName.size() > kDvxMaxText) return Fail();
        Entry entry;
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
    WriteNumber(kUpdaterLevel, 2);
    WriteNumber(title.size(), 2);
    out_.write(title.data(), static_cast<std::streamsize>(title.size()));
    WriteNumber(registryKey.size(), 2);
    out_.write(registryKey.data(), static_cast<std::streamsize>(registryKey.size()));
    WriteNumber(entries_.size(), 4);

    tableOffset_ = static_cast<std::int64_t>(sizeof kDvxPrefixTitle) + 1 + 8 + sizeof kDvxMagic + 2 + 2 + 2 +
                   static_cast<std::int64_t>(title.size()) + 2 + static_cast<std::int64_t>(registryKey.size()) + 4;
    position_ = tableOffset_;
    for (const Entry& entry : entries_) {
        position_ += kDvxRecordLengthSize + kDvxRecordFixedSize + static_cast<std::int64_t>(entry.header.targetName.size());
    }
    WriteTable();
    dataStart_ = position_;
    highWater_ = position_;
    if (!out_) return Fail();
    return SkipDeletes();
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
        WriteNumber(static_cast<std::uint64_t>(kDvxRecordFixedSize) + name.size(), 4);
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
    }
}

void DvxWriter::WriteNumber(std::uint64_t value, int bytes) {
    char out[8];
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out_.write(out, bytes);
}

std::string BuildDvxBytes(const std::string& title, const std::string& registryKey,
                          const std::vector<DvxContent>& entries) {
    std::ostringstream out;
    DvxWriter writer(out);
    std::vector<DvxWriterEntry> headers;
    for (const DvxContent& entry : entries) headers.push_back({entry.kind, entry.flags, entry.targetName});
    if (!writer.Begin(title, registryKey, headers)) return std::string();
    for (const DvxContent& entry : entries) {
        if (entry.kind == EntryKind::kDelete) continue;
        if (!writer.WriteData(entry.data.data(), entry.data.size())) return std::string();
        if (!writer.EndEntry(entry.resultSize, entry.resultHash)) return std::string();
    }
    if (!writer.Finish()) return std::string();
    return out.str();
}
