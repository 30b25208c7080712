// The .dvx reader: which rule a damaged package breaks first and where, what
// a sound one gives, that the .dvk reader refuses every .dvx by its prefix,
// and the writer's refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "package/DvxFormat.h"
#include "package/DvxWriter.h"
#include "package/PackageCheck.h"
#include "package/PatchPackage.h"
#include "package/SignatureTrailer.h"
#include "tests/support/DvxExamples.h"
#include "tests/support/TestFiles.h"

namespace {

using R = PackageRule;

class DvxCheckTest : public ::testing::Test {
protected:
    PackageCheckResult Check(const std::string& bytes, PackageContents* contents = nullptr, std::int64_t grownTo = 0) {
        std::string path = dir_.File("check.dvx");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        if (grownTo > 0) std::filesystem::resize_file(path, static_cast<std::uintmax_t>(grownTo));  // sparse
        PackageStream stream;
        EXPECT_TRUE(stream.Open(path));
        PackageContents local;
        return CheckPackageFile(stream, contents != nullptr ? *contents : local);
    }

    TempDir dir_;
};

struct Damaged {
    const char* why;
    std::string bytes;
    R rule;
    std::int64_t offset;
    std::int32_t entryIndex;
    std::int64_t grownTo = 0;  // the file made this long with zeros
};

std::vector<Damaged> DamagedExamples() {
    const std::string example = ExampleDvxBytes();
    const ExampleDvxLayout at = ExampleDvxOffsets();
    auto with = [&](std::int64_t offset, std::uint64_t value, int count) {
        std::string bytes = example;
        PutNumber(bytes, offset, value, count);
        return bytes;
    };
    auto cut = [&](std::int64_t length) { return example.substr(0, static_cast<std::size_t>(length)); };
    auto named = [&](int record, const std::string& name) {
        std::string bytes = example;
        return bytes.replace(static_cast<std::size_t>(at.Field(record, kDvxRecordFixedSize)), name.size(), name);
    };
    const std::int64_t kind1 = at.Field(1, kDvxFieldKind);
    const std::int64_t name0 = at.Field(0, kDvxFieldNameLength);
    const std::int64_t name2 = at.Field(2, kDvxFieldNameLength);
    const std::int64_t result0 = at.Field(0, kDvxFieldResultSize);
    const std::int64_t result1 = at.Field(1, kDvxFieldResultSize);
    const std::int64_t length0 = at.Field(0, kDvxFieldDataLength);
    const std::int64_t length1 = at.Field(1, kDvxFieldDataLength);
    const std::int64_t offset0 = at.Field(0, kDvxFieldDataOffset);
    const std::int64_t offset1 = at.Field(1, kDvxFieldDataOffset);
    const std::uint64_t overBudget = kTableBudgetBytes / kDvxEntryCharge + 1;
    std::vector<Damaged> cases = {
        {"version cut off", cut(at.version + 1), R::kHeaderCutOff, at.version, -1},
        {"version 2", with(at.version, 2, 2), R::kUnknownFormatVersion, at.version, -1},
        {"level cut off", cut(at.level + 1), R::kHeaderCutOff, at.level, -1},
        {"level above this updater", with(at.level, kUpdaterLevel + 1, 2), R::kNewerUpdaterNeeded, at.level, -1},
        {"title cut off", cut(at.title + 5), R::kTitleCutOff, at.title, -1},
        {"title longer than the file", with(at.title, 0xFFFF, 2), R::kTitleCutOff, at.title, -1},
        {"NUL in the title", with(at.title + 3, 0, 1), R::kNulInText, at.title, -1},
        {"key cut off", cut(at.key + 4), R::kRegistryKeyCutOff, at.key, -1},
        {"NUL in the key", with(at.key + 2, 0, 1), R::kNulInText, at.key, -1},
        {"count cut off", cut(at.count + 3), R::kEntryCountCutOff, at.count, -1},
        {"count the file cannot hold", with(at.count, 0xFFFFFFFF, 4), R::kTableTooLarge, at.count, -1},
        // A file long enough for the records, but a table past the memory budget.
        {"count past the memory budget", with(at.count, overBudget, 4), R::kTooManyEntries, at.count, -1,
         at.record[0] + static_cast<std::int64_t>(overBudget) * 65},
        {"record longer than the file", with(at.record[1], 0x7FFFFFFF, 4), R::kRecordCutOff, at.record[1], 1},
        {"record shorter than its fields", with(at.record[0], 10, 4), R::kRecordLength, at.record[0], 0},
        {"record with a part of its own", with(at.record[0], kDvxRecordFixedSize + 6, 4), R::kRecordLength,
         at.record[0], 0},
        {"kind 0", with(kind1, 0, 1), R::kUnknownKind, kind1, 1},
        {"kind 5 (a later level)", with(kind1, 5, 1), R::kUnknownKind, kind1, 1},
        {"flag bit 0x01", with(kind1 + 1, 0x03, 1), R::kUnknownFlags, kind1 + 1, 1},
        {"NUL in a name", named(0, std::string("a\0txt", 5)), R::kNulInText, name0, 0},
        {"name climbs out", named(0, "..\\ab"), R::kUnsafeTargetName, name0, 0},
        {"name with a drive", named(0, "C:\\ab"), R::kUnsafeTargetName, name0, 0},
        {"name of a device", named(2, "aux.txt"), R::kUnsafeTargetName, name2, 2},
        {"result past 2147483647", with(result1, 0x80000000u, 8), R::kResultTooLarge, result1, 1},
        {"stored data shorter than its result", with(result0, 4, 8), R::kDataDoesNotFitKind, length0, 0},
        {"zstd entry without data", with(length1, 0, 8), R::kDataDoesNotFitKind, length1, 1},
        {"zstd data past 2147483647", with(length1, 0x80000000u, 8), R::kDataDoesNotFitKind, length1, 1},
        {"data over the table", with(offset0, at.record[2], 8), R::kDataOutOfPlace, offset0, 0},
        {"data over the header", with(offset0, 0, 8), R::kDataOutOfPlace, offset0, 0},
        {"data over the previous entry's", with(offset1, at.data[1] - 1, 8), R::kDataOutOfPlace, offset1, 1},
        {"a gap before the data", with(offset1, at.data[1] + 1, 8), R::kDataOutOfPlace, offset1, 1},
        {"offset far past the file", with(offset1, ~0ull, 8), R::kDataOutOfPlace, offset1, 1},
        {"data cut off", cut(at.end - 1), R::kDataPastEnd, length1, 1},
        {"two entries for one file", named(2, "A.TXT. "), R::kDuplicateTarget, name2, 2},
        {"one byte after the data", example + "x", R::kTrailingBytes, at.end, -1},
        {"a zero-filled tail", example + std::string(137, '\0'), R::kTrailingBytes, at.end, -1},
        {"a trailer and a byte more", example + "DVKSIG01" + std::string(130, 'x'), R::kTrailingBytes, at.end, -1},
    };
    for (std::int64_t field : {kDvxFieldResultSize, kDvxFieldResultHash, kDvxFieldDataOffset, kDvxFieldDataLength}) {
        cases.push_back({"delete with a size, digest, offset or data", with(at.Field(2, field), 1, 1),
                         R::kDataDoesNotFitKind, at.Field(2, field), 2});
    }
    return cases;
}

TEST_F(DvxCheckTest, NamesTheFirstRuleBrokenWithItsOffsetAndEntry) {
    for (const Damaged& c : DamagedExamples()) {
        PackageContents contents;
        PackageCheckResult result = Check(c.bytes, &contents, c.grownTo);
        EXPECT_EQ(contents.format, PackageFormat::kDvx) << c.why;
        EXPECT_EQ(result.rule, c.rule) << c.why << ": " << DescribePackageCheck(result);
        EXPECT_EQ(result.offset, c.offset) << c.why;
        EXPECT_EQ(result.entryIndex, c.entryIndex) << c.why;
    }
}

TEST_F(DvxCheckTest, OpenRefusesEveryDamagedPackageAndEveryCutAndAgreesWithTheCheckOnFlips) {
    const std::string example = ExampleDvxBytes();
    std::vector<std::string> refused;
    for (const Damaged& c : DamagedExamples()) {
        if (c.grownTo == 0) refused.push_back(c.bytes);
    }
    for (std::size_t length = 0; length < example.size(); ++length) refused.push_back(example.substr(0, length));
    const std::string path = dir_.File("open.dvk");  // the extension decides nothing
    for (const std::string& bytes : refused) {
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        PatchPackage package;
        EXPECT_FALSE(package.Open(path)) << "file of " << bytes.size() << " bytes";
        EXPECT_FALSE(package.IsOpen());
    }
    for (std::size_t at = 0; at < example.size(); ++at) {
        std::string bytes = example;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x80);  // a title, name letter, digest or data byte stays sound
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        PatchPackage package;
        EXPECT_EQ(package.Open(path), Check(bytes).IsSound()) << "flip at " << at;
    }
}

TEST_F(DvxCheckTest, ASoundPackageOpensWithItsTableWhateverItsName) {
    const std::string example = ExampleDvxBytes();
    const ExampleDvxLayout at = ExampleDvxOffsets();
    ASSERT_EQ(static_cast<std::int64_t>(example.size()), at.end);
    const std::string signedBytes = example + SignatureTrailerBytes(EcPublicKey{}, EcSignature{});
    struct Row { EntryKind kind; bool required; const char* name; std::int32_t size; std::int64_t offset, stored; };
    const Row rows[] = {{EntryKind::kStored, true, "a.txt", 3, at.data[0], 3},
                        {EntryKind::kZstd, false, "bin\\b.dll", 100, at.data[1], 9},
                        {EntryKind::kDelete, false, "old.txt", 0, 0, 0}};
    for (const std::string& bytes : {example, signedBytes}) {
        for (const char* name : {"p.dvx", "p.dvk", "p"}) {
            ASSERT_TRUE(WriteFileBytes(dir_.File(name), bytes));
            PatchPackage package;
            ASSERT_TRUE(package.Open(dir_.File(name))) << name;
            EXPECT_EQ(package.GetFormat(), PackageFormat::kDvx);
            EXPECT_EQ(package.GetTitle() + "|" + package.GetRegistryKey(), "Produit|Soft\\Prod");
            EXPECT_EQ(package.GetSignatureTrailer().has_value(), bytes == signedBytes);
            ASSERT_EQ(package.GetEntries().size(), 3u);
            for (std::size_t i = 0; i < 3; ++i) {
                const PackageEntry& e = package.GetEntries()[i];
                EXPECT_EQ(e.kind, rows[i].kind) << i;
                EXPECT_EQ(e.IsRequired(), rows[i].required) << i;
                EXPECT_EQ(e.targetName, rows[i].name) << i;
                EXPECT_EQ(e.dataSize, rows[i].size) << i;
                EXPECT_EQ(e.dataOffset, rows[i].offset) << i;
                EXPECT_EQ(e.storedSize, rows[i].stored) << i;
                EXPECT_EQ(e.hasResultHash, !e.IsDelete()) << i;
                EXPECT_EQ(e.resultHash[31], e.IsDelete() ? 0 : 0x10 + i) << i;
            }
        }
    }
}

TEST_F(DvxCheckTest, TheDvkReaderRefusesEveryDvxByItsPrefixAndOnlyPrefixAndMagicMakeADvx) {
    const std::string example = ExampleDvxBytes();
    const ExampleDvxLayout at = ExampleDvxOffsets();
    // The first format's check, as every older reader runs it: its only record offset is -1.
    ASSERT_TRUE(WriteFileBytes(dir_.File("renamed.dvk"), example));
    PackageStream stream;
    ASSERT_TRUE(stream.Open(dir_.File("renamed.dvk")));
    PackageContents old;
    PackageCheckResult result = CheckPackage(stream, old);
    EXPECT_EQ(result.rule, R::kNegativeRecordOffset);
    EXPECT_EQ(result.offset, at.header - 4);
    EXPECT_EQ(old.title, kDvxPrefixTitle);

    const std::string rest = example.substr(static_cast<std::size_t>(at.header - 10));
    std::string otherMagic = example;
    otherMagic[static_cast<std::size_t>(at.header + 7)] = '\r';
    struct Row { const char* why; std::string bytes; PackageFormat format; };
    const Row rows[] = {
        {"a prefix title of 1024 bytes", std::string(1024, 'T') + rest, PackageFormat::kDvx},
        {"a prefix title of 1025 bytes", std::string(1025, 'T') + rest, PackageFormat::kDvk},
        {"a key in the prefix", "T" + std::string("\0K", 2) + rest.substr(1), PackageFormat::kDvk},
        {"count 2 in the prefix", rest.substr(0, 2) + "\x02" + rest.substr(3), PackageFormat::kDvk},
        {"another magic", otherMagic, PackageFormat::kDvk},
        {"the prefix alone", example.substr(0, static_cast<std::size_t>(at.header)), PackageFormat::kDvk},
    };
    for (const Row& row : rows) {
        PackageContents contents;
        const bool sound = Check(row.bytes, &contents).IsSound();
        EXPECT_EQ(contents.format, row.format) << row.why;
        EXPECT_TRUE(row.format == PackageFormat::kDvx || !sound) << row.why;  // the -1, or cut off
    }
}

TEST(DvxWriterTest, RefusesWhatNoReaderWouldTakeAndAnEntryRestartedShorter) {
    struct Row { const char* why; std::vector<DvxContent> entries; std::string title; };
    const std::string longText(kDvxMaxText + 1, 'x');
    const Row rows[] = {
        {"stored data longer than its result", {{EntryKind::kStored, 0, "a", "abc", 2, {}}}, "T"},
        {"zstd entry without data", {{EntryKind::kZstd, 0, "a", "", 5, {}}}, "T"},
        {"negative result", {{EntryKind::kZstd, 0, "a", "z", -1, {}}}, "T"},
        {"result past 2147483647", {{EntryKind::kZstd, 0, "a", "z", 0x80000000ll, {}}}, "T"},
        {"name past 65535 bytes", {{EntryKind::kDelete, 0, longText, "", 0, {}}}, "T"},
        {"title past 65535 bytes", {}, longText},
    };
    for (const Row& row : rows) EXPECT_EQ(BuildDvxBytes(row.title, "K", row.entries), "") << row.why;

    for (std::size_t storedLength : {2u, 4u}) {  // shorter than the 3 bytes written first: old bytes would stay
        std::ostringstream out;
        DvxWriter writer(out);
        ASSERT_TRUE(writer.Begin("T", "K", {{EntryKind::kZstd, 0, "a"}, {EntryKind::kDelete, 0, "b"}}));
        ASSERT_TRUE(writer.WriteData("zzz", 3) && writer.RestartEntry(EntryKind::kStored));
        ASSERT_TRUE(writer.WriteData("abcd", storedLength));
        ASSERT_TRUE(writer.EndEntry(static_cast<std::int64_t>(storedLength), EntryDigest{}));
        EXPECT_EQ(writer.Finish(), storedLength == 4);
        EXPECT_EQ(writer.KindOf(0), EntryKind::kStored);
    }
}

}  // namespace
