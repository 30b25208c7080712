// dvk pack --from's plan over small release trees: which files get an entry,
// from which bases, with or without a whole copy, and what is removed.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/TestFiles.h"
#include "tools/dvk/PatchPlan.h"

namespace {

ReleaseFile File(const std::string& name, std::uint8_t version, std::uint64_t size = 100) {
    ReleaseFile file;
    file.targetName = name;
    file.size = size;
    file.hash[0] = version;
    return file;
}

// The plan in one line per entry: "name: patch from v1@0 v2@1 + whole",
// "name: whole", "name: delete", with each base's version and release.
std::string Describe(const std::vector<PlannedEntry>& plan) {
    std::ostringstream text;
    for (const PlannedEntry& entry : plan) {
        const char* kinds[] = {" patch from", " whole", " delete"};
        text << entry.targetName << ":" << kinds[static_cast<int>(entry.kind)];
        for (const PlannedBase& base : entry.bases) text << " v" << int(base.hash[0]) << "@" << base.oldIndex;
        text << (entry.wholeCopy ? " + whole\n" : "\n");
    }
    return text.str();
}

TEST(PatchPlanTest, EachFileGetsWhatEveryEarlierReleaseNeeds) {
    const std::uint64_t cap = 1000;
    const PatchPlanOptions defaults{true, false, cap};
    const PatchPlanOptions noWhole{false, false, cap};
    const PatchPlanOptions removing{true, true, cap};
    const struct {
        const char* name;
        std::vector<ReleaseTree> olds;
        ReleaseTree next;
        PatchPlanOptions options;
        const char* expected;
    } cases[] = {
        {"unchanged: nothing", {{File("a.exe", 1)}}, {File("a.exe", 1)}, defaults, ""},
        {"changed: patch and whole copy", {{File("a.exe", 1)}}, {File("a.exe", 2)}, defaults,
         "a.exe: patch from v1@0 + whole\n"},
        {"changed, --no-whole", {{File("a.exe", 1)}}, {File("a.exe", 2)}, noWhole, "a.exe: patch from v1@0\n"},
        {"new file: whole copy", {{File("a.exe", 1)}}, {File("a.exe", 1), File("b.dll", 5)}, noWhole,
         "b.dll: whole\n"},
        {"two releases, two bases", {{File("a.exe", 1)}, {File("a.exe", 2)}}, {File("a.exe", 3)}, noWhole,
         "a.exe: patch from v1@0 v2@1\n"},
        {"two releases, one base", {{File("a.exe", 1)}, {File("a.exe", 1)}}, {File("a.exe", 3)}, noWhole,
         "a.exe: patch from v1@0\n"},
        {"already new in one release", {{File("a.exe", 1)}, {File("a.exe", 3)}}, {File("a.exe", 3)}, noWhole,
         "a.exe: patch from v1@0 v3@1\n"},
        {"absent from one release: whole copy anyway", {{File("a.exe", 1)}, {}}, {File("a.exe", 3)}, noWhole,
         "a.exe: patch from v1@0 + whole\n"},
        {"names differing only by case", {{File("BIN\\A.EXE", 1)}}, {File("bin\\a.exe", 2)}, noWhole,
         "bin\\a.exe: patch from v1@0\n"},
        {"result beyond the cap: whole", {{File("a.exe", 1)}}, {File("a.exe", 2, cap + 1)}, noWhole, "a.exe: whole\n"},
        {"one base beyond the cap", {{File("a.exe", 1, cap + 1)}, {File("a.exe", 2)}}, {File("a.exe", 3)}, noWhole,
         "a.exe: patch from v2@1 + whole\n"},
        {"same hash, other size", {{File("a.exe", 1, 100)}}, {File("a.exe", 1, 101)}, noWhole,
         "a.exe: patch from v1@0\n"},
        {"obsolete file kept without --remove-obsolete", {{File("a.exe", 1), File("old.dll", 1)}}, {File("a.exe", 1)},
         defaults, ""},
        {"obsolete files removed once",
         {{File("old.dll", 1), File("a.exe", 1)}, {File("OLD.DLL", 2), File("x", 1), File("a.exe", 1)}},
         {File("a.exe", 1)}, removing, "old.dll: delete\nx: delete\n"},
        {"no earlier release: whole copies", {}, {File("a.exe", 1)}, defaults, "a.exe: whole\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(PlanPatchPackage(c.olds, c.next, c.options)), c.expected) << c.name;
    }
    const auto plan = PlanPatchPackage({{File("a", 1)}}, {File("b", 1), File("a", 2)}, defaults);
    EXPECT_TRUE(plan.size() == 2 && plan[0].newIndex == 0 && plan[1].newIndex == 1);  // the new files' places
}

TEST(PatchPlanTest, AReleaseFolderIsListedWithSizesAndHashes) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("b.txt"), "abc") && WriteFileBytes(dir.File("a.txt"), ""));
    ReleaseTree tree;
    std::string error;
    ASSERT_TRUE(ListReleaseTree(dir.Path(), false, tree, error)) << error;
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(tree[0].targetName + " " + tree[1].targetName, "a.txt b.txt");
    EXPECT_EQ(tree[1].size, 3u);
    EXPECT_EQ(tree[1].hash[0], 0xBA);  // SHA-256("abc") begins ba7816bf
    EXPECT_FALSE(ListReleaseTree(dir.File("absent"), false, tree, error));
}

}  // namespace
