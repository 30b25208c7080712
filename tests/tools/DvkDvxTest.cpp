// dvk pack --format dvx: what the package holds (each file zstd when that is
// smaller, stored otherwise, its digest; each removal a delete entry), every
// refusal, and info, verify and sign reading it.
#include <gtest/gtest.h>

#define ZSTD_STATIC_LINKING_ONLY  // the frame header
#include <zstd.h>

#include <filesystem>

#include "engine/Crypto.h"
#include "package/DvxFormat.h"
#include "package/DvxWriter.h"
#include "package/PatchPackage.h"
#include "package/ZstdLimits.h"
#include "tests/support/DvxExamples.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/DvkRunner.h"
#include "tests/tools/DvkTrees.h"

namespace fs = std::filesystem;

namespace {

class DvkDvxTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.File(name); }

    DvkRun Pack(const std::string& name, std::vector<std::string> extra) {
        if (!fs::exists(Path("tree"))) WriteTree(Path("tree"), Tree());
        std::vector<std::string> args = {"pack", Path(name), "--format", "dvx", "--title", "Mise \xC3\xA0 jour",
                                         "--key", "Software\\Produit", Path("tree")};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunDvk(args);
    }

    static FileTree Tree() {
        return {
            {"empty.txt", ""},
            {"bin/app.exe", PatternData(300 * 1024)},  // compresses well
            {"noise.bin", std::string("\x9E\x01\xF3\x77\x10\xC4\x5A\xE8", 8)},  // a frame is longer
        };
    }

    TempDir dir_;
};

std::string EntryData(PatchPackage& package, const PackageEntry& entry) {
    std::string data(static_cast<std::size_t>(entry.storedSize), '\0');
    package.Stream().Seek(entry.dataOffset);
    EXPECT_EQ(package.Stream().Read(&data[0], data.size()), data.size());
    return data;
}

EntryDigest DigestOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return *hash.Finish();
}

TEST_F(DvkDvxTest, EachFileIsZstdWhenSmallerStoredOtherwiseAndEachRemovalADelete) {
    WriteFileBytes(Path("gone.txt"), "# retired\r\nold\\a.dll\r\n\r\nold/b.dll\n");
    DvkRun run = Pack("p.dvx", {"--remove", "legacy.ini", "--remove-list", Path("gone.txt"), "--required", "old/a.dll"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("6 entries (1 zstd, 2 stored, 3 delete)"), std::string::npos) << run.out;

    PatchPackage package;
    ASSERT_TRUE(package.Open(Path("p.dvx")));
    EXPECT_EQ(package.GetFormat(), PackageFormat::kDvx);
    EXPECT_EQ(package.GetTitle(), "Mise \xE0 jour");
    struct Row { const char* target; EntryKind kind; const char* source; bool required; };
    const Row rows[] = {
        {"bin\\app.exe", EntryKind::kZstd, "bin/app.exe", false},
        {"empty.txt", EntryKind::kStored, "empty.txt", false},
        {"noise.bin", EntryKind::kStored, "noise.bin", false},
        {"legacy.ini", EntryKind::kDelete, nullptr, false},
        {"old\\a.dll", EntryKind::kDelete, nullptr, true},
        {"old\\b.dll", EntryKind::kDelete, nullptr, false},
    };
    const FileTree tree = Tree();
    ASSERT_EQ(package.GetEntries().size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const PackageEntry& entry = package.GetEntries()[i];
        EXPECT_EQ(entry.targetName, rows[i].target) << i;
        EXPECT_EQ(entry.kind, rows[i].kind) << i;
        EXPECT_EQ(entry.IsRequired(), rows[i].required) << i;
        if (rows[i].source == nullptr) continue;
        const std::string& file = tree.at(rows[i].source);
        std::string data = EntryData(package, entry);
        EXPECT_EQ(entry.dataSize, static_cast<std::int32_t>(file.size())) << i;
        EXPECT_EQ(entry.resultHash, DigestOf(file)) << i;
        if (entry.kind == EntryKind::kStored) {
            EXPECT_TRUE(data == file) << i;
            continue;
        }
        // A frame that declares its size, within the decoder's window bound.
        EXPECT_LT(data.size(), file.size() / 2) << i;
        EXPECT_EQ(ZSTD_getFrameContentSize(data.data(), data.size()), file.size()) << i;
        ZSTD_frameHeader header;
        ASSERT_EQ(ZSTD_getFrameHeader(&header, data.data(), data.size()), 0u);
        EXPECT_LE(header.windowSize, 1ull << kZstdWholeFileWindowLog);
        std::string decoded(file.size(), '\0');
        EXPECT_EQ(ZSTD_decompress(&decoded[0], decoded.size(), data.data(), data.size()), file.size());
        EXPECT_TRUE(decoded == file) << i;
    }
}

TEST_F(DvkDvxTest, RefusesWhatNoUpdaterShouldGetAndWritesNothing) {
    WriteFileBytes(Path("list.txt"), Path("tree") + "/empty.txt\tempty.txt\t1\n");
    WriteTree(Path("tree"), Tree());
    struct Row { const char* why; std::vector<std::string> args; int status; const char* message; };
    const std::string out = Path("never.dvx");
    const std::vector<std::string> base = {"pack", out, "--title", "T", "--key", "K"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    const std::string tree = Path("tree");
    const Row rows[] = {
        {"an unknown format", with({"--format", "zip", tree}), 2, "--format is dvk or dvx"},
        {"a removal in a .dvk", with({tree, "--remove", "a.txt"}), 2, "need --format dvx"},
        {"a removal list in a .dvk", with({tree, "--remove-list", Path("list.txt")}), 2, "need --format dvx"},
        {"packed and removed", with({"--format", "dvx", tree, "--remove", "BIN/App.exe"}), 1,
         "'bin/app.exe' is both packed and removed (bin\\app.exe)"},
        {"a wildcard", with({"--format", "dvx", tree, "--remove", "*.dll"}), 1, "does not allow in file names"},
        {"a name leaving the root", with({"--format", "dvx", tree, "--remove", "../x.dll"}), 1, "refuses this target"},
        {"removed twice", with({"--format", "dvx", tree, "--remove", "x", "--remove", "X."}), 1, "same file"},
        {"no removal list", with({"--format", "dvx", tree, "--remove-list", Path("none.txt")}), 1, "cannot read"},
        {"a flag only .dvk has", with({"--format", "dvx", "--list", Path("list.txt")}), 1, "only 0 and 2"},
    };
    for (const Row& row : rows) {
        DvkRun run = RunDvk(row.args);
        EXPECT_EQ(run.status, row.status) << row.why << ": " << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << row.why << ": " << run.err;
        EXPECT_FALSE(fs::exists(out)) << row.why;
    }
    EXPECT_EQ(ListNames(dir_.Path()), (std::vector<std::string>{"list.txt", "tree"}));
}

TEST_F(DvkDvxTest, InfoVerifyAndSignReadIt) {
    ASSERT_EQ(Pack("p.dvx", {"--remove", "old.dll"}).status, 0);
    DvkRun json = RunDvk({"info", "--json", Path("p.dvx")});
    ASSERT_EQ(json.status, 0) << json.err;
    const std::string app = "\"kind\": \"zstd\", \"required\": false, \"flags\": 0, \"size\": 307200, \"storedSize\": ";
    EXPECT_NE(json.out.find("\"format\": \"dvx\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(app), std::string::npos) << json.out;
    for (const char* part : {"\"kind\": \"delete\", \"required\": false, \"flags\": 0, \"size\": 0, \"storedSize\": 0, "
                             "\"target\": \"old.dll\", \"sha256\": null}",
                             "\"target\": \"empty.txt\", \"sha256\": \"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\""}) {
        EXPECT_NE(json.out.find(part), std::string::npos) << json.out;
    }
    DvkRun table = RunDvk({"info", Path("p.dvx")});
    EXPECT_NE(table.out.find("Format:        dvx\n"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("    3  delete  no        0x00           0           0  old.dll\n"), std::string::npos)
        << table.out;

    ASSERT_EQ(RunDvk({"keygen", Path("k.pem")}).status, 0);
    for (int round = 0; round < 2; ++round) {  // signing again replaces the trailer
        DvkRun sign = RunDvk({"sign", Path("p.dvx"), "--key", Path("k.pem")});
        ASSERT_EQ(sign.status, 0) << sign.err;
        DvkRun verify = RunDvk({"verify", Path("p.dvx"), "--trust", Path("k.pem.pub")});
        EXPECT_EQ(verify.status, 0) << verify.err;
        EXPECT_NE(verify.out.find("sound, 4 entries"), std::string::npos) << verify.out;
        EXPECT_NE(verify.out.find("signature: signed by"), std::string::npos) << verify.out;
    }
    // A pack --sign gives the same trailer.
    ASSERT_EQ(Pack("s.dvx", {"--sign", Path("k.pem")}).status, 0);
    EXPECT_EQ(RunDvk({"verify", Path("s.dvx"), "--trust", Path("k.pem.pub")}).status, 0);
}

TEST_F(DvkDvxTest, VerifyAndInfoNameTheFirstRuleBrokenAndItsByte) {
    const std::int64_t kind = ExampleDvxOffsets().Field(1, kDvxFieldKind);
    std::string bytes = ExampleDvxBytes();
    PutNumber(bytes, kind, 5, 1);
    ASSERT_TRUE(WriteFileBytes(Path("bad.dvk"), bytes));
    DvkRun verify = RunDvk({"verify", Path("bad.dvk")});
    EXPECT_EQ(verify.status, 1);
    EXPECT_EQ(verify.err, "dvk verify: " + Path("bad.dvk") + ": entry 1: entry kind is unknown (byte " +
                              std::to_string(kind) + ")\n");
    DvkRun info = RunDvk({"info", Path("bad.dvk")});
    EXPECT_EQ(info.status, 1);
    EXPECT_EQ(info.out, "");
}

}  // namespace

namespace {

TEST(DvkPatchInfoTest, InfoShowsEachPatchWithItsBaseAndTheWholeCopy) {
    TempDir dir;
    EntryDigest base;
    base.fill(0xAB);
    DvxPatchContent patch;
    patch.part.patches = {{PatchMethod::kZstdPrefix, 90, base, 0, 0}};
    patch.part.hasWholeCopy = true;
    patch.alternativeLengths = {4, 3};
    ASSERT_TRUE(WriteFileBytes(dir.File("p.dvx"),
                               BuildDvxBytes("T", "K", {{EntryKind::kPatch, 0, "p.exe", "PPPPWWW", 100, EntryDigest{}}},
                                             {patch})));
    DvkRun json = RunDvk({"info", "--json", dir.File("p.dvx")});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"kind\": \"patch\""), std::string::npos) << json.out;
    std::string baseHex;
    for (int i = 0; i < 32; ++i) baseHex += "ab";
    EXPECT_NE(json.out.find("\"patches\": [{\"method\": 1, \"baseSize\": 90, \"baseSha256\": \"" + baseHex +
                            "\", \"storedSize\": 4}], \"wholeStoredSize\": 3"),
              std::string::npos)
        << json.out;
    DvkRun table = RunDvk({"info", dir.File("p.dvx")});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("p.exe\n       patch from a base of 90 bytes, SHA-256 " + baseHex +
                             ": 4 bytes stored\n       whole copy: 3 bytes stored\n"),
              std::string::npos)
        << table.out;
}

}  // namespace
