// Applying a patch entry: the Test stage picks the patch whose base is
// installed, else the whole copy, else refuses with nothing written; a patch
// whose bytes were altered is damage, and the root stays as it was.
#include <gtest/gtest.h>
#include <zstd.h>

#include <filesystem>

#include "engine/ApplyEngine.h"
#include "engine/Crypto.h"
#include "engine/MessageStrings.h"
#include "package/DvxWriter.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/InstallRootFixture.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = kProductKey;

EntryDigest Hash(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish().value_or(EntryDigest{});
}

// One zstd frame of result; against base as its prefix when base is given.
std::string Frame(const std::string& result, const std::string* base) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, 1);
    if (base != nullptr) ZSTD_CCtx_refPrefix(context, base->data(), base->size());
    std::string frame(ZSTD_compressBound(result.size()), '\0');
    frame.resize(ZSTD_compress2(context, &frame[0], frame.size(), result.data(), result.size()));
    ZSTD_freeCCtx(context);
    return frame;
}

const std::string kOld1 = PatternData(20000, 1);
const std::string kOld2 = PatternData(18000, 2);
const std::string kNew = kOld1.substr(0, 15000) + "nouvelle version" + kOld2.substr(3000, 6000);

// A package with one patch entry for app.exe: a patch from each base, and a
// whole copy when asked; alter flips one byte of the first patch.
std::string Package(const std::vector<const std::string*>& bases, bool whole, bool alter = false) {
    DvxPatchContent patch;
    std::string data;
    for (const std::string* base : bases) {
        std::string frame = Frame(kNew, base);
        if (alter && data.empty()) frame[frame.size() / 2] ^= 0x20;
        patch.part.patches.push_back({PatchMethod::kZstdPrefix, base->size(), Hash(*base), 0, 0});
        patch.alternativeLengths.push_back(static_cast<std::int64_t>(frame.size()));
        data += frame;
    }
    if (whole) {
        const std::string frame = Frame(kNew, nullptr);
        patch.part.hasWholeCopy = true;
        patch.alternativeLengths.push_back(static_cast<std::int64_t>(frame.size()));
        data += frame;
    }
    return BuildDvxBytes("Produit", kKey, {{EntryKind::kPatch, 0, "app.exe", data, static_cast<std::int64_t>(kNew.size()), Hash(kNew)}},
                         {patch});
}

using PatchApplyTest = InstallRootFixture;

TEST_F(PatchApplyTest, TheInstalledFileChoosesThePatchTheWholeCopyOrARefusal) {
    const std::string modified = kOld1 + "x";
    struct Row {
        const char* why;
        std::optional<std::string> installed;  // app.exe before, none when absent
        std::string package;
        ApplyResult result;
        std::string lastLine;
    };
    const std::string wrongBase = LoadMessageString(IDS_WRONG_BASE) + " app.exe";
    const std::vector<Row> rows = {
        {"first base", kOld1, Package({&kOld1, &kOld2}, false), ApplyResult::kApplied, LoadMessageString(IDS_UPDATE_COMPLETE)},
        {"second base", kOld2, Package({&kOld1, &kOld2}, false), ApplyResult::kApplied, LoadMessageString(IDS_UPDATE_COMPLETE)},
        {"modified file, whole copy", modified, Package({&kOld1}, true), ApplyResult::kApplied, LoadMessageString(IDS_UPDATE_COMPLETE)},
        {"modified file, no whole copy", modified, Package({&kOld1}, false), ApplyResult::kWrongBase, wrongBase},
        {"absent base", std::nullopt, Package({&kOld1}, false), ApplyResult::kFailed,
         LoadMessageString(IDS_REQUIRED_FILE_MISSING) + " app.exe"},
        {"altered patch", kOld1, Package({&kOld1}, true, true), ApplyResult::kFailed,
         LoadMessageString(IDS_PACKAGE_DAMAGED)},
    };
    for (const Row& row : rows) {
        const std::string target = files_->TargetPath(root_, "app.exe");
        fs::remove(target);
        if (row.installed) {
            ASSERT_TRUE(WriteFileBytes(target, *row.installed));
        }
        ASSERT_FALSE(row.package.empty()) << row.why;
        ASSERT_TRUE(WriteFileBytes(dir_.File("p.dvx"), row.package));
        PatchPackage package;
        ASSERT_TRUE(package.Open(dir_.File("p.dvx"))) << row.why;
        RecordingSink sink;
        EXPECT_EQ(ApplyPackage(package, sink, lookup_, *files_, *journals_), row.result) << row.why;
        ASSERT_FALSE(sink.lines.empty()) << row.why;
        EXPECT_EQ(sink.lines.back(), row.lastLine) << row.why;
        if (row.result == ApplyResult::kApplied) {
            EXPECT_EQ(ReadFileBytes(target), kNew) << row.why;
        } else {
            EXPECT_EQ(fs::exists(target), row.installed.has_value()) << row.why;
            if (row.installed) {
                EXPECT_EQ(ReadFileBytes(target), *row.installed) << row.why;
            }
        }
    }
}

}  // namespace
