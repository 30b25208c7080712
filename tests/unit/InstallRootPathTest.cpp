// Which "Path" values may name an install root.
#include <gtest/gtest.h>

#include <vector>

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

TEST(InstallRootPathTest, TheFirstPlaceWithAUsablePathIsChosen) {
    using Path = std::optional<std::string>;
    const struct {
        const char* why;
        std::vector<Path> places;  // nullopt: no key or no value there
        std::optional<std::size_t> chosen;
    } cases[] = {{"first usable", {"C:\\A", "D:\\B"}, 0}, {"first missing", {std::nullopt, "D:\\B"}, 1},
                 {"first relative", {"Prog", "D:\\B"}, 1}, {"first empty", {"", "D:\\B"}, 1},
                 {"none usable", {"C:", std::nullopt}, std::nullopt}, {"no place", {}, std::nullopt}};
    for (const auto& c : cases) {
        auto found = FirstUsableRoot(c.places.size(), [&](std::size_t i) { return c.places[i]; });
        EXPECT_EQ(found ? std::optional<std::size_t>(found->first) : std::nullopt, c.chosen) << c.why;
        if (found) {
            EXPECT_EQ(found->second, *c.places[found->first]) << c.why;
        }
    }
}

}  // namespace
