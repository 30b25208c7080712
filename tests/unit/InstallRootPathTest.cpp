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

TEST(InstallRootPathTest, AProductProtectsTheUsablePathOfEveryViewOnceAnyViewHasAKey) {
    using Path = std::optional<std::string>;
    using Roots = std::vector<std::string>;
    const struct {
        const char* why;
        std::vector<ProtectedProductView> views;  // the program's own view, then the 64-bit one
        Roots roots;
    } cases[] = {
        {"no PublicKey anywhere", {{false, Path("C:\\A")}, {false, Path("D:\\B")}}, Roots()},
        {"a key in one view: both Paths", {{true, Path("C:\\A")}, {false, Path("D:\\B")}}, Roots({"C:\\A", "D:\\B"})},
        {"key in the 64-bit view, Path in the other", {{false, Path("C:\\A")}, {true, std::nullopt}}, Roots({"C:\\A"})},
        {"an unusable Path protects nothing", {{true, Path("Prog")}, {true, Path("D:\\B")}}, Roots({"D:\\B"})},
        {"a key and no Path", {{true, std::nullopt}, {false, std::nullopt}}, Roots()},
    };
    for (const auto& c : cases) EXPECT_EQ(ProtectedRootsOf(c.views), c.roots) << c.why;
}

}  // namespace
