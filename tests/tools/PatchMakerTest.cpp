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

TEST(PatchMakerTest, MakesPatchesThatGiveTheResultBack) {
    const std::string base = PatternData(300000, 1);
    const struct {
        const char* name;
        std::string base;
        std::string result;
        std::size_t largestPatch;  // what a patch of these bytes costs at most
    } cases[] = {
        {"a few bytes changed", base, base.substr(0, 1000) + "new" + base.substr(1003), 600},
        {"a part moved", base, base.substr(200000) + base.substr(0, 200000), 600},
        {"identical", base, base, 200},
        {"from an empty base", std::string(), PatternData(5000, 2), 6000},
        {"to an empty result", base, std::string(), 100},
    };
    for (const auto& c : cases) {
        const MadePatch patch = MakePatch(c.base, c.result, HashOf(c.result));
        ASSERT_EQ(patch.status, PatchMakeStatus::kMade) << c.name;
        EXPECT_LE(patch.bytes.size(), c.largestPatch) << c.name;
        EXPECT_TRUE(PatchGivesResult(patch.bytes, c.base, c.result.size(), HashOf(c.result))) << c.name;
    }
}

TEST(PatchMakerTest, TheSelfCheckCatchesWhatTheUpdaterWouldRefuse) {
    const std::string base = PatternData(50000, 3);
    const std::string result = base.substr(100) + "tail";
    const MadePatch patch = MakePatch(base, result, HashOf(result));
    ASSERT_EQ(patch.status, PatchMakeStatus::kMade);
    std::string damaged = patch.bytes;
    damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 1);
    const struct {
        const char* name;
        std::string patch;
        std::string base;
        std::uint64_t size;
        EntryDigest hash;
    } cases[] = {
        {"another result hash", patch.bytes, base, result.size(), HashOf(base)},
        {"another base", patch.bytes, PatternData(base.size(), 4), result.size(), HashOf(result)},
        {"another result size", patch.bytes, base, result.size() + 1, HashOf(result)},
        {"a damaged patch", damaged, base, result.size(), HashOf(result)},
        {"a patch cut short", patch.bytes.substr(0, patch.bytes.size() - 1), base, result.size(), HashOf(result)},
    };
    for (const auto& c : cases) EXPECT_FALSE(PatchGivesResult(c.patch, c.base, c.size, c.hash)) << c.name;
    // And a wrong hash given to the maker keeps the patch from being emitted.
    EXPECT_EQ(MakePatch(base, result, HashOf(base)).status, PatchMakeStatus::kSelfCheckFailed);
}

TEST(PatchMakerTest, FilesBeyondTheWindowCapGetNoPatch) {
    const std::string beyond(MaxPatchFileBytes() + 1, 'x');
    EXPECT_EQ(MakePatch(beyond, "small", HashOf("small")).status, PatchMakeStatus::kTooLarge);
    EXPECT_EQ(MakePatch("small", beyond, EntryDigest{}).status, PatchMakeStatus::kTooLarge);
}

}  // namespace
