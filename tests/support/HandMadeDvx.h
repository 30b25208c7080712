// .dvx entry tables laid out by hand over a package file, and zstd frames
// made whole or byte by byte, for the tests of applying every entry kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/PatchPackage.h"

struct HandEntry {
    EntryKind kind = EntryKind::kStored;
    std::uint8_t flags = 0;
    std::string target;
    std::string result;                  // what the target holds once applied
    std::string data;                    // what the package stores (a frame for zstd)
    std::optional<std::int32_t> size;    // the table's result size, when not result's
    bool wrongHash = false;              // the table's SHA-256 is not result's
};

// A stored entry, a zstd entry (its result compressed whole) and a delete.
HandEntry Stored(const std::string& target, const std::string& bytes);
HandEntry Zstd(const std::string& target, const std::string& bytes);
HandEntry Delete(const std::string& target, std::uint8_t flags = 0);

// One zstd frame of the bytes, as the library writes it (content size declared).
std::string ZstdFrame(const std::string& bytes);
// A frame of one raw block laid out by hand: a window of 2^windowLog, the
// declared content size (none when empty), the bytes.
std::string RawBlockFrame(const std::string& bytes, int windowLog, std::optional<std::uint64_t> declaredSize);

// Writes a package whose data holds every entry's data one after the other,
// opens it and gives it the entries as a .dvx table describes them (data
// offset and length, result size and SHA-256).
bool OpenHandMadeDvx(PatchPackage& package, const std::string& path, const std::string& registryKey,
                     const std::vector<HandEntry>& entries);
