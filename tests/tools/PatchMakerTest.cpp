// dvk's patches: made, applied back before they are trusted, refused where
// the updater could not apply them.
#include <gtest/gtest.h>

#include "engine/Crypto.h"
#include "tests/support/TestFiles.h"
#include "tools/dvk/PatchMaker.h"

namespace {

EntryDigest HashOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return *hash.Finish();
}

TEST(PatchMakerTest, MakesOnlyPatchesThatGiveTheResultBack) {
    const std::string base = PatternData(300000, 1);
    const struct {
        const char* name;
        std::string base, result;
        std::size_t largestPatch;
    } cases[] = {
        {"a few bytes changed", base, base.substr(0, 1000) + "new" + base.substr(1003), 600},
        {"a part moved", base, base.substr(200000) + base.substr(0, 200000), 600},
        {"from an empty base", "", PatternData(5000, 2), 6000},
        {"to an empty result", base, "", 100},
    };
    for (const auto& c : cases) {
        const MadePatch patch = MakePatch(c.base, c.result, HashOf(c.result));
        ASSERT_EQ(patch.status, PatchMakeStatus::kMade) << c.name;
        EXPECT_LE(patch.bytes.size(), c.largestPatch) << c.name;
        EXPECT_TRUE(PatchGivesResult(patch.bytes, c.base, c.result.size(), HashOf(c.result))) << c.name;
        // The self-check fails for another size or hash, and for another
        // base where the patch copies from it.
        const std::string otherBase = PatternData(c.base.size(), 9);
        const bool copiesFromBase = !c.base.empty() && !c.result.empty();
        EXPECT_EQ(PatchGivesResult(patch.bytes, otherBase, c.result.size(), HashOf(c.result)), !copiesFromBase) << c.name;
        EXPECT_FALSE(PatchGivesResult(patch.bytes, c.base, c.result.size() + 1, HashOf(c.result))) << c.name;
        EXPECT_FALSE(PatchGivesResult(patch.bytes, c.base, c.result.size(), HashOf(c.result + "x"))) << c.name;
    }
    EXPECT_EQ(MakePatch(base, "other", HashOf("result")).status, PatchMakeStatus::kSelfCheckFailed);
    const std::string beyond(MaxPatchFileBytes() + 1, 'x');
    EXPECT_EQ(MakePatch(beyond, "small", HashOf("small")).status, PatchMakeStatus::kTooLarge);
    EXPECT_EQ(MakePatch("small", beyond, EntryDigest{}).status, PatchMakeStatus::kTooLarge);
}

}  // namespace
