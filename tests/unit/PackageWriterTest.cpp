// PackageWriter: byte-exact output, streamed data and refused misuse.
#include <gtest/gtest.h>

#include <sstream>

#include "package/PackageWriter.h"
#include "package/PatchPackage.h"
#include "tests/support/TestFiles.h"

namespace {

TEST(PackageWriterTest, WritesTheExamplePackageByteForByte) {
    std::string bytes = BuildPackageBytes("Fix 2", "Software\\Example",
                                          {{0x02, "a.dll", "a.dll", "0123456789"},
                                           {0x00, "readme.txt", "readme.txt", "abc"}});
    ASSERT_EQ(bytes.size(), 92u);
    const unsigned char expected[92] = {
        0x46, 0x69, 0x78, 0x20, 0x32, 0x00,                                                        // Fix 2
        0x53, 0x6F, 0x66, 0x74, 0x77, 0x61, 0x72, 0x65, 0x5C, 0x45, 0x78, 0x61, 0x6D, 0x70, 0x6C,  // Software\Exampl
        0x65, 0x00,                                                                                // e
        0x02, 0x00, 0x00, 0x00, 0x23, 0x00, 0x00, 0x00, 0x3E, 0x00, 0x00, 0x00,                    // 2, 35, 62
        0x02, 0x0A, 0x00, 0x00, 0x00, 0x61, 0x2E, 0x64, 0x6C, 0x6C, 0x00, 0x61, 0x2E, 0x64, 0x6C,  // a.dll
        0x6C, 0x00, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39,                    // 0..9
        0x00, 0x03, 0x00, 0x00, 0x00, 0x72, 0x65, 0x61, 0x64, 0x6D, 0x65, 0x2E, 0x74, 0x78, 0x74,  // readme.txt
        0x00, 0x72, 0x65, 0x61, 0x64, 0x6D, 0x65, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x61, 0x62, 0x63,  // abc
    };
    EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(expected), 92));
    EXPECT_EQ(bytes, ExamplePackageBytes());
}

TEST(PackageWriterTest, StreamsDataInPiecesAcrossEntriesAndEmptyEntries) {
    std::ostringstream out;
    PackageWriter writer(out);
    ASSERT_TRUE(writer.Begin("T", "K",
                             {{0, 0, "e1", "empty1"}, {2, 5, "a", "a"}, {0, 0, "e2", "empty2"}, {0, 3, "b", "b"},
                              {0, -4, "n", "negative"}}));
    EXPECT_EQ(writer.RecordOffsets(), (std::vector<std::int32_t>{28, 43, 57, 72, 84}));
    ASSERT_TRUE(writer.WriteData("ab", 2));
    ASSERT_TRUE(writer.WriteData("cdexy", 5));  // ends a, crosses the empty one, starts b
    ASSERT_TRUE(writer.WriteData("z", 1));
    ASSERT_TRUE(writer.Finish());

    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("p.dvk"), out.str()));
    PatchPackage package;
    ASSERT_TRUE(package.Open(dir.File("p.dvk")));
    ASSERT_EQ(package.GetEntries().size(), 5u);
    EXPECT_EQ(package.GetEntries()[2].targetName, "empty2");
    EXPECT_EQ(package.GetEntries()[4].dataSize, -4);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(package.GetEntries()[i].recordOffset, writer.RecordOffsets()[i]);
    std::string bytes = out.str();
    EXPECT_EQ(bytes.substr(43 + 1 + 4 + 2 + 2, 5), "abcde");
    EXPECT_EQ(bytes.substr(72 + 1 + 4 + 2 + 2, 3), "xyz");
}

TEST(PackageWriterTest, RefusesTooMuchOrTooLittleData) {
    {
        std::ostringstream out;
        PackageWriter writer(out);
        ASSERT_TRUE(writer.Begin("T", "K", {{0, 2, "a", "a"}}));
        EXPECT_FALSE(writer.WriteData("abc", 3)) << "one byte more than declared";
    }
    {
        std::ostringstream out;
        PackageWriter writer(out);
        ASSERT_TRUE(writer.Begin("T", "K", {{0, 2, "a", "a"}, {0, 1, "b", "b"}}));
        ASSERT_TRUE(writer.WriteData("ab", 2));
        EXPECT_FALSE(writer.Finish()) << "b never got its byte";
    }
    {
        // Header 16 bytes, record a's header 9: a's data may reach exactly to
        // the last offset a record can start at, and not one byte further.
        std::ostringstream out;
        PackageWriter writer(out);
        ASSERT_TRUE(writer.Begin("T", "K", {{0, 0x7FFFFFFF - 25, "a", "a"}, {0, 1, "b", "b"}}));
        EXPECT_EQ(writer.RecordOffsets(), (std::vector<std::int32_t>{16, 0x7FFFFFFF}));
        std::ostringstream out2;
        PackageWriter writer2(out2);
        EXPECT_FALSE(writer2.Begin("T", "K", {{0, 0x7FFFFFFF - 24, "a", "a"}, {0, 1, "b", "b"}}))
            << "b would start past 2 GiB";
    }
}

}  // namespace
