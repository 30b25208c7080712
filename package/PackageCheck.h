// The structural and safety check of a package: the one place that decides
// whether a file may be read as a package.
//
// PatchPackage::Open uses it to refuse damaged or hostile files; dvk verify
// uses it to say which rule a file breaks and where. The check reads the
// header and every record header (never the entry data) and stops at the
// first rule broken.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/PackageEntry.h"
#include "package/PackageFormat.h"
#include "package/PackageStream.h"

// The rules, in the order the check meets them in a file.
enum class PackageRule {
    kSound = 0,            // nothing broken
    kTitleCutOff,          // the title has no NUL before the end of the file
    kRegistryKeyCutOff,    // the registry key has no NUL before the end of the file
    kEntryCountCutOff,     // fewer than four bytes left for the entry count
    kTableTooLarge,        // the entry count asks for more slots than the file holds
    kTooManyEntries,       // the entry table alone would pass the reader's memory budget
    kNegativeRecordOffset, // an offset-table slot below 0
    kRecordOutsideFile,    // an offset-table slot at or past the end of the file
    kRecordCutOff,         // a record's size or names run past the end of the file
    kDataPastEnd,          // a record's data runs past the end of the file
    kUnsafeTargetName,     // a target name that could leave the install root (TargetName.h)
    kNamesTooLong,         // the entries and their names together pass the memory budget
    kOutOfMemory,          // the memory for the entry table could not be had
    // .dvx only, in the order its check meets them (title, key, count and the
    // rules above are shared).
    kHeaderCutOff,         // the format version or updater level is cut off
    kUnknownFormatVersion, // a layout this reader does not know
    kNewerUpdaterNeeded,   // the package asks for a higher level than kUpdaterLevel
    kNulInText,            // a title, key or name holds a NUL byte
    kRecordLength,         // a record's length does not fit its kind and name
    kUnknownKind,          // an entry kind this level does not know
    kUnknownFlags,         // a flag bit this level does not know
    kResultTooLarge,       // a result larger than 2147483647 bytes
    kDataDoesNotFitKind,   // stored: length differs from the result; zstd: empty
                           // or too long; delete: any data, size or digest
    kDataOutOfPlace,       // data not exactly where the previous entry's ended
    kDuplicateTarget,      // two entries name one file (WindowsFileKey)
    kTrailingBytes,        // bytes after the data that are no signature trailer
};

// The memory the reader gives one package's entry table: a fixed budget, well
// inside a 32-bit process, charged kEntryCharge bytes per entry (an entry takes
// 60 bytes in the 32-bit program) plus the bytes of every name. A million
// entries with names of 20 bytes take about 85 MiB of it.
constexpr std::uint64_t kTableBudgetBytes = 128ull * 1024 * 1024;
constexpr std::uint64_t kEntryCharge = 64;

// What a sound package's header and records hold.
struct PackageContents {
    PackageFormat format = PackageFormat::kDvk;
    std::string title;
    std::string registryKey;
    std::int32_t entryCount = 0;          // as stored, negative values included
    std::vector<PackageEntry> entries;    // offset-table order
    // One past the last byte the reader reads: header, offset table, every
    // record header and its data (.dvx: the end of the last entry's data). A
    // signature trailer must start at or after it.
    std::int64_t readEnd = 0;
};

// The outcome: the first rule broken, where, and for which entry.
struct [[nodiscard]] PackageCheckResult {
    PackageRule rule = PackageRule::kSound;
    // Byte offset of the field that breaks the rule: the string or count that
    // is cut off, the entry count for a table too large, the offset-table slot
    // for a bad record offset, the first field cut off in a record, the data
    // size for data past the end, the name for an unsafe or too long name.
    std::int64_t offset = 0;
    std::int32_t entryIndex = -1;  // -1 for the header's rules

    bool IsSound() const { return rule == PackageRule::kSound; }
    // The outcome of a package that breaks rule at offset (in entryIndex).
    static PackageCheckResult Broken(PackageRule rule, std::int64_t offset, std::int32_t entryIndex = -1) {
        return PackageCheckResult{rule, offset, entryIndex};
    }
};

// Tells the format of the package open in stream (FindDvxHeader) and checks
// it with CheckPackage or CheckDvxPackage; contents.format says which.
PackageCheckResult CheckPackageFile(PackageStream& stream, PackageContents& contents);

// The .dvk check. Reads the package open in stream from offset 0. On a sound
// package, fills contents and leaves the stream unfailed, just after the last
// target name read; otherwise contents is unspecified and the stream may be
// failed. The memory used stays within kTableBudgetBytes, whatever the file
// says; an allocation that fails all the same gives kOutOfMemory.
[[nodiscard]] PackageCheckResult CheckPackage(PackageStream& stream, PackageContents& contents);

// A short English description of a rule, e.g. "record offset is negative".
const char* PackageRuleText(PackageRule rule);

// One line for people: "entry 2: record offset is negative (byte 31)".
std::string DescribePackageCheck(const PackageCheckResult& result);
