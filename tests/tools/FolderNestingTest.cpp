// Which folders dvk extract keeps apart, decided on their text: Linux paths,
// and Windows paths as dvk.exe gives them (drive letters, '\', any case, a
// share), which Wine cannot vary as a Windows machine does.
#include <gtest/gtest.h>

#include "tools/dvk/FolderNesting.h"

namespace {

TEST(FolderNestingTest, FoldersAboveInsideBesideAndTheSame) {
    struct Case {
        const char* a;
        const char* b;
        bool foldCase;
        FolderNesting nesting;
    };
    for (Case c : {Case{"/srv/root", "/srv/root/", false, FolderNesting::kSame},
                   Case{"/srv/root", "/srv/root/sub", false, FolderNesting::kAbove},
                   Case{"/srv/root/sub/deeper", "/srv/root", false, FolderNesting::kInside},
                   Case{"/", "/srv", false, FolderNesting::kAbove},
                   Case{"/srv/root", "/srv/rootsub", false, FolderNesting::kApart},
                   Case{"/srv/Root", "/srv/root", false, FolderNesting::kApart},
                   Case{"C:\\Produit", "c:/produit/bin", true, FolderNesting::kAbove},
                   Case{"C:\\\xC9t\xE9\\", "c:\\\xE9T\xC9", true, FolderNesting::kSame},
                   Case{"C:\\", "C:\\Produit", true, FolderNesting::kAbove},
                   Case{"D:\\Produit", "C:\\Produit", true, FolderNesting::kApart},
                   Case{"\\\\serveur\\partage\\x", "\\\\serveur\\partage", true, FolderNesting::kInside}}) {
        const std::string a = FolderText(c.a, c.foldCase);
        const std::string b = FolderText(c.b, c.foldCase);
        EXPECT_EQ(CompareFolders(a, b), c.nesting) << c.a << " / " << c.b;
    }
}

TEST(FolderNestingTest, EveryFolderAboveComesFirst) {
    using List = std::vector<std::string>;
    EXPECT_EQ(FolderAndAncestors(FolderText("/srv/root/sub", false)), (List{"/", "/srv", "/srv/root", "/srv/root/sub"}));
    EXPECT_EQ(FolderAndAncestors(FolderText("C:\\Produit\\Bin\\", true)), (List{"c:/", "c:/produit", "c:/produit/bin"}));
    EXPECT_EQ(FolderAndAncestors(FolderText("C:\\", true)), (List{"c:/"}));
    EXPECT_FALSE(IsAbsoluteFolderText(FolderText("try/", false))) << "a folder as typed, relative";
    EXPECT_TRUE(IsAbsoluteFolderText(FolderText("C:\\try", true)));
}

}  // namespace
