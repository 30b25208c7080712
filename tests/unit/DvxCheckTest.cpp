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

class DvxCheckTest : public ::testing::Test {
protected:
    PackageCheckResult Check(const std::string& bytes, PackageContents* contents = nullptr,
                             std::int64_t grownTo = 0) {
        std::string path = dir_.File("check.dvx");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        if (grownTo > 0) std::filesystem::resize_file(path, static_cast<std::uintmax_t>(grownTo));
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
    PackageRule rule;
    std::int64_t offset;
    std::int32_t entryIndex;
    std::int64_t grownTo = 0;  // the file made this long with zeros (sparse)
};

std::vector<Damaged> DamagedExamples() {
    const std::string example = ExampleDvxBytes();
    const ExampleDvxLayout at = ExampleDvxOffsets();
    std::vector<Damaged> cases;
    auto with = [&](std::int64_t offset, std::uint64_t value, int count) {
        std::string bytes = example;
        PutNumber(bytes, offset, value, count);
        return bytes;
    };
    auto cut = [&](std::int64_t length) { return example.substr(0, static_cast<std::size_t>(length)); };
    auto named = [&](int record, const std::string& name) {
        std::string bytes = example;
        bytes.replace(static_cast<std::size_t>(at.Field(record, kDvxRecordFixedSize)), name.size(), name);
        return bytes;
    };
    const std::int64_t kind1 = at.Field(1, kDvxFieldKind);
    cases.push_back({"version cut off", cut(at.version + 1), PackageRule::kHeaderCutOff, at.version, -1});
    cases.push_back({"version 2", with(at.version, 2, 2), PackageRule::kUnknownFormatVersion, at.version, -1});
    cases.push_back({"level cut off", cut(at.level + 1), PackageRule::kHeaderCutOff, at.level, -1});
    cases.push_back({"level above this updater", with(at.level, kUpdaterLevel + 1, 2),
                     PackageRule::kNewerUpdaterNeeded, at.level, -1});
    cases.push_back({"title cut off", cut(at.title + 5), PackageRule::kTitleCutOff, at.title, -1});
    cases.push_back({"title longer than the file", with(at.title, 0xFFFF, 2), PackageRule::kTitleCutOff, at.title, -1});
    cases.push_back({"NUL in the title", with(at.title + 3, 0, 1), PackageRule::kNulInText, at.title, -1});
    cases.push_back({"key cut off", cut(at.key + 4), PackageRule::kRegistryKeyCutOff, at.key, -1});
    cases.push_back({"NUL in the key", with(at.key + 2, 0, 1), PackageRule::kNulInText, at.key, -1});
    cases.push_back({"count cut off", cut(at.count + 3), PackageRule::kEntryCountCutOff, at.count, -1});
    cases.push_back({"count the file cannot hold", with(at.count, 0xFFFFFFFF, 4), PackageRule::kTableTooLarge,
                     at.count, -1});
    {
        // A file long enough for the records but a table past the memory budget.
        const std::uint64_t count = kTableBudgetBytes / kDvxEntryCharge + 1;
        cases.push_back({"count past the memory budget", with(at.count, count, 4), PackageRule::kTooManyEntries,
                         at.count, -1, at.record[0] + static_cast<std::int64_t>(count) * 65});
    }
    cases.push_back({"record longer than the file", with(at.record[1], 0x7FFFFFFF, 4), PackageRule::kRecordCutOff,
                     at.record[1], 1});
    cases.push_back({"record shorter than its fields", with(at.record[0], 10, 4), PackageRule::kRecordLength,
                     at.record[0], 0});
    cases.push_back({"record with a part no known kind has", with(at.record[0], kDvxRecordFixedSize + 6, 4),
                     PackageRule::kRecordLength, at.record[0], 0});
    cases.push_back({"kind 0", with(kind1, 0, 1), PackageRule::kUnknownKind, kind1, 1});
    cases.push_back({"kind 4 (a later level)", with(kind1, 4, 1), PackageRule::kUnknownKind, kind1, 1});
    cases.push_back({"flag bit 0x01", with(at.Field(1, kDvxFieldFlags), 0x03, 1), PackageRule::kUnknownFlags,
                     at.Field(1, kDvxFieldFlags), 1});
    const std::int64_t name0 = at.Field(0, kDvxFieldNameLength);
    cases.push_back({"NUL in a name", named(0, std::string("a\0txt", 5)), PackageRule::kNulInText, name0, 0});
    cases.push_back({"name climbs out", named(0, "..\\ab"), PackageRule::kUnsafeTargetName, name0, 0});
    cases.push_back({"name with a drive", named(0, "C:\\ab"), PackageRule::kUnsafeTargetName, name0, 0});
    cases.push_back({"name of a device", named(2, "aux.txt"), PackageRule::kUnsafeTargetName,
                     at.Field(2, kDvxFieldNameLength), 2});
    cases.push_back({"result past 2147483647", with(at.Field(1, kDvxFieldResultSize), 0x80000000u, 8),
                     PackageRule::kResultTooLarge, at.Field(1, kDvxFieldResultSize), 1});
    cases.push_back({"stored data shorter than its result", with(at.Field(0, kDvxFieldResultSize), 4, 8),
                     PackageRule::kDataDoesNotFitKind, at.Field(0, kDvxFieldDataLength), 0});
    cases.push_back({"zstd entry without data", with(at.Field(1, kDvxFieldDataLength), 0, 8),
                     PackageRule::kDataDoesNotFitKind, at.Field(1, kDvxFieldDataLength), 1});
    cases.push_back({"zstd data past 2147483647", with(at.Field(1, kDvxFieldDataLength), 0x80000000u, 8),
                     PackageRule::kDataDoesNotFitKind, at.Field(1, kDvxFieldDataLength), 1});
    for (std::int64_t field : {kDvxFieldResultSize, kDvxFieldResultHash + 31, kDvxFieldDataOffset, kDvxFieldDataLength}) {
        const std::int64_t reported = field == kDvxFieldResultHash + 31 ? kDvxFieldResultHash : field;
        cases.push_back({"delete with a size, digest, offset or data", with(at.Field(2, field), 1, 1),
                         PackageRule::kDataDoesNotFitKind, at.Field(2, reported), 2});
    }
    cases.push_back({"data over the table", with(at.Field(0, kDvxFieldDataOffset), at.record[2], 8),
                     PackageRule::kDataOutOfPlace, at.Field(0, kDvxFieldDataOffset), 0});
    cases.push_back({"data over the header", with(at.Field(0, kDvxFieldDataOffset), 0, 8),
                     PackageRule::kDataOutOfPlace, at.Field(0, kDvxFieldDataOffset), 0});
    cases.push_back({"data over the previous entry's", with(at.Field(1, kDvxFieldDataOffset), at.data[1] - 1, 8),
                     PackageRule::kDataOutOfPlace, at.Field(1, kDvxFieldDataOffset), 1});
    cases.push_back({"a gap before the data", with(at.Field(1, kDvxFieldDataOffset), at.data[1] + 1, 8),
                     PackageRule::kDataOutOfPlace, at.Field(1, kDvxFieldDataOffset), 1});
    cases.push_back({"offset far past the file", with(at.Field(1, kDvxFieldDataOffset), ~0ull, 8),
                     PackageRule::kDataOutOfPlace, at.Field(1, kDvxFieldDataOffset), 1});
    cases.push_back({"data cut off", cut(at.end - 1), PackageRule::kDataPastEnd, at.Field(1, kDvxFieldDataLength), 1});
    cases.push_back({"two entries for one file", named(2, "A.TXT. "), PackageRule::kDuplicateTarget,
                     at.Field(2, kDvxFieldNameLength), 2});
    cases.push_back({"one byte after the data", example + "x", PackageRule::kTrailingBytes, at.end, -1});
    cases.push_back({"a zero-filled tail", example + std::string(137, '\0'), PackageRule::kTrailingBytes, at.end, -1});
    cases.push_back({"a trailer and one byte more", example + "DVKSIG01" + std::string(130, 'x'),
                     PackageRule::kTrailingBytes, at.end, -1});
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

TEST_F(DvxCheckTest, OpenRefusesEveryDamagedPackageAndEveryCutAndFlip) {
    std::vector<std::string> files;
    for (const Damaged& c : DamagedExamples()) {
        if (c.grownTo == 0) files.push_back(c.bytes);
    }
    const std::string example = ExampleDvxBytes();
    for (std::size_t length = 0; length < example.size(); ++length) files.push_back(example.substr(0, length));
    std::string path = dir_.File("open.dvk");  // the extension decides nothing
    for (const std::string& bytes : files) {
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        PatchPackage package;
        EXPECT_FALSE(package.Open(path)) << "file of " << bytes.size() << " bytes";
        EXPECT_FALSE(package.IsOpen());
    }
    for (std::size_t at = 0; at < example.size(); ++at) {
        std::string bytes = example;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x80);
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        PatchPackage package;
        // A flip in the prefix's title, the title, a name's letter, a digest or
        // the data leaves a sound file; the check and Open agree on each.
        EXPECT_EQ(package.Open(path), Check(bytes).IsSound()) << "flip at " << at;
    }
}

TEST_F(DvxCheckTest, ASoundPackageOpensWithItsTableWhateverItsName) {
    const std::string example = ExampleDvxBytes();
    const ExampleDvxLayout at = ExampleDvxOffsets();
    ASSERT_EQ(static_cast<std::int64_t>(example.size()), at.end);
    const std::string trailer = SignatureTrailerBytes(EcPublicKey{}, EcSignature{});
    for (const std::string& bytes : {example, example + trailer}) {
        for (const char* name : {"p.dvx", "p.dvk", "p"}) {
            std::string path = dir_.File(name);
            ASSERT_TRUE(WriteFileBytes(path, bytes));
            PatchPackage package;
            ASSERT_TRUE(package.Open(path)) << name;
            EXPECT_EQ(package.GetFormat(), PackageFormat::kDvx);
            EXPECT_EQ(package.GetTitle(), "Produit");
            EXPECT_EQ(package.GetRegistryKey(), "Soft\\Prod");
            EXPECT_EQ(package.GetSignatureTrailer().has_value(), bytes.size() > example.size());
            const std::vector<PackageEntry>& e = package.GetEntries();
            ASSERT_EQ(e.size(), 3u);
            EXPECT_EQ(package.GetEntryCount(), 3);
            struct Row { EntryKind kind; bool required; const char* name; std::int32_t size; std::int64_t offset;
                         std::int64_t stored; bool hashed; };
            const Row rows[] = {{EntryKind::kStored, true, "a.txt", 3, at.data[0], 3, true},
                                {EntryKind::kZstd, false, "bin\\b.dll", 100, at.data[1], 9, true},
                                {EntryKind::kDelete, false, "old.txt", 0, 0, 0, false}};
            for (std::size_t i = 0; i < 3; ++i) {
                EXPECT_EQ(e[i].kind, rows[i].kind) << i;
                EXPECT_EQ(e[i].IsRequired(), rows[i].required) << i;
                EXPECT_EQ(e[i].targetName, rows[i].name) << i;
                EXPECT_EQ(e[i].dataSize, rows[i].size) << i;
                EXPECT_EQ(e[i].dataOffset, rows[i].offset) << i;
                EXPECT_EQ(e[i].storedSize, rows[i].stored) << i;
                EXPECT_EQ(e[i].hasResultHash, rows[i].hashed) << i;
                EXPECT_EQ(e[i].resultHash[31], rows[i].hashed ? 0x10 + i : 0) << i;
            }
        }
    }
}

TEST_F(DvxCheckTest, TheDvkReaderRefusesEveryDvxByItsPrefix) {
    // The first format's check, as every older reader runs it: its only
    // record offset is -1.
    const ExampleDvxLayout at = ExampleDvxOffsets();
    std::string path = dir_.File("renamed.dvk");
    ASSERT_TRUE(WriteFileBytes(path, ExampleDvxBytes()));
    PackageStream stream;
    ASSERT_TRUE(stream.Open(path));
    PackageContents contents;
    PackageCheckResult result = CheckPackage(stream, contents);
    EXPECT_EQ(result.rule, PackageRule::kNegativeRecordOffset);
    EXPECT_EQ(result.offset, at.header - 4);
    EXPECT_EQ(contents.title, kDvxPrefixTitle);
    EXPECT_EQ(contents.registryKey, "");
    EXPECT_EQ(contents.entryCount, 1);
}

TEST_F(DvxCheckTest, OnlyTheExactPrefixAndMagicMakeADvx) {
    const std::string example = ExampleDvxBytes();
    const ExampleDvxLayout at = ExampleDvxOffsets();
    const std::string rest = example.substr(static_cast<std::size_t>(at.header - 10));
    struct Row { const char* why; std::string bytes; PackageFormat format; };
    std::string otherMagic = example;
    otherMagic[static_cast<std::size_t>(at.header + 7)] = '\r';
    std::string count2 = example;
    PutNumber(count2, at.header - 8, 2, 4);
    const Row rows[] = {
        {"another prefix title", "Autre titre" + rest, PackageFormat::kDvx},
        {"a prefix title of 1024 bytes", std::string(1024, 'T') + rest, PackageFormat::kDvx},
        {"a prefix title of 1025 bytes", std::string(1025, 'T') + rest, PackageFormat::kDvk},
        {"a key in the prefix", "T" + std::string("\0K", 2) + rest.substr(1), PackageFormat::kDvk},
        {"count 2 in the prefix", count2, PackageFormat::kDvk},
        {"another magic", otherMagic, PackageFormat::kDvk},
        {"the prefix alone", example.substr(0, static_cast<std::size_t>(at.header)), PackageFormat::kDvk},
    };
    for (const Row& row : rows) {
        PackageContents contents;
        PackageCheckResult result = Check(row.bytes, &contents);
        EXPECT_EQ(contents.format, row.format) << row.why;
        // Read as a .dvk, each is refused by its -1 record offset (or cut off).
        if (row.format == PackageFormat::kDvk) {
            EXPECT_FALSE(result.IsSound()) << row.why;
        }
    }
}

TEST(DvxWriterTest, RefusesWhatNoReaderWouldTake) {
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
}

TEST(DvxWriterTest, AnEntryRestartedShorterFailsAndOneRestartedLongerIsStored) {
    for (std::size_t storedLength : {2u, 4u}) {
        std::ostringstream out;
        DvxWriter writer(out);
        ASSERT_TRUE(writer.Begin("T", "K", {{EntryKind::kZstd, 0, "a"}, {EntryKind::kDelete, 0, "b"}}));
        ASSERT_TRUE(writer.WriteData("zzz", 3));
        ASSERT_TRUE(writer.RestartEntry(EntryKind::kStored));
        ASSERT_TRUE(writer.WriteData("abcd", storedLength));
        ASSERT_TRUE(writer.EndEntry(static_cast<std::int64_t>(storedLength), EntryDigest{}));
        EXPECT_EQ(writer.Finish(), storedLength == 4);
        EXPECT_EQ(writer.KindOf(0), EntryKind::kStored);
    }
}

}  // namespace
