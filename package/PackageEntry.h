// One element of a package's entry table: where its data lies and what the
// table says of it. The entry's data stays in the package file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Bit of the flags byte that marks a file which must already be installed.
constexpr std::uint8_t kRequiredFlag = 0x02;

// The SHA-256 of an entry's result, as the table of a .dvx package gives it.
using EntryDigest = std::array<std::uint8_t, 32>;

// What an entry does to its target. A .dvk package has stored entries only.
enum class EntryKind : std::uint8_t {
    kStored = 1,  // the data is the file
    kZstd = 2,    // the data is one zstd frame that decodes to the file
    kDelete = 3,  // the target is removed; no data
    kPatch = 4,   // patches from known bases, and maybe a whole zstd copy
};

// How a patch's data turns its base into the result.
enum class PatchMethod : std::uint8_t {
    kZstdPrefix = 1,  // one zstd frame decoded with the base as its prefix
};

// One patch of a patch entry: the installed bytes it was made from and
// where its data lies in the package file.
struct PatchAlternative {
    PatchMethod method = PatchMethod::kZstdPrefix;
    std::uint64_t baseSize = 0;
    EntryDigest baseHash{};
    std::int64_t dataOffset = 0;
    std::int64_t dataLength = 0;
};

struct PackageEntry {
    std::int32_t recordOffset = 0;  // .dvk: where the entry's record begins; .dvx: 0
    std::uint8_t flags = 0;
    std::int32_t dataSize = 0;      // bytes of the result (the file once written); 0 for a delete
    std::string sourceName;         // kept with the entry; nothing uses it
    std::string targetName;         // path below the install root, '\' separated

    EntryKind kind = EntryKind::kStored;
    // .dvx only: where the entry's data lies in the package file. A .dvk
    // entry's data follows its record header at recordOffset instead.
    std::int64_t dataOffset = 0;
    std::int64_t storedSize = 0;
    bool hasResultHash = false;     // .dvx entries carry one; .dvk entries none
    EntryDigest resultHash{};       // SHA-256 of the result, when hasResultHash
    // A patch entry: its patches, and its whole zstd copy when wholeLength > 0.
    std::vector<PatchAlternative> patches;
    std::int64_t wholeOffset = 0;
    std::int64_t wholeLength = 0;

    bool IsRequired() const { return (flags & kRequiredFlag) != 0; }
    bool IsDelete() const { return kind == EntryKind::kDelete; }
    bool HasWholeCopy() const { return wholeLength > 0; }
};
