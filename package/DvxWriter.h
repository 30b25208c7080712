// Writes the .dvx format (DvxFormat.h): prefix, header, entry table, then
// each entry's data in table order.
//
// The table is written first with the sizes and digests still unknown and
// written again by Finish, so the data can be streamed as it is made (a
// file compressed on the fly, its digest computed as it is read); the stream
// must be able to seek back (a file or a string stream). Calling order:
// Begin, then for each entry that has data (every kind but delete), in
// table order: WriteData any number of times, then EndEntry; then Finish.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "package/PackageEntry.h"

// What the writer needs of an entry before its data.
struct DvxWriterEntry {
    EntryKind kind = EntryKind::kStored;
    std::uint8_t flags = 0;
    std::string targetName;  // cp1252, '\' separated
};

// What the writer needs of a patch entry besides: the bases its patches were
// made from, in the order their data comes, and whether a whole zstd copy
// follows them. Their places are filled in as the data is written.
struct DvxPatchPart {
    std::vector<PatchAlternative> patches;
    bool hasWholeCopy = false;
};

class DvxWriter {
public:
    explicit DvxWriter(std::ostream& out) : out_(out) {}

    // Writes the prefix, the header and a table with every size still 0.
    // False when a text is longer than 65535 bytes or the stream fails.
    // patchParts: one per patch entry, in table order. A package with patch
    // entries asks for kPatchLevel, any other for kBaseLevel.
    bool Begin(const std::string& title, const std::string& registryKey, const std::vector<DvxWriterEntry>& entries,
               const std::vector<DvxPatchPart>& patchParts = {});
    // Appends data of the current entry (the next one that is no delete).
    bool WriteData(const void* data, std::size_t size);
    // Starts the current entry's data again as another kind (a zstd frame
    // that grew past its file is stored instead). What was written is
    // overwritten; the new data must be at least as long or Finish fails.
    bool RestartEntry(EntryKind kind);
    // A patch entry: closes the data of its current alternative (the patches
    // in order, then the whole copy). False when the alternative is empty or
    // the entry has no more alternatives.
    bool EndAlternative();
    // Closes the current entry: its result's size and SHA-256. False when
    // the sizes do not fit its kind (stored: data length equal to the result;
    // zstd: some data) or pass 2147483647 bytes.
    bool EndEntry(std::int64_t resultSize, const EntryDigest& resultHash);
    // Writes the table again with every size, offset and digest, and leaves
    // the stream at the end of the data. False when an entry with data was not
    // ended or anything failed.
    bool Finish();

    // The bytes of data written so far (after Finish: all of it).
    std::int64_t DataBytes() const { return position_ - dataStart_; }
    // The kind each entry ended with, in table order.
    EntryKind KindOf(std::size_t index) const { return entries_[index].kind; }

private:
    struct Entry {
        DvxWriterEntry header;
        EntryKind kind = EntryKind::kStored;
        std::int64_t resultSize = 0;
        EntryDigest resultHash{};
        std::int64_t dataOffset = 0;
        std::int64_t dataLength = 0;
        DvxPatchPart patch;                         // a patch entry: its bases
        std::vector<std::int64_t> alternativeEnds;  // a patch entry: where each alternative's data ends
    };

    static std::int64_t OwnPartSize(const Entry& entry);
    void WritePatchPart(const Entry& entry);
    bool SkipDeletes();
    void WriteTable();
    void WriteNumber(std::uint64_t value, int bytes);
    bool Fail() { return failed_ = true, false; }

    std::ostream& out_;
    std::vector<Entry> entries_;
    std::int64_t tableOffset_ = 0;
    std::int64_t dataStart_ = 0;  // the end of the table
    std::int64_t position_ = 0;   // where the next data byte goes
    std::int64_t highWater_ = 0;  // one past the last byte ever written
    std::size_t current_ = 0;     // the entry whose data comes next
    bool failed_ = false;
};

// Convenience for small packages and tests: the whole file as bytes, each
// entry's data given as it is stored (a zstd entry's data is its frame).
struct DvxContent {
    EntryKind kind = EntryKind::kStored;
    std::uint8_t flags = 0;
    std::string targetName;
    std::string data;  // a patch entry: every alternative's data, back to back
    std::int64_t resultSize = 0;
    EntryDigest resultHash{};
};
// A patch entry's bases and the length of each alternative's data, in order.
struct DvxPatchContent {
    DvxPatchPart part;
    std::vector<std::int64_t> alternativeLengths;
};
// The bytes, or an empty string when the writer refused the entries.
std::string BuildDvxBytes(const std::string& title, const std::string& registryKey,
                          const std::vector<DvxContent>& entries, const std::vector<DvxPatchContent>& patches = {});
