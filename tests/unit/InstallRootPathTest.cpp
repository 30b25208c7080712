// Which "Path" values may name an install root.
#include <gtest/gtest.h>

#include "engine/InstallRootPath.h"

namespace {

TEST(InstallRootPathTest, OnlyAbsoluteLocalOrNetworkFoldersAreUsable) {
    const struct {
        const char* path;
        bool usable;
    } cases[] = {
        {"C:\\Program Files\\Dravlek", true},
        {"d:\\", true},
        {"C:\\Prog\\", true},
        {"\\\\server\\share", true},
        {"\\\\server\\share\\Dravlek", true},
        {"C:\\\xC9" "diteur", true},
        {"", false},
        {"Prog", false},
        {"Prog\\Dravlek", false},
        {"\\", false},
        {"\\Prog", false},
        {"C:", false},
        {"C:Prog", false},
        {"C:/Prog", false},
        {"1:\\Prog", false},
        {"\\\\", false},
        {"\\\\server", false},
        {"\\\\server\\", false},
        {"\\\\server\\\\share", false},
        {"\\\\\\share", false},
        {"\\\\.\\C:\\Prog", false},
        {"\\\\?\\C:\\Prog", false},
        {"%SystemDrive%\\Prog", false},
        {"..\\Prog", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsUsableInstallRoot(c.path), c.usable) << c.path;
}

}  // namespace
