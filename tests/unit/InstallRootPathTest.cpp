// Which "Path" values may name an install root.
#include <gtest/gtest.h>

#include "engine/InstallRootPath.h"

namespace {

TEST(InstallRootPathTest, OnlyAbsoluteLocalOrNetworkFoldersAreUsable) {
    for (const char* path : {"C:\\Program Files\\Dravlek", "d:\\", "C:\\Prog\\", "\\\\server\\share",
                             "\\\\server\\share\\Dravlek", "C:\\\xC9" "diteur"}) {
        EXPECT_TRUE(IsUsableInstallRoot(path)) << path;
    }
    for (const char* path : {"", "Prog", "Prog\\Dravlek", "\\", "\\Prog", "C:", "C:Prog", "C:/Prog", "1:\\Prog",
                             "\\\\", "\\\\server", "\\\\server\\", "\\\\server\\\\share", "\\\\\\share",
                             "\\\\.\\C:\\Prog", "\\\\?\\C:\\Prog", "%SystemDrive%\\Prog", "..\\Prog"}) {
        EXPECT_FALSE(IsUsableInstallRoot(path)) << path;
    }
}

}  // namespace
