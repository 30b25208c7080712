// Patch entries in a .dvx package: what the writer lays out the reader gives
// back, the level a package asks for, and which rule each damaged patch part
// breaks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/DvxFormat.h"
#include "package/DvxWriter.h"
#include "package/PackageCheck.h"
#include "tests/support/DvxExamples.h"
#include "tests/support/TestFiles.h"

namespace {

using R = PackageRule;

EntryDigest Digest(std::uint8_t fill) {
    EntryDigest digest;
    digest.fill(fill);
    return digest;
}

// A stored file, then a patch entry with two patches (4 and 3 bytes of data)
// and, when whole, a whole copy of 5 bytes.
std::string PatchPackage(bool whole) {
    std::vector<DvxContent> entries = {
        {EntryKind::kStored, 0, "a.txt", "abc", 3, Digest(1)},
        {EntryKind::kPatch, 0, "p.exe", whole ? "PPPPQQQWWWWW" : "PPPPQQQ", 100, Digest(2)},
    };
    DvxPatchContent patch;
    patch.part.patches = {{PatchMethod::kZstdPrefix, 90, Digest(3), 0, 0}, {PatchMethod::kZstdPrefix, 95, Digest(4), 0, 0}};
    patch.part.hasWholeCopy = whole;
    patch.alternativeLengths = whole ? std::vector<std::int64_t>{4, 3, 5} : std::vector<std::int64_t>{4, 3};
    return BuildDvxBytes("T", "K", entries, {patch});
}

// Where the package's level lies: after the prefix, the magic and the version.
constexpr std::int64_t kLevelOffset = sizeof kDvxPrefixTitle + 1 + 8 + sizeof kDvxMagic + 2;

class DvxPatchEntryTest : public ::testing::Test {
protected:
    PackageCheckResult Check(const std::string& bytes, PackageContents& contents) {
        const std::string path = dir_.File("patch.dvx");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        PackageStream stream;
        EXPECT_TRUE(stream.Open(path));
        return CheckPackageFile(stream, contents);
    }
    TempDir dir_;
};

TEST_F(DvxPatchEntryTest, TheReaderGivesBackEveryAlternativeAndItsPlace) {
    for (bool whole : {true, false}) {
        const std::string bytes = PatchPackage(whole);
        ASSERT_FALSE(bytes.empty());
        EXPECT_EQ(static_cast<unsigned char>(bytes[kLevelOffset]), kPatchLevel);
        PackageContents contents;
        ASSERT_TRUE(Check(bytes, contents).IsSound()) << whole;
        ASSERT_EQ(contents.entries.size(), 2u);
        const PackageEntry& entry = contents.entries[1];
        EXPECT_EQ(entry.kind, EntryKind::kPatch);
        ASSERT_EQ(entry.patches.size(), 2u);
        EXPECT_EQ(entry.patches[0].baseSize, 90u);
        EXPECT_EQ(entry.patches[1].baseHash, Digest(4));
        EXPECT_EQ(bytes.substr(static_cast<std::size_t>(entry.patches[0].dataOffset), 4), "PPPP");
        EXPECT_EQ(bytes.substr(static_cast<std::size_t>(entry.patches[1].dataOffset), 3), "QQQ");
        EXPECT_EQ(entry.HasWholeCopy(), whole);
        if (whole) {
            EXPECT_EQ(bytes.substr(static_cast<std::size_t>(entry.wholeOffset), 5), "WWWWW");
        }
    }
    // Without patch entries a package still asks for the first level only.
    EXPECT_EQ(static_cast<unsigned char>(ExampleDvxBytes()[kLevelOffset]), kBaseLevel);
}

TEST_F(DvxPatchEntryTest, EachDamagedPatchPartBreaksItsRuleAtItsField) {
    const std::string example = PatchPackage(true);
    const std::int64_t part = static_cast<std::int64_t>(example.find("p.exe")) + 5;
    const std::int64_t patch0 = part + kDvxPatchCountSize;
    const std::int64_t patch1 = patch0 + kDvxPatchSize;
    const std::int64_t whole = patch1 + kDvxPatchSize;
    const std::int64_t recordStart = static_cast<std::int64_t>(example.find("p.exe")) - kDvxRecordFixedSize - kDvxRecordLengthSize;
    auto with = [&](std::int64_t offset, std::uint64_t value, int count) {
        std::string bytes = example;
        PutNumber(bytes, offset, value, count);
        return bytes;
    };
    PackageContents sound;
    ASSERT_TRUE(Check(example, sound).IsSound());
    const PackageEntry& entry = sound.entries[1];
    const std::uint64_t first = static_cast<std::uint64_t>(entry.patches[0].dataOffset);
    struct Row {
        const char* why;
        std::string bytes;
        R rule;
        std::int64_t offset;
    };
    const std::vector<Row> rows = {
        {"unknown method", with(patch0, 2, 1), R::kDataDoesNotFitKind, patch0},
        {"no patch", with(part, 0, 2), R::kDataDoesNotFitKind, part},
        {"more patches than the record holds", with(part, 3, 2), R::kRecordLength, recordStart},
        {"base larger than any file", with(patch0 + 1, kDvxMaxEntrySize + 1, 8), R::kDataDoesNotFitKind, patch0 + 1},
        {"first patch not at the entry's data", with(patch0 + 41, first + 1, 8), R::kDataDoesNotFitKind, patch0 + 41},
        {"empty patch", with(patch0 + 49, 0, 8), R::kDataDoesNotFitKind, patch0 + 41},
        {"second patch overlapping the first", with(patch1 + 41, first + 3, 8), R::kDataDoesNotFitKind, patch1 + 41},
        {"second patch past the entry's data", with(patch1 + 49, 9, 8), R::kDataDoesNotFitKind, patch1 + 41},
        {"whole copy past the entry's data", with(whole + 8, 6, 8), R::kDataDoesNotFitKind, whole},
        {"whole copy shorter than the data left", with(whole + 8, 4, 8), R::kDataDoesNotFitKind,
         recordStart + kDvxRecordLengthSize + kDvxFieldDataLength},
        {"no whole copy but data left",
         with(whole + 8, 0, 8).replace(static_cast<std::size_t>(whole), 8, std::string(8, '\0')),
         R::kDataDoesNotFitKind, recordStart + kDvxRecordLengthSize + kDvxFieldDataLength},
        {"record one byte short of its part", with(recordStart, kDvxRecordFixedSize + 5 + 2 + 2 * kDvxPatchSize + 15, 4),
         R::kRecordLength, recordStart},
        {"entry data offset far past the file", with(recordStart + kDvxRecordLengthSize + kDvxFieldDataOffset, ~0ull >> 1, 8),
         R::kDataPastEnd, recordStart + kDvxRecordLengthSize + kDvxFieldDataOffset},
    };
    for (const Row& row : rows) {
        PackageContents contents;
        const PackageCheckResult result = Check(row.bytes, contents);
        EXPECT_EQ(result.rule, row.rule) << row.why << ": " << DescribePackageCheck(result);
        EXPECT_EQ(result.offset, row.offset) << row.why;
        EXPECT_EQ(result.entryIndex, 1) << row.why;
    }
}

TEST(DvxPatchWriterTest, RefusesAPatchEntryWithoutItsBasesOrAlternatives) {
    const std::vector<DvxContent> entries = {{EntryKind::kPatch, 0, "p.exe", "PPPP", 10, Digest(2)}};
    DvxPatchContent onePatch;
    onePatch.part.patches = {{PatchMethod::kZstdPrefix, 9, Digest(3), 0, 0}};
    onePatch.alternativeLengths = {4};
    DvxPatchContent noBase = onePatch;
    noBase.part.patches.clear();
    DvxPatchContent emptyAlternative = onePatch;
    emptyAlternative.alternativeLengths = {0, 4};
    DvxPatchContent missingWhole = onePatch;
    missingWhole.part.hasWholeCopy = true;
    EXPECT_FALSE(BuildDvxBytes("T", "K", entries, {onePatch}).empty());
    EXPECT_TRUE(BuildDvxBytes("T", "K", entries, {}).empty());
    EXPECT_TRUE(BuildDvxBytes("T", "K", entries, {onePatch, onePatch}).empty());
    EXPECT_TRUE(BuildDvxBytes("T", "K", entries, {noBase}).empty());
    EXPECT_TRUE(BuildDvxBytes("T", "K", entries, {emptyAlternative}).empty());
    EXPECT_TRUE(BuildDvxBytes("T", "K", entries, {missingWhole}).empty());
}

}  // namespace
