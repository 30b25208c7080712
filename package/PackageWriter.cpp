#include "package/PackageWriter.h"

#include <algorithm>
#include <limits>
#include <sstream>

bool PackageWriter::Begin(const std::string& title, const std::string& registryKey,
                          const std::vector<PackageWriterEntry>& entries) {
    entries_ = entries;
    offsets_.clear();
    current_ = 0;
    recordStarted_ = false;
    remaining_ = 0;
    failed_ = false;

    const std::int64_t kMaxOffset = std::numeric_limits<std::int32_t>::max();
    std::int64_t position = static_cast<std::int64_t>(title.size()) + 1 + registryKey.size() + 1 + 4 +
                            4 * static_cast<std::int64_t>(entries.size());
    for (const PackageWriterEntry& entry : entries_) {
        if (position > kMaxOffset) return failed_ = true, false;
        offsets_.push_back(static_cast<std::int32_t>(position));
        position += RecordHeaderSize(entry.sourceName, entry.targetName);
        position += std::max<std::int32_t>(entry.dataSize, 0);
    }
    if (entries_.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return failed_ = true, false;
    }

    WriteString(title);
    WriteString(registryKey);
    WriteInt32(static_cast<std::int32_t>(entries_.size()));
    for (std::int32_t offset : offsets_) WriteInt32(offset);
    return !failed_ && static_cast<bool>(out_);
}

bool PackageWriter::StartNextRecordIfDue() {
    // Moves on past finished entries, writing each record header in turn.
    while (!recordStarted_ || remaining_ == 0) {
        if (recordStarted_) {
            ++current_;
            recordStarted_ = false;
        }
        if (current_ >= entries_.size()) return false;
        const PackageWriterEntry& entry = entries_[current_];
        WriteRecordHeader(out_, entry);
        recordStarted_ = true;
        remaining_ = std::max<std::int32_t>(entry.dataSize, 0);
        if (remaining_ > 0) return true;
    }
    return true;
}

bool PackageWriter::WriteData(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0 && !failed_) {
        if (!StartNextRecordIfDue()) return failed_ = true, false;  // more data than declared
        std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(remaining_, size));
        out_.write(bytes, static_cast<std::streamsize>(take));
        bytes += take;
        size -= take;
        remaining_ -= static_cast<std::int64_t>(take);
    }
    if (!out_) failed_ = true;
    return !failed_;
}

bool PackageWriter::Finish() {
    if (failed_) return false;
    if (recordStarted_ && remaining_ > 0) return failed_ = true, false;  // data missing
    // The remaining entries must all be empty: write their headers.
    while (StartNextRecordIfDue()) {
        if (remaining_ > 0) return failed_ = true, false;
    }
    out_.flush();
    return static_cast<bool>(out_);
}

void PackageWriter::WriteInt32(std::int32_t value) {
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    char bytes[4];
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    out_.write(bytes, 4);
}

void PackageWriter::WriteString(const std::string& text) {
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    out_.put('\0');
}

std::string BuildPackageBytes(const std::string& title, const std::string& registryKey,
                              const std::vector<PackageContent>& entries) {
    std::ostringstream out;
    PackageWriter writer(out);
    std::vector<PackageWriterEntry> headers;
    for (const PackageContent& entry : entries) {
        headers.push_back({entry.flags, static_cast<std::int32_t>(entry.data.size()), entry.sourceName,
                           entry.targetName});
    }
    // The sizes come from the data and a string stream takes every byte:
    // none of these can fail.
    static_cast<void>(writer.Begin(title, registryKey, headers));
    for (const PackageContent& entry : entries) {
        static_cast<void>(writer.WriteData(entry.data.data(), entry.data.size()));
    }
    static_cast<void>(writer.Finish());
    return out.str();
}
