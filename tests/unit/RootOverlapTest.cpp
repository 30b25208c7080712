// Which install roots share files with an update that could not be undone.
#include <gtest/gtest.h>

#include "engine/RootOverlap.h"

namespace {

struct OverlapCase {
    const char* a;
    const char* b;
    bool overlap;
};

const OverlapCase kCases[] = {
    {"C:\\PROG", "C:\\PROG", true},
    {"C:\\PROG", "C:\\PROG\\SUB", true},
    {"C:\\PROG\\SUB", "C:\\PROG", true},
    {"C:\\PROG\\", "C:\\PROG", true},
    {"C:\\", "C:\\PROG", true},
    {"C:\\PROG", "C:\\PROGRAM", false},
    {"C:\\PROG", "D:\\PROG", false},
    {"\\\\SERVER\\SHARE\\A", "\\\\SERVER\\SHARE\\A\\B", true},
    {"/opt/a", "/opt/a/b", true},
    {"/opt/a/b", "/opt/ab", false},
    {"/", "/opt", true},
};

TEST(RootOverlapTest, TheSameFolderOneInsideTheOtherOrNeither) {
    for (const OverlapCase& c : kCases) {
        EXPECT_EQ(RootsOverlap(c.a, c.b), c.overlap) << c.a << " / " << c.b;
        EXPECT_EQ(RootsOverlap(c.b, c.a), c.overlap) << c.b << " / " << c.a;
    }
}

}  // namespace
