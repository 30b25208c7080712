// PackageStream: positioning, buffered reads across its window, failed state.
#include <gtest/gtest.h>

#include "package/PackageStream.h"
#include "package/UniqueStdioFile.h"
#include "tests/support/TestFiles.h"

namespace {

std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

TEST(PackageStreamTest, ReadsAnyRangeOfALargeFileExactly) {
    TempDir dir;
    const std::string bytes = PatternBytes(200000);  // spans several buffer windows
    ASSERT_TRUE(WriteFileBytes(dir.File("big.bin"), bytes));
    PackageStream stream;
    ASSERT_TRUE(stream.Open(dir.File("big.bin")));
    EXPECT_EQ(stream.Size(), 200000);

    struct Range {
        std::int64_t offset;
        std::size_t length;
    };
    for (Range range : {Range{0, 4096}, Range{65530, 20}, Range{131000, 69000}, Range{199999, 1}, Range{3, 0}}) {
        std::string got(range.length, '\0');
        stream.Seek(range.offset);
        ASSERT_EQ(stream.Read(&got[0], range.length), range.length) << range.offset;
        EXPECT_EQ(got, bytes.substr(range.offset, range.length)) << range.offset;
        EXPECT_EQ(stream.Position(), range.offset + static_cast<std::int64_t>(range.length));
    }
    // Backwards, byte by byte.
    for (std::int64_t offset : {150000, 70000, 65535, 1}) {
        stream.Seek(offset);
        EXPECT_EQ(stream.ReadByte(), static_cast<unsigned char>(bytes[offset])) << offset;
    }
    EXPECT_FALSE(stream.Failed());
}

TEST(PackageStreamTest, AShortReadFailsTheStreamUntilTheNextOpen) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("small.bin"), "0123456789"));
    PackageStream stream;
    ASSERT_TRUE(stream.Open(dir.File("small.bin")));
    char buffer[16] = {};
    stream.Seek(6);
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 4u) << "only the bytes in the file are delivered";
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_TRUE(stream.Failed());

    // Failed: positioning does nothing and reads deliver nothing.
    stream.Seek(0);
    EXPECT_EQ(stream.Position(), 10);
    EXPECT_EQ(stream.ReadByte(), PackageStream::kEndOfFile);
    EXPECT_EQ(stream.Read(buffer, 1), 0u);

    ASSERT_TRUE(stream.Close());
    ASSERT_TRUE(stream.Open(dir.File("small.bin")));
    EXPECT_FALSE(stream.Failed());
    EXPECT_EQ(stream.ReadByte(), '0');
}

TEST(PackageStreamTest, OpenFailuresLeaveNoFileAndAFailedStream) {
    TempDir dir;
    PackageStream stream;
    EXPECT_FALSE(stream.Open(dir.File("absent.bin")));
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_TRUE(stream.Failed());
    EXPECT_FALSE(stream.Open(dir.Path())) << "a directory";
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_FALSE(stream.Close());
}

TEST(PackageStreamTest, ASeekOutsideTheFileFailsTheNextRead) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("f.bin"), "abc"));
    for (std::int64_t offset : {-1, 3, 1000}) {
        PackageStream stream;
        ASSERT_TRUE(stream.Open(dir.File("f.bin")));
        stream.Seek(offset);
        EXPECT_EQ(stream.ReadByte(), PackageStream::kEndOfFile) << offset;
        EXPECT_TRUE(stream.Failed()) << offset;
    }
}

// Bytes still buffered that the system refuses at the close (a full disk)
// make the close fail: a writer must not take its file for whole.
TEST(UniqueStdioFileTest, CloseSaysWhetherTheBufferedBytesWereWritten) {
    TempDir dir;
    struct Row {
        std::string path;
        bool written;
    };
    std::vector<Row> rows = {{dir.File("a.bin"), true}};
#ifndef _WIN32
    rows.push_back({"/dev/full", false});  // every write there fails as on a full disk
#endif
    for (const Row& row : rows) {
        UniqueStdioFile file(std::fopen(row.path.c_str(), "wb"));
        ASSERT_NE(file, nullptr) << row.path;
        std::fputs("data", file.get());
        EXPECT_EQ(CloseStdioFile(file), row.written) << row.path;
        EXPECT_EQ(file, nullptr) << row.path << ": closed either way";
    }
}

}  // namespace
