// dvk pack --from: a patch package made against earlier releases, proved by
// dvk extract turning a copy of each release into exactly the new one, and
// every refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "package/PatchPackage.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/DvkRunner.h"
#include "tests/tools/DvkTrees.h"
#include "tools/dvk/PatchPackWriter.h"

namespace fs = std::filesystem;

namespace {


std::string Edited(std::string bytes, std::size_t at, const std::string& text) {
    return bytes.replace(at, text.size(), text);
}

const char kComplete[] = "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer.";

class DvkPatchPackTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_STATE_HOME", Path("state").c_str(), 1);
        const std::string app = NoiseData(300 * 1024, 1);
        const std::string core = NoiseData(200 * 1024, 2);
        const std::string half = NoiseData(100 * 1024, 3);
        newTree_ = {
            {"bin/app.exe", app},
            {"lib/core.dll", core},
            {"same.txt", "unchanged\r\n"},
            {"half.dat", half},
            {"fresh.txt", "new in this release\r\n"},
            {"lib/missing.dat", Edited(half, 10, "only one release had me")},
        };
        olds_ = {
            {
                {"bin/app.exe", Edited(app, 1000, "release one")},
                {"lib/core.dll", Edited(core, 5000, "older core")},
                {"same.txt", "unchanged\r\n"},
                {"half.dat", half},  // already the new bytes
                {"lib/missing.dat", half},
                {"gone.txt", "dropped in the new release"},
            },
            {
                {"bin/app.exe", Edited(app, 200000, "release two differs elsewhere")},
                {"lib/core.dll", Edited(core, 5000, "older core")},
                {"same.txt", "unchanged\r\n"},
                {"half.dat", Edited(half, 50000, "release two")},
            },
        };
        WriteTree(Path("new"), newTree_);
        WriteTree(Path("old0"), olds_[0]);
        WriteTree(Path("old1"), olds_[1]);
    }
    void TearDown() override { unsetenv("XDG_STATE_HOME"); }

    std::string Path(const std::string& name) const { return dir_.File(name); }

    DvkRun Pack(const std::string& package, std::vector<std::string> extra) {
        std::vector<std::string> args = {"pack", package, "--title", "T", "--key", "Software\\Maker\\Product"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunDvk(args);
    }
    DvkRun PackFromBoth(const std::string& package, std::vector<std::string> extra) {
        std::vector<std::string> args = {"--format", "dvx", "--from", Path("old0"), "--from", Path("old1"), Path("new")};
        args.insert(args.end(), extra.begin(), extra.end());
        return Pack(package, args);
    }

    FileTree newTree_;
    std::vector<FileTree> olds_;
    TempDir dir_;
};

TEST_F(DvkPatchPackTest, ExtractTurnsACopyOfEachEarlierReleaseIntoTheNewOne) {
    struct Entry { const char* target; EntryKind kind; std::size_t patches; bool whole; };
    struct Row {
        const char* name;
        std::vector<std::string> options;
        std::vector<Entry> entries;
        bool removesGone;
    };
    // same.txt, the same everywhere, never gets an entry; lib\missing.dat,
    // which one release lacks, always has its whole copy.
    const std::vector<Row> rows = {
        {"plain", {}, {
             {"bin\\app.exe", EntryKind::kPatch, 2, true},
             {"fresh.txt", EntryKind::kStored, 0, false},
             {"half.dat", EntryKind::kPatch, 2, true},
             {"lib\\core.dll", EntryKind::kPatch, 1, true},
             {"lib\\missing.dat", EntryKind::kPatch, 1, true},
         }, false},
        {"no-whole", {"--no-whole", "--remove-obsolete"}, {
             {"bin\\app.exe", EntryKind::kPatch, 2, false},
             {"fresh.txt", EntryKind::kStored, 0, false},
             {"half.dat", EntryKind::kPatch, 2, false},
             {"lib\\core.dll", EntryKind::kPatch, 1, false},
             {"lib\\missing.dat", EntryKind::kPatch, 1, true},
             {"gone.txt", EntryKind::kDelete, 0, false},
         }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string package = Path(std::string(row.name) + ".dvx");
        DvkRun run = PackFromBoth(package, row.options);
        ASSERT_EQ(run.status, 0) << run.err;
        PatchPackage read;
        ASSERT_TRUE(read.Open(package));
        ASSERT_EQ(read.GetEntries().size(), row.entries.size());
        for (std::size_t i = 0; i < row.entries.size(); ++i) {
            const PackageEntry& entry = read.GetEntries()[i];
            EXPECT_EQ(entry.targetName, row.entries[i].target) << i;
            EXPECT_EQ(entry.kind, row.entries[i].kind) << i;
            EXPECT_EQ(entry.patches.size(), row.entries[i].patches) << i;
            EXPECT_EQ(entry.HasWholeCopy(), row.entries[i].whole) << i;
            // A few changed bytes in incompressible data: only a real patch is this small.
            for (const PatchAlternative& patch : entry.patches) EXPECT_LT(patch.dataLength, 2048) << i;
        }

        for (std::size_t o = 0; o < olds_.size(); ++o) {
            const std::string root = Path(std::string(row.name) + "-root" + std::to_string(o));
            WriteTree(root, olds_[o]);
            MakeFolders(root, newTree_);
            DvkRun extract = RunDvk({"extract", package, "--to", root, "--quiet"});
            EXPECT_EQ(extract.status, 0) << o << extract.err;
            EXPECT_EQ(extract.out, std::string(kComplete) + "\n") << o;
            FileTree expected = newTree_;
            if (!row.removesGone && olds_[o].count("gone.txt") != 0) expected["gone.txt"] = olds_[o].at("gone.txt");
            EXPECT_TRUE(ReadTree(root) == expected) << "release " << o << " did not become the new one";
        }
    }
}

TEST_F(DvkPatchPackTest, AnInstalledFileOfAThirdVersionTakesTheWholeCopyOrChangesNothing) {
    struct Row { const char* name; std::vector<std::string> options; int status; std::string last; };
    const Row rows[] = {
        {"whole", {}, 0, kComplete},
        {"no-whole", {"--no-whole"}, 1,
         "Le fichier install\xC3\xA9 n'est pas celui que cette mise \xC3\xA0 jour attend : bin\\app.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string package = Path(std::string(row.name) + ".dvx");
        ASSERT_EQ(PackFromBoth(package, row.options).status, 0);
        const std::string root = Path(std::string(row.name) + "-root");
        FileTree third = olds_[1];
        third["bin/app.exe"] = Edited(newTree_.at("bin/app.exe"), 7, "changed by hand");
        WriteTree(root, third);
        MakeFolders(root, newTree_);
        DvkRun run = RunDvk({"extract", package, "--to", root, "--quiet"});
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.out, row.last + "\n");
        EXPECT_TRUE(ReadTree(root) == (row.status == 0 ? newTree_ : third));
        if (row.status != 0) {
            EXPECT_NE(run.err.find("is unchanged"), std::string::npos) << run.err;
        }
    }
}

TEST_F(DvkPatchPackTest, RefusesAMisusedCommandLineAndWritesNothing) {
    WriteFileBytes(Path("list.txt"), Path("new") + "/same.txt\tsame.txt\t0\n");
    struct Row { std::vector<std::string> args; int status; const char* says; };
    const Row rows[] = {
        {{"--from", Path("old0"), Path("new")}, 2, "--from needs --format dvx"},
        {{"--format", "dvx", "--from", Path("old0"), "--list", Path("list.txt")}, 2, "not --list"},
        {{"--format", "dvx", "--no-whole", Path("new")}, 2, "go with --from"},
        {{"--format", "dvx", "--remove-obsolete", Path("new")}, 2, "go with --from"},
        {{"--format", "dvx", "--from", Path("old0"), "--remove", "x.txt", Path("new")}, 2, "do not apply"},
        {{"--format", "dvx", "--from", Path("new"), Path("new")}, 1, "nothing to update"},
        {{"--format", "dvx", "--from", Path("nowhere"), Path("new")}, 1, "nowhere"},
    };
    for (const Row& row : rows) {
        DvkRun run = Pack(Path("out.dvx"), row.args);
        EXPECT_EQ(run.status, row.status) << row.says << ": " << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        EXPECT_EQ(ListNames(dir_.Path()), (std::vector<std::string>{"list.txt", "new", "old0", "old1"})) << row.says;
    }
}

// A patch is made from the bytes read when the package is written, and the
// table names the bytes listed before: a file changed in between must stop
// the pack, or machines would get a patch whose base the table misnames.
TEST_F(DvkPatchPackTest, AFileChangedAfterItsFolderWasListedStopsThePack) {
    struct Row { const char* changed; const char* says; };
    const Row rows[] = {
        {"new/bin/app.exe", "new/bin/app.exe': the file changed while it was packed"},
        {"old1/half.dat", "old1/half.dat': the file changed while it was packed"},
        {"new/fresh.txt", nullptr},  // a whole entry is hashed as it is read: its own bytes are named
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.changed);
        std::vector<ReleaseTree> olds(2);
        std::string error;
        ASSERT_TRUE(ListReleaseTree(Path("old0"), false, olds[0], error)) << error;
        ASSERT_TRUE(ListReleaseTree(Path("old1"), false, olds[1], error)) << error;
        PackPlan newPlan;
        ReleaseTree newTree;
        ASSERT_TRUE(newPlan.AddDirectory(Path("new"), error) && HashReleaseFiles(newPlan, newTree, error)) << error;
        PatchPlanOptions options;
        options.maxPatchFileBytes = MaxPatchFileBytes();
        const std::vector<PlannedEntry> entries = PlanPatchPackage(olds, newTree, options);
        const std::string before = ReadFileBytes(Path(row.changed));
        WriteFileBytes(Path(row.changed), Edited(before, 3, "!"));

        PatchPackInput input;
        input.olds = &olds;
        input.newPlan = &newPlan;
        input.newTree = &newTree;
        input.entries = &entries;
        std::stringstream out;
        DvxPackSummary summary;
        const bool written = WritePatchPackage(out, "T", "Software\\P", input, summary, error);
        EXPECT_EQ(written, row.says == nullptr) << error;
        if (row.says != nullptr) {
            EXPECT_NE(error.find(row.says), std::string::npos) << error;
        }
        WriteFileBytes(Path(row.changed), before);
    }
}

}  // namespace
