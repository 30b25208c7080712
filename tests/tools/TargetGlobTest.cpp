// --required patterns against target names.
#include <gtest/gtest.h>

#include "tools/dvk/TargetGlob.h"

namespace {

TEST(TargetGlobTest, MatchesWithinAndAcrossFolders) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    for (Case c : {Case{"*.dll", "a.dll", true},
                   Case{"*.dll", "bin\\a.dll", false},
                   Case{"bin/*.dll", "bin\\a.dll", true},
                   Case{"bin\\*.dll", "bin\\sub\\a.dll", false},
                   Case{"**\\*.dll", "bin\\sub\\a.dll", true},
                   Case{"**/*.dll", "a.dll", true},
                   Case{"**", "any\\thing", true},
                   Case{"bin\\**", "bin\\x\\y.txt", true},
                   Case{"bin\\**", "other\\x.txt", false},
                   Case{"a?c.txt", "abc.txt", true},
                   Case{"a?c.txt", "a\\c.txt", false},
                   Case{"a?c.txt", "ac.txt", false},
                   Case{"README", "readme", true},
                   Case{"\xC9t\xC9.txt", "\xE9t\xE9.txt", true},  // accented letters fold too
                   Case{"app.exe", "app.exe.bak", false},
                   Case{"*", "", true},
                   Case{"x*", "", false}}) {
        EXPECT_EQ(TargetGlob(c.pattern).Matches(c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}

TEST(TargetGlobTest, FoldMakesWindowsEqualNamesEqual) {
    EXPECT_EQ(TargetGlob::Fold("Bin/App.EXE"), TargetGlob::Fold("bin\\app.exe"));
    EXPECT_EQ(TargetGlob::Fold("\xC9T\xC9"), TargetGlob::Fold("\xE9t\xE9"));
    EXPECT_NE(TargetGlob::Fold("a.txt"), TargetGlob::Fold("b.txt"));
    EXPECT_NE(TargetGlob::Fold("\xD7"), TargetGlob::Fold("\xF7"));  // multiplication and division signs
}

}  // namespace
