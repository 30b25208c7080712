// Writes the data of one file's entry of a .dvx package: the whole file as a
// zstd frame when the frame comes out smaller, stored otherwise, or (in a
// patch entry) a whole zstd copy of bytes already read. dvk pack's plain and
// patch packages share it, so a file gets the same entry in both.
#pragma once

#include <cstdint>
#include <string>

#include "package/DvxWriter.h"
#include "tools/dvk/PackPlan.h"
#include "tools/dvk/ProgressBar.h"
#include "tools/dvk/ZstdEntryEncoder.h"

struct DvxPackSummary {
    int stored = 0;
    int zstd = 0;
    int deletes = 0;
    int patchEntries = 0;
    int patches = 0;              // one per base of every patch entry
    std::int64_t patchBytes = 0;  // what the patches take in the package
    std::int64_t dataBytes = 0;   // what the entries' data takes in the package
};

extern const char kPackageWriteFailed[];

class DvxEntryPacker {
public:
    DvxEntryPacker(DvxWriter& writer, ProgressBar& progress, DvxPackSummary& summary)
        : writer_(writer), progress_(progress), summary_(summary) {}

    // The file read in chunks, its entry ended. False with a message for
    // people when the file cannot be read, changes size meanwhile, or the
    // package cannot be written.
    bool PackFile(const PackItem& item, std::string& error);
    // A patch entry's whole copy: bytes compressed into one frame, whatever
    // its size, and the alternative ended.
    bool PackWholeCopy(const std::string& bytes, std::string& error);

private:
    class SourceReader;
    bool TryZstd(const PackItem& item, SourceReader& reader, bool& smaller, EntryDigest& digest, std::string& error);
    bool Store(SourceReader& reader, EntryDigest& digest, std::string& error);
    void Advance(std::int64_t read);

    DvxWriter& writer_;
    ProgressBar& progress_;
    DvxPackSummary& summary_;
    ZstdEntryEncoder encoder_;
    std::int64_t counted_ = 0;
};
