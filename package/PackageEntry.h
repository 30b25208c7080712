// One element of a package's entry table: where its record lies and what the
// record's header says. The entry's data stays in the package file.
#pragma once

#include <cstdint>
#include <string>

// Bit of the flags byte that marks a file which must already be installed.
constexpr std::uint8_t kRequiredFlag = 0x02;

struct PackageEntry {
    std::int32_t recordOffset = 0;
    std::uint8_t flags = 0;
    std::int32_t dataSize = 0;
    std::string sourceName;  // kept with the entry; nothing uses it
    std::string targetName;  // path below the install root, '\' separated

    bool IsRequired() const { return (flags & kRequiredFlag) != 0; }
};
