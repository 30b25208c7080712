// Where the engine reads the result of one entry from: the stored bytes of
// either format, or a zstd frame decoded as it goes. The block loop, the
// progress lines, the staging and the commit stay one path whatever the kind;
// a patch over the installed file will be one more source.
#pragma once

#include <cstddef>
#include <memory>

#include "package/PatchPackage.h"

class EntrySource {
public:
    virtual ~EntrySource() = default;
    // Fills the buffer with the next size bytes of the result. False when the
    // package cannot give them (cut short, damaged data, a decoder limit).
    virtual bool ReadResult(char* buffer, std::size_t size) = 0;
    // Asked once the whole result has been read: whether the entry's data
    // ends exactly there (no byte missing, none left over).
    virtual bool EndsHere() = 0;
};

// The source of a stored or zstd entry, at the first byte of its result.
// Null when the package no longer says what it said when it was opened, or
// when the data cannot be a result of the entry's size (a frame without that
// declared size, a window above the limit): the package is damaged.
std::unique_ptr<EntrySource> OpenEntrySource(PatchPackage& package, const PackageEntry& entry);
