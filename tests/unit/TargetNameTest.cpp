// Which target names may be written below the install root.
#include <gtest/gtest.h>

#include "package/TargetName.h"
#include "package/WindowsFileKey.h"

namespace {

TEST(TargetNameTest, AcceptsOrdinaryRelativePaths) {
    for (const char* name : {"a.dll", "readme.txt", "bin\\tool.exe", "bin/tool.exe", "a\\b\\c\\d.txt",
                             ".\\here.txt", "..name", "name..", "...", "CONFIG.SYS", "console.log", "COM10",
                             "LPT0", "COM", "nul1", "caf\xE9.txt", "sub\\\\double.txt", "with space.txt",
                             "COM\xB4", "LPT\xBC.txt", "COM\xB9" "0", "COM\xB2x.log"}) {
        EXPECT_TRUE(IsSafeTargetName(name)) << name;
    }
}

TEST(TargetNameTest, RefusesNamesThatLeaveTheRootOrNameADevice) {
    for (const char* name :
         {"", "\\root.txt", "/root.txt", "C:\\x.dll", "c:x.dll", "x.txt:ads", "..", "..\\x", "a\\..\\..\\x",
          "a/../x", "a\\..", "CON", "con", "Con.txt", "sub\\nul.dat", "aux", "PRN.log", "COM1", "com9.bin",
          "LPT1", "lpt9.txt", "dir/NUL", "CON .txt", "\\\\server\\share\\x", "COM\xB9", "LPT\xB2", "LPT\xB3.log",
          "com\xB3", "lpt\xB9.TXT", "sub\\Com\xB2 . .dat", "LPT1. ", "COM\xB9.", "nul..", "aux  "}) {
        EXPECT_FALSE(IsSafeTargetName(name)) << name;
    }
}

// One key for every spelling Windows opens as one file, and only for those.
TEST(TargetNameTest, WindowsFileKeyIsTheSameExactlyForOneFile) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"A.txt.", "a.txt", true},
        {".\\a.txt ", "a.txt", true},
        {"sub\\\\a", "sub/a", true},
        {"sub. \\a", "sub\\a", true},
        {"\xC9T\xC9\x8A", "\xE9t\xE9\x9A", true},
        {"C:\\Root\\a.~dvk1.new. ", "c:\\root\\A.~DVK1.NEW", true},
        {"a.txt", "b.txt", false},
        {"\xD7", "\xF7", false},
        {"a b", "ab", false},
        {"\\a", "a", false},
        {"\\\\server\\x", "\\server\\x", false},
    };
    for (const auto& c : cases) EXPECT_EQ(WindowsFileKey(c.a) == WindowsFileKey(c.b), c.same) << c.a << " / " << c.b;
}

}  // namespace
