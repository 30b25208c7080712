// The test that binds a publisher's key to its folder: two spellings of one
// folder, a folder inside or above another, and folders that only look alike.
#include <gtest/gtest.h>

#include "engine/FolderOverlap.h"

namespace {

TEST(FolderOverlapTest, FoldersCompareAsWindowsComparesThem) {
    const struct {
        const char* a;
        const char* b;
        bool overlap;
    } cases[] = {
        {"C:\\Program Files\\Maker", "C:\\Program Files\\Maker", true},
        {"c:\\program files\\maker", "C:\\PROGRAM FILES\\Maker", true}, {"C:\\Prog\\", "C:\\Prog", true},
        {"C:/Prog//Maker", "C:\\Prog\\Maker", true}, {"\\\\?\\C:\\Prog\\Maker", "C:\\Prog\\Maker", true},
        {"\\??\\C:\\Prog", "\\\\.\\C:\\prog", true},
        {"\\\\?\\UNC\\server\\share\\App", "\\\\SERVER\\share\\app", true},
        {"C:\\Prog\\Maker. ", "C:\\Prog\\Maker", true}, {"C:\\Prog\\x\\..\\Maker\\.", "C:\\Prog\\Maker", true},
        {"C:\\..\\..\\Prog", "C:\\Prog", true},
        {"C:\\\xC3\xA9" "diteur\\c\xC5\x93ur", "C:\\\xC3\x89" "DITEUR\\C\xC5\x92UR", true},
        {"C:\\Prog\\Maker\\bin", "C:\\Prog\\Maker", true}, {"C:\\Prog", "C:\\Prog\\Maker", true},
        {"C:\\", "C:\\Prog\\Maker", true}, {"", "C:\\Prog", true}, {"C:\\Prog\\Maker2", "C:\\Prog\\Maker", false},
        {"C:\\Prog\\Make", "C:\\Prog\\Maker", false}, {"C:\\Other", "C:\\Prog", false},
        {"D:\\Prog", "C:\\Prog", false}, {"\\\\server\\share", "C:\\", false},
        {"\\\\server\\a", "\\\\server\\b", false}, {"\\\\server\\share\\..\\other", "\\\\server\\share", true},
        {"C:\\\xC3\xB7", "C:\\\xC3\x97", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FoldersOverlap(c.a, c.b), c.overlap) << c.a << " | " << c.b;
        EXPECT_EQ(FoldersOverlap(c.b, c.a), c.overlap) << c.b << " | " << c.a;
    }
}

}  // namespace
