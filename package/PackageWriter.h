// Writes the package format: header, offset table, then each record with its
// data, records back to back in entry order.
//
// The offsets depend only on the entries' header fields, so the writer takes
// all of them first and then streams each entry's data in order; nothing of
// an entry's data has to be held in memory.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "package/RecordHeader.h"

// What the writer needs of an entry before its data: its record header.
using PackageWriterEntry = RecordHeader;

class PackageWriter {
public:
    explicit PackageWriter(std::ostream& out) : out_(out) {}

    // Writes the header and the offset table. False when the records would not
    // all start below 2 GiB or the stream fails.
    [[nodiscard]] bool Begin(const std::string& title, const std::string& registryKey,
                             const std::vector<PackageWriterEntry>& entries);
    // Appends data of the current entry. The record header of each entry is
    // written when its first byte (or, for an empty entry, the next entry's
    // first byte or Finish) arrives.
    [[nodiscard]] bool WriteData(const void* data, std::size_t size);
    // Writes what remains and checks that every entry got exactly its size.
    [[nodiscard]] bool Finish();

    // The record offsets that Begin computed, in entry order.
    const std::vector<std::int32_t>& RecordOffsets() const { return offsets_; }

private:
    [[nodiscard]] bool StartNextRecordIfDue();
    void WriteInt32(std::int32_t value);
    void WriteString(const std::string& text);

    std::ostream& out_;
    std::vector<PackageWriterEntry> entries_;
    std::vector<std::int32_t> offsets_;
    std::size_t current_ = 0;        // index of the entry whose data is being written
    bool recordStarted_ = false;
    std::int64_t remaining_ = 0;     // data bytes still due for the current entry
    bool failed_ = false;
};

// Convenience for small packages: the whole file as bytes.
struct PackageContent {
    std::uint8_t flags = 0;
    std::string sourceName;
    std::string targetName;
    std::string data;
};
std::string BuildPackageBytes(const std::string& title, const std::string& registryKey,
                              const std::vector<PackageContent>& entries);
