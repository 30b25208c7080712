// PatchPackage: reading the header and entry table, the state table and the
// refusal of damaged or unsafe packages.
#include <gtest/gtest.h>

#include "package/PatchPackage.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/TestFiles.h"

namespace {

class PackageReaderTest : public ::testing::Test {
protected:
    // Writes bytes to a file of the scratch directory and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) {
        std::string path = dir_.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }

    TempDir dir_;
};

void ExpectEntry(const PackageEntry& entry, std::int32_t offset, std::uint8_t flags, std::int32_t size,
                 const std::string& source, const std::string& target) {
    EXPECT_EQ(entry.recordOffset, offset);
    EXPECT_EQ(entry.flags, flags);
    EXPECT_EQ(entry.dataSize, size);
    EXPECT_EQ(entry.sourceName, source);
    EXPECT_EQ(entry.targetName, target);
}

// Header with the given count and slots; records are appended by the caller.
std::string Header(const std::string& title, const std::string& key, std::int32_t count,
                   const std::vector<std::int32_t>& slots) {
    std::string bytes;
    AppendString(bytes, title);
    AppendString(bytes, key);
    AppendInt32(bytes, count);
    for (std::int32_t slot : slots) AppendInt32(bytes, slot);
    return bytes;
}

TEST_F(PackageReaderTest, ReadsTheExamplePackage) {
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("example.dvk", ExamplePackageBytes())));
    EXPECT_EQ(package.GetTitle(), "Fix 2");
    EXPECT_EQ(package.GetRegistryKey(), "Software\\Example");
    EXPECT_EQ(package.GetEntryCount(), 2);
    ASSERT_EQ(package.GetEntries().size(), 2u);
    ExpectEntry(package.GetEntries()[0], 35, 0x02, 10, "a.dll", "a.dll");
    ExpectEntry(package.GetEntries()[1], 62, 0x00, 3, "readme.txt", "readme.txt");
    EXPECT_TRUE(package.GetEntries()[0].IsRequired());
    EXPECT_FALSE(package.GetEntries()[1].IsRequired());
}

// Open leaves the stream just after the last target name, however many
// bytes follow it and whether or not they end in a signature trailer.
TEST_F(PackageReaderTest, OpenLeavesTheStreamAfterTheLastTargetName) {
    const std::string tails[] = {"", std::string("\0", 1) + std::string(200, 'J'), SignedExampleBytes('A').substr(92),
                                 SignedExampleBytes('B').substr(92) + "more"};
    for (const std::string& tail : tails) {
        const std::string bytes = ExamplePackageBytes() + tail;
        PatchPackage package;
        ASSERT_TRUE(package.Open(Write("tail.dvk", bytes))) << tail.size();
        EXPECT_EQ(package.Stream().Position(), 89) << tail.size();
        EXPECT_FALSE(package.Stream().Failed()) << tail.size();
        // The next string is the first entry's data, up to the first NUL after it.
        EXPECT_EQ(package.ReadString(), bytes.substr(89, bytes.find('\0', 89) - 89)) << tail.size();
    }
}

TEST_F(PackageReaderTest, ZeroAndNegativeCountsGiveNoEntriesAndKeepTheCount) {
    for (std::int32_t count : {0, -1, -2147483647 - 1}) {
        PatchPackage package;
        // A negative count reads no table: the bytes after it are never looked at.
        std::string bytes = Header("T", "K", count, {}) + std::string("\xFF\xFF\xFF\xFF", 4);
        ASSERT_TRUE(package.Open(Write("count.dvk", bytes))) << count;
        EXPECT_EQ(package.GetEntryCount(), count);
        EXPECT_TRUE(package.GetEntries().empty());
        EXPECT_TRUE(package.Close());
    }
}

TEST_F(PackageReaderTest, TableOrderWinsOverFileOrderGapsAndDuplicatedSlots) {
    // Slots: third record, first record, third record again. Gaps of junk
    // between the records and after the last one.
    std::string bytes = Header("Order", "Software\\Maker", 3, {0, 0, 0});
    std::int32_t first = static_cast<std::int32_t>(bytes.size()) + 5;
    bytes += "JUNK!";
    AppendRecord(bytes, 0x00, 2, "s1", "one.txt", "11");
    bytes += std::string(17, '\xAA');
    std::int32_t second = static_cast<std::int32_t>(bytes.size());
    AppendRecord(bytes, 0xFD, 0, "s2", "dir\\two.bin", "");
    bytes += "trailing bytes that are never read";
    std::size_t table = 6 + 15 + 4;  // "Order\0", "Software\Maker\0", count
    PutInt32(bytes, table, second);
    PutInt32(bytes, table + 4, first);
    PutInt32(bytes, table + 8, second);

    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("order.dvk", bytes)));
    ASSERT_EQ(package.GetEntries().size(), 3u);
    ExpectEntry(package.GetEntries()[0], second, 0xFD, 0, "s2", "dir\\two.bin");
    ExpectEntry(package.GetEntries()[1], first, 0x00, 2, "s1", "one.txt");
    ExpectEntry(package.GetEntries()[2], second, 0xFD, 0, "s2", "dir\\two.bin");
    EXPECT_FALSE(package.GetEntries()[0].IsRequired());  // 0xFD: every bit but the required one
}

TEST_F(PackageReaderTest, KeepsEveryByteOfNamesAndAnEmptyTitle) {
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
    std::string bytes = Header("", "Software\\\xC9" "diteur", 1, {0});
    PutInt32(bytes, bytes.size() - 4, static_cast<std::int32_t>(bytes.size()));
    AppendRecord(bytes, 0x00, 1, high, "caf\xE9\\" + high, "x");

    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("names.dvk", bytes)));
    EXPECT_EQ(package.GetTitle(), "");
    EXPECT_EQ(package.GetRegistryKey(), "Software\\\xC9" "diteur");
    EXPECT_EQ(package.GetEntries()[0].sourceName, high);
    EXPECT_EQ(package.GetEntries()[0].targetName, "caf\xE9\\" + high);
}

TEST_F(PackageReaderTest, StateTableAcrossOpenAndClose) {
    std::string example = Write("example.dvk", ExamplePackageBytes());
    std::string other = Write("other.dvk", Header("Other", "Software\\Other", 0, {}));
    std::string missing = dir_.File("missing.dvk");

    PatchPackage package;
    EXPECT_FALSE(package.Close()) << "Close on a new object";
    EXPECT_FALSE(package.Open(missing));
    EXPECT_EQ(package.GetTitle(), "") << "no package was ever opened";
    EXPECT_FALSE(package.Close()) << "a failed Open leaves nothing open";

    // A failed Open does not spoil the next one.
    ASSERT_TRUE(package.Open(example));
    EXPECT_EQ(package.GetTitle(), "Fix 2");

    // Open while open: refused, the open package untouched, the stream failed.
    EXPECT_FALSE(package.Open(other));
    EXPECT_TRUE(package.IsOpen());
    EXPECT_TRUE(package.Stream().Failed());
    EXPECT_EQ(package.GetTitle(), "Fix 2");
    EXPECT_EQ(package.GetEntryCount(), 2);
    EXPECT_EQ(package.GetEntries().size(), 2u);

    EXPECT_TRUE(package.Close());
    EXPECT_FALSE(package.Close()) << "second Close";
    EXPECT_EQ(package.GetTitle(), "Fix 2") << "the title outlives Close";
    EXPECT_EQ(package.GetRegistryKey(), "Software\\Example");
    EXPECT_EQ(package.GetEntryCount(), 0);
    EXPECT_TRUE(package.GetEntries().empty());

    // A missing file after a successful round keeps the old title.
    EXPECT_FALSE(package.Open(missing));
    EXPECT_EQ(package.GetTitle(), "Fix 2");

    ASSERT_TRUE(package.Open(other));
    EXPECT_EQ(package.GetTitle(), "Other");
    EXPECT_FALSE(package.Stream().Failed());
}

TEST_F(PackageReaderTest, ADirectoryIsNotAPackage) {
    PatchPackage package;
    EXPECT_FALSE(package.Open(dir_.Path()));
    EXPECT_FALSE(package.IsOpen());
}

TEST_F(PackageReaderTest, ReadStringAndReadInt32FollowTheByteRules) {
    // After a valid empty header the file holds "AB", "C", then only 34 12.
    std::string bytes = Header("T", "K", 0, {}) + std::string("AB\0C\0\x34\x12", 7);
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("prims.dvk", bytes)));
    EXPECT_EQ(package.ReadString(), "AB");
    EXPECT_EQ(package.ReadString(), "C");
    EXPECT_FALSE(package.Stream().Failed());
    EXPECT_EQ(package.ReadInt32(), 0x1234) << "the bytes still there are the low-order bytes";
    EXPECT_TRUE(package.Stream().Failed());
    EXPECT_EQ(package.ReadInt32(), 0);
    EXPECT_EQ(package.ReadString(), "");
}

TEST_F(PackageReaderTest, ReadInt32IsLittleEndianAndSigned) {
    std::string tail;
    AppendInt32(tail, 10);
    AppendInt32(tail, -1);
    AppendInt32(tail, 0x7FFFFFFF);
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("ints.dvk", Header("T", "K", 0, {}) + tail)));
    EXPECT_EQ(package.ReadInt32(), 10);
    EXPECT_EQ(package.ReadInt32(), -1);
    EXPECT_EQ(package.ReadInt32(), 0x7FFFFFFF);
    EXPECT_FALSE(package.Stream().Failed());
}

// A damaged or unsafe package must be refused exactly like a missing file:
// nothing left open, and the state of the last good package kept.
void ExpectRefusedKeepingState(PatchPackage& package, const std::string& path, const std::string& why) {
    EXPECT_FALSE(package.Open(path)) << why;
    EXPECT_FALSE(package.IsOpen()) << why;
    EXPECT_EQ(package.GetTitle(), "Fix 2") << why;
    EXPECT_EQ(package.GetRegistryKey(), "Software\\Example") << why;
    EXPECT_EQ(package.GetEntryCount(), 0) << why;
    EXPECT_TRUE(package.GetEntries().empty()) << why;
}

TEST_F(PackageReaderTest, EveryTruncationOfAPackageIsRefused) {
    std::string example = ExamplePackageBytes();
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("good.dvk", example)));
    ASSERT_TRUE(package.Close());
    for (std::size_t length = 0; length < example.size(); ++length) {
        std::string path = Write("cut.dvk", example.substr(0, length));
        ExpectRefusedKeepingState(package, path, "cut to " + std::to_string(length) + " bytes");
    }
    // And a refusal leaves the reader able to open the next package.
    EXPECT_TRUE(package.Open(Write("good2.dvk", example)));
}

TEST_F(PackageReaderTest, StructuralDamageIsRefused) {
    const std::string example = ExamplePackageBytes();
    struct Case {
        const char* why;
        std::string bytes;
    };
    std::vector<Case> cases;
    auto withSlot = [&](std::int32_t value) {
        std::string bytes = example;
        PutInt32(bytes, 27, value);
        return bytes;
    };
    cases.push_back({"negative record offset", withSlot(-1)});
    cases.push_back({"record offset at the end of the file", withSlot(92)});
    cases.push_back({"record offset far past the end", withSlot(0x7FFFFFFF)});
    cases.push_back({"record whose names run to the end", withSlot(89)});
    {
        std::string bytes = example;
        PutInt32(bytes, 23, 1000);  // the table would need 4000 bytes
        cases.push_back({"count larger than the file can hold", bytes});
        PutInt32(bytes, 23, 0x7FFFFFFF);
        cases.push_back({"huge count", bytes});
    }
    {
        std::string bytes = example;
        PutInt32(bytes, 63, 4);  // readme.txt claims one byte more than the file has
        cases.push_back({"data past the end of the file", bytes});
        PutInt32(bytes, 63, 0x7FFFFFFF);
        cases.push_back({"data size near 2 GiB", bytes});
    }
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("good.dvk", example)));
    ASSERT_TRUE(package.Close());
    for (const Case& c : cases) ExpectRefusedKeepingState(package, Write("bad.dvk", c.bytes), c.why);
}

TEST_F(PackageReaderTest, NegativeDataSizeNeedsNoDataAndIsKept) {
    std::string bytes = Header("T", "K", 1, {0});
    PutInt32(bytes, bytes.size() - 4, static_cast<std::int32_t>(bytes.size()));
    AppendRecord(bytes, 0x00, -5, "s", "t.txt", "");
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("neg.dvk", bytes)));
    EXPECT_EQ(package.GetEntries()[0].dataSize, -5);
}

TEST_F(PackageReaderTest, UnsafeTargetNamesAreRefused) {
    PatchPackage package;
    ASSERT_TRUE(package.Open(Write("good.dvk", ExamplePackageBytes())));
    ASSERT_TRUE(package.Close());
    for (const char* target : {"", "..\\evil.dll", "C:\\Windows\\x.dll", "\\abs.txt", "a/../../b", "con",
                               "sub\\LPT1.txt", "file.txt:stream"}) {
        std::string bytes = Header("T", "K", 2, {0, 0});
        std::int32_t good = static_cast<std::int32_t>(bytes.size());
        AppendRecord(bytes, 0, 1, "s", "fine.txt", "x");
        std::int32_t bad = static_cast<std::int32_t>(bytes.size());
        AppendRecord(bytes, 0, 1, "s", target, "y");
        PutInt32(bytes, 8, good);
        PutInt32(bytes, 12, bad);
        ExpectRefusedKeepingState(package, Write("unsafe.dvk", bytes), std::string("target ") + target);
    }
}

}  // namespace
