// The names the updater lists: the long name's extension decides, exactly,
// since the folder search also matches through short names (Wine makes none).
#include <gtest/gtest.h>

#include "app/PackageFileName.h"

namespace {

TEST(PackageFileNameTest, OnlyAnExactExtensionInAnyCaseIsAPackage) {
    const struct {
        const char* name;
        bool listed;
    } cases[] = {
        {"fix.dvk", true},          {"fix.dvx", true},         {"FIX.DVK", true},      {"Fix.DvX", true},
        {"a.b.dvx", true},          {"x.dvkz", false},         {"x.dvk2", false},      {"x.dvk~", false},
        {"x.dvxa", false},          {"x.dvk.txt", false},      {"x.dvk ", false},      {"xdvk", false},
        {".dvk", true},             {"x.dv", false},           {"", false},            {"x.dvy", false},
        {"x.\xC4vk", false},        {"X~1.DVK", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPackageFileName(c.name), c.listed) << '"' << c.name << '"';
}

}  // namespace
