// The layout of a .dvx package, the one place that knows its constants.
// docs/package-format.md describes it byte by byte; every number is
// little-endian.
//
//   prefix   a .dvk header every .dvk reader refuses: kDvxPrefixTitle and
//            its NUL, an empty registry key (one NUL), entry count 1 (int32)
//            and record offset -1 (int32)
//   header   kDvxMagic (8 bytes), format version (u16), lowest updater level
//            (u16), title (u16 length + cp1252 bytes), registry key (likewise),
//            entry count (u32)
//   table    one record per entry: record length (u32, the bytes after it),
//            then the fields at the kDvxField* offsets, then the target name,
//            then a part of the kind's own (empty for stored, zstd, delete;
//            for a patch: the kDvxPatch* layout below)
//   data     each entry's data, in table order, back to back from the end of
//            the table (a delete has none)
//   trailer  optionally the 137-byte signature trailer (SignatureTrailer.h)
#pragma once

#include <cstddef>
#include <cstdint>

// The prefix's title: what an updater that knows only .dvk packages would
// show if it showed anything (cp1252: "Cette mise à jour nécessite une
// version plus récente de Dravlek Update.").
constexpr char kDvxPrefixTitle[] =
    "Cette mise \xE0 jour n\xE9" "cessite une version plus r\xE9" "cente de Dravlek Update.";
// The longest prefix title a reader looks through for the magic; a longer
// first string is read as a .dvk title.
constexpr std::int64_t kDvxMaxPrefixTitle = 1024;

// "DVKX", CR LF, ^Z, LF: a transfer that rewrites line ends or stops at ^Z
// breaks it at once.
constexpr unsigned char kDvxMagic[8] = {'D', 'V', 'K', 'X', 0x0D, 0x0A, 0x1A, 0x0A};

// The layout of the header and of the records: a reader refuses any other.
constexpr std::uint16_t kDvxFormatVersion = 1;

// The level of this updater: it applies packages whose lowest updater level
// is at most this. A package using a kind or flag added later asks for more
// and is refused like a damaged one.
constexpr std::uint16_t kUpdaterLevel = 2;
// What a package asks for: level 1 without patch entries (so older updaters
// still take it), level 2 with them.
constexpr std::uint16_t kBaseLevel = 1;
constexpr std::uint16_t kPatchLevel = 2;

// Offsets of a record's fields, counted from the first byte after its
// record length.
constexpr std::int64_t kDvxFieldKind = 0;         // u8: EntryKind
constexpr std::int64_t kDvxFieldFlags = 1;        // u8: only kRequiredFlag defined
constexpr std::int64_t kDvxFieldResultSize = 2;   // u64: bytes of the result
constexpr std::int64_t kDvxFieldResultHash = 10;  // 32 bytes: SHA-256 of the result
constexpr std::int64_t kDvxFieldDataOffset = 42;  // u64: from the start of the file
constexpr std::int64_t kDvxFieldDataLength = 50;  // u64: bytes of data
constexpr std::int64_t kDvxFieldNameLength = 58;  // u16, then the target name
constexpr std::int64_t kDvxRecordFixedSize = 60;  // the bytes before the name
// The bytes of a record's length field.
constexpr std::int64_t kDvxRecordLengthSize = 4;

// The largest result and the largest data of one entry (the .dvk limit).
constexpr std::uint64_t kDvxMaxEntrySize = 0x7FFFFFFF;
// The largest text the u16 lengths can give: title, key or name.
constexpr std::size_t kDvxMaxText = 0xFFFF;
// What the reader charges each .dvx entry against kTableBudgetBytes, names
// aside: the PackageEntry with its digest (about 112 bytes in the 32-bit
// program), where its record lies, and the hash it is sorted by to find two
// entries for one file, with room to spare.
constexpr std::uint64_t kDvxEntryCharge = 160;

// A patch entry's own part, after its name: the patch count (u16, at least
// 1), then per patch kDvxPatchSize bytes: method (u8), base size (u64), base
// SHA-256 (32 bytes), data offset (u64), data length (u64); then the whole
// copy's data offset and length (u64 each; both 0 when there is none). The
// patches' data and then the whole copy lie back to back and fill exactly the
// entry's data.
constexpr std::int64_t kDvxPatchCountSize = 2;
constexpr std::int64_t kDvxPatchSize = 57;
constexpr std::int64_t kDvxWholeCopySize = 16;
// The most patches one entry may carry.
constexpr std::uint64_t kDvxMaxPatches = 64;
// What the reader charges each patch against kTableBudgetBytes.
constexpr std::uint64_t kDvxPatchCharge = 64;
