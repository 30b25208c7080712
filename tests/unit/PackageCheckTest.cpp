// CheckPackage: which rule a damaged or unsafe package breaks first, where,
// and that PatchPackage::Open refuses exactly what the check refuses.
#include <gtest/gtest.h>

#include <vector>

#include "package/PackageCheck.h"
#include "package/PatchPackage.h"
#include "tests/support/TestFiles.h"

namespace {

class PackageCheckTest : public ::testing::Test {
protected:
    PackageCheckResult Check(const std::string& bytes, PackageContents* contents = nullptr) {
        std::string path = dir_.File("check.dvk");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        PackageStream stream;
        EXPECT_TRUE(stream.Open(path));
        PackageContents local;
        return CheckPackage(stream, contents != nullptr ? *contents : local);
    }

    bool Opens(const std::string& bytes) {
        std::string path = dir_.File("open.dvk");
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        PatchPackage package;
        return package.Open(path);
    }

    TempDir dir_;
};

// Example layout: title at 0, key at 6, count at 23, slots at 27 and 31;
// record 0 at 35 (size at 36, source at 40, target at 46, data at 52);
// record 1 at 62 (size at 63, source at 67, target at 78, data at 89).
struct Expected {
    const char* why;
    std::string bytes;
    PackageRule rule;
    std::int64_t offset;
    std::int32_t entryIndex;
};

std::vector<Expected> DamagedExamples() {
    const std::string example = ExamplePackageBytes();
    std::vector<Expected> cases;
    auto withInt = [&](std::size_t at, std::int32_t value) {
        std::string bytes = example;
        PutInt32(bytes, at, value);
        return bytes;
    };
    cases.push_back({"empty file", "", PackageRule::kTitleCutOff, 0, -1});
    cases.push_back({"title without NUL", example.substr(0, 5), PackageRule::kTitleCutOff, 0, -1});
    cases.push_back({"key without NUL", example.substr(0, 20), PackageRule::kRegistryKeyCutOff, 6, -1});
    cases.push_back({"count cut off", example.substr(0, 25), PackageRule::kEntryCountCutOff, 23, -1});
    cases.push_back({"second slot cut off", example.substr(0, 33), PackageRule::kTableTooLarge, 23, -1});
    cases.push_back({"huge count", withInt(23, 0x7FFFFFFF), PackageRule::kTableTooLarge, 23, -1});
    {
        // Every slot names record 0: the file is small for its table, as a
        // hostile one would be. One slot more than the memory budget holds.
        const std::int32_t slots = static_cast<std::int32_t>(kTableBudgetBytes / kEntryCharge) + 1;
        std::string bytes = example.substr(0, 23);
        AppendInt32(bytes, slots);
        const std::int32_t record = 27 + 4 * slots;
        for (std::int32_t i = 0; i < slots; ++i) AppendInt32(bytes, record);
        bytes += example.substr(35, 27);
        cases.push_back({"more slots than the memory budget", bytes, PackageRule::kTooManyEntries, 23, -1});
    }
    cases.push_back({"negative offset", withInt(31, -7), PackageRule::kNegativeRecordOffset, 31, 1});
    cases.push_back({"offset at the end", withInt(27, 92), PackageRule::kRecordOutsideFile, 27, 0});
    cases.push_back({"offset far past the end", withInt(31, 0x7FFFFFFF), PackageRule::kRecordOutsideFile, 31, 1});
    cases.push_back({"size cut off", withInt(31, 90), PackageRule::kRecordCutOff, 91, 1});
    cases.push_back({"source name runs to the end", withInt(31, 85), PackageRule::kRecordCutOff, 90, 1});
    cases.push_back({"record cut in its data", example.substr(0, 91), PackageRule::kDataPastEnd, 63, 1});
    cases.push_back({"record cut in its target name", example.substr(0, 80), PackageRule::kRecordCutOff, 78, 1});
    // Entry 0's data starts at 52: 41 bytes would end one past the file.
    cases.push_back({"data size one too many", withInt(36, 41), PackageRule::kDataPastEnd, 36, 0});
    {
        std::string bytes = example;
        bytes.replace(46, 5, "..\\ab");  // same length: only the name changes
        cases.push_back({"target climbs out", bytes, PackageRule::kUnsafeTargetName, 46, 0});
        bytes = example;
        bytes.replace(78, 10, "C:\\readme.");
        cases.push_back({"target with a drive", bytes, PackageRule::kUnsafeTargetName, 78, 1});
    }
    return cases;
}

TEST_F(PackageCheckTest, NamesTheFirstRuleBrokenWithItsOffsetAndEntry) {
    for (const Expected& c : DamagedExamples()) {
        PackageCheckResult result = Check(c.bytes);
        EXPECT_FALSE(result.IsSound()) << c.why;
        EXPECT_EQ(result.rule, c.rule) << c.why << ": " << DescribePackageCheck(result);
        EXPECT_EQ(result.offset, c.offset) << c.why;
        EXPECT_EQ(result.entryIndex, c.entryIndex) << c.why;
    }
}

TEST_F(PackageCheckTest, TheFirstBrokenEntryInTableOrderIsReported) {
    // Both records are bad; entry 0 (the later record in the file) is named.
    std::string bytes = ExamplePackageBytes();
    PutInt32(bytes, 27, 62);  // slot 0 names record 1 ...
    PutInt32(bytes, 31, 35);  // ... and slot 1 names record 0
    bytes.replace(46, 1, "\\");   // record 0 now targets \.dll
    bytes.replace(78, 3, "..\\");  // record 1 now targets ..\dme.txt
    PackageCheckResult result = Check(bytes);
    EXPECT_EQ(result.rule, PackageRule::kUnsafeTargetName) << DescribePackageCheck(result);
    EXPECT_EQ(result.entryIndex, 0);
    EXPECT_EQ(result.offset, 78);
}

TEST_F(PackageCheckTest, ASoundPackageGivesItsContents) {
    PackageContents contents;
    PackageCheckResult result = Check(ExamplePackageBytes(), &contents);
    ASSERT_TRUE(result.IsSound()) << DescribePackageCheck(result);
    EXPECT_EQ(contents.title, "Fix 2");
    EXPECT_EQ(contents.registryKey, "Software\\Example");
    EXPECT_EQ(contents.entryCount, 2);
    ASSERT_EQ(contents.entries.size(), 2u);
    EXPECT_EQ(contents.entries[1].recordOffset, 62);
    EXPECT_EQ(contents.entries[1].targetName, "readme.txt");
    EXPECT_EQ(contents.entries[0].dataSize, 10);
}

TEST_F(PackageCheckTest, OpenRefusesExactlyWhatTheCheckRefuses) {
    std::vector<std::string> files;
    for (const Expected& c : DamagedExamples()) files.push_back(c.bytes);
    const std::string example = ExamplePackageBytes();
    for (std::size_t length = 0; length <= example.size(); ++length) files.push_back(example.substr(0, length));
    for (std::size_t at = 0; at < example.size(); ++at) {
        std::string bytes = example;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x80);  // every single high-bit flip
        files.push_back(bytes);
    }
    int sound = 0;
    for (const std::string& bytes : files) {
        bool checkSound = Check(bytes).IsSound();
        EXPECT_EQ(Opens(bytes), checkSound) << "file of " << bytes.size() << " bytes";
        sound += checkSound ? 1 : 0;
    }
    // Both outcomes occur, so the comparison above means something.
    EXPECT_GT(sound, 1);
    EXPECT_LT(sound, static_cast<int>(files.size()));
}

TEST_F(PackageCheckTest, DescriptionNamesEntryRuleAndByte) {
    PackageCheckResult result;
    result.rule = PackageRule::kNegativeRecordOffset;
    result.offset = 31;
    result.entryIndex = 1;
    EXPECT_EQ(DescribePackageCheck(result), "entry 1: record offset is negative (byte 31)");
    result.entryIndex = -1;
    result.rule = PackageRule::kTitleCutOff;
    result.offset = 0;
    EXPECT_EQ(DescribePackageCheck(result), "title is cut off by the end of the file (byte 0)");
}

}  // namespace
