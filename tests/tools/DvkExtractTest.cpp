// dvk extract: a package applied to a folder with the updater's engine, its
// status lines in UTF-8, and the folder unchanged whenever it fails.
#include <gtest/gtest.h>

#include <filesystem>

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "package/PackageWriter.h"
#include "tests/tools/DvkRunner.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/DvkTrees.h"
#include "tests/support/KillableFileSystem.h"
#include "package/CodePage1252.h"
#include "tools/dvk/ExtractJournalFolder.h"
#include "tools/dvk/LocaleTargetFileSystem.h"

namespace fs = std::filesystem;

namespace {

class NullSink : public StatusSink {
public:
    void SetStatusLine(const std::string&) override {}
};

const char kComplete[] = "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer.";

class DvkExtractTest : public ::testing::Test {
protected:
    // Journals go below a state folder of the test's own, for dvk too.
    void SetUp() override { setenv("XDG_STATE_HOME", Path("state").c_str(), 1); }
    void TearDown() override { unsetenv("XDG_STATE_HOME"); }

    std::string Path(const std::string& name) const { return dir_.File(name); }

    // Packs a tree as an author would; the package's path.
    std::string Pack(const FileTree& tree, std::vector<std::string> extra = {}) {
        WriteTree(Path("src"), tree);
        std::vector<std::string> args = {"pack", Path("p.dvk"), "--title", "T", "--key", "Software\\Maker\\Product",
                                         Path("src")};
        args.insert(args.end(), extra.begin(), extra.end());
        DvkRun run = RunDvk(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return Path("p.dvk");
    }

    TempDir dir_;
};

TEST_F(DvkExtractTest, ThePackedTreeComesBackByteForByteWithEveryStatusLine) {
    const FileTree tree = SampleTree();
    const std::string package = Pack(tree);
    MakeFolders(Path("root"), tree);  // an installed product has its folders
    DvkRun run = RunDvk({"extract", package, "--to", Path("root")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(ReadTree(Path("root")) == tree) << "the extracted tree differs from the packed one";

    std::vector<std::string> lines = run.OutLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Test : bin\\deep\\er\\nest.dat");
    EXPECT_EQ(lines[1], "Test : bin\\\xC3\x84rger.dll") << "names are shown in UTF-8";
    EXPECT_EQ(lines.back(), kComplete);
    // Every 4096-byte block of the 5 MiB file has its progress line.
    std::size_t bigLines = 0;
    for (const std::string& line : lines) {
        if (line.rfind("Extraction du fichier :: data\\big.bin (", 0) == 0) ++bigLines;
    }
    EXPECT_EQ(bigLines, 5u * 1024 * 1024 / 4096);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Extraction du fichier :: data\\big.bin (100 %)"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Extraction du fichier : empty.txt"), lines.end());
}

TEST_F(DvkExtractTest, ReplacesInstalledFilesAndLeavesOthersAlone) {
    const std::string package = Pack({{"app.exe", "new program"}, {"doc/lisez-moi.txt", "nouveau"}},
                                     {"--required", "app.exe"});
    WriteTree(Path("root"), {{"app.exe", "old program, longer than the new"}, {"doc/notes.txt", "mine"}});
    DvkRun run = RunDvk({"extract", package, "--to", Path("root"), "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string(kComplete) + "\n") << "--quiet prints the last line alone";
    FileTree expected = {{"app.exe", "new program"}, {"doc/lisez-moi.txt", "nouveau"}, {"doc/notes.txt", "mine"}};
    EXPECT_TRUE(ReadTree(Path("root")) == expected);
}

TEST_F(DvkExtractTest, AnUpdateThatCannotBeAppliedChangesNothing) {
    struct Case {
        const char* why;
        FileTree installed;
        std::string lastLine;  // cp1252, as the updater shows it
    };
    const std::string package =
        Pack({{"bin/\xC3\x84rger.dll", "dll"}, {"bin/new.txt", "n"}, {"top.txt", "t"}}, {"--required", "bin\\*.dll"});
    const std::vector<Case> cases = {
        {"required file missing", {{"bin/other.txt", "o"}, {"top.txt", "old top"}},
         LoadMessageString(IDS_REQUIRED_FILE_MISSING) + " bin\\\xC4rger.dll"},
        // The updater makes no folder: with bin/ missing, nothing can be written.
        {"folder missing", {{"top.txt", "old top"}}, LoadMessageString(IDS_REQUIRED_FILE_MISSING) +
                                                         " bin\\\xC4rger.dll"},
    };
    for (const Case& c : cases) {
        const std::string root = Path(std::string("root-") + c.why);
        WriteTree(root, c.installed);
        for (bool quiet : {false, true}) {
            std::vector<std::string> args = {"extract", package, "--to", root};
            if (quiet) args.push_back("--quiet");
            DvkRun run = RunDvk(args);
            EXPECT_EQ(run.status, 1) << c.why;
            ASSERT_FALSE(run.OutLines().empty()) << c.why;
            EXPECT_EQ(run.OutLines().back(), Cp1252ToUtf8(c.lastLine)) << c.why;
            if (quiet) {
                EXPECT_EQ(run.OutLines().size(), 1u) << c.why;
            }
            EXPECT_EQ(run.err, "dvk extract: the package was not applied; '" + root + "' is unchanged\n") << c.why;
            EXPECT_TRUE(ReadTree(root) == c.installed) << c.why;
        }
    }

    // Without the required flag a missing folder is met while writing.
    const std::string loose = Path("loose.dvk");
    WriteFileBytes(loose, BuildPackageBytes("T", "K", {{0, "a", "top.txt", "new"}, {0, "b", "gone\\x.txt", "x"}}));
    WriteTree(Path("root-loose"), {{"top.txt", "old"}});
    DvkRun run = RunDvk({"extract", loose, "--to", Path("root-loose")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.OutLines().back(), Cp1252ToUtf8(LoadMessageString(IDS_WRITE_FAILED) + " gone\\x.txt"));
    EXPECT_TRUE(ReadTree(Path("root-loose")) == (FileTree{{"top.txt", "old"}})) << "the first file was put back";
}

TEST_F(DvkExtractTest, BadPackagesAndFoldersAreRefusedBeforeAnythingRuns) {
    const std::string good = Pack({{"a.txt", "a"}});
    std::string damaged = ReadFileBytes(good);
    damaged.resize(damaged.size() - 1);
    WriteFileBytes(Path("damaged.dvk"), damaged);
    fs::create_directories(Path("root"));
    WriteFileBytes(Path("root/a.txt"), "installed");

    struct Case {
        const char* why;
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    // The header is T, Software\Maker\Product, the count and one slot: 33
    // bytes; the record's data size lies at 34.
    const std::vector<Case> cases = {
        {"damaged", {"extract", Path("damaged.dvk"), "--to", Path("root")}, 1,
         "dvk extract: '" + Path("damaged.dvk") + "' is damaged: entry 0: data runs past the end of the file (byte 34)\n"},
        {"missing package", {"extract", Path("none.dvk"), "--to", Path("root")}, 1,
         "dvk extract: '" + Path("none.dvk") + "': no such file\n"},
        {"missing folder", {"extract", good, "--to", Path("nowhere")}, 1,
         "dvk extract: '" + Path("nowhere") + "': no such folder\n"},
        {"a file for a folder", {"extract", good, "--to", Path("root/a.txt")}, 1,
         "dvk extract: '" + Path("root/a.txt") + "': no such folder\n"},
        {"no --to", {"extract", good}, 2, "dvk extract: --to DIR is missing\n"},
        {"two packages", {"extract", good, good, "--to", Path("root")}, 2,
         "dvk extract: give exactly one package (see dvk extract --help)\n"},
    };
    for (const Case& c : cases) {
        DvkRun run = RunDvk(c.args);
        EXPECT_EQ(run.status, c.status) << c.why;
        EXPECT_EQ(run.err, c.err) << c.why;
        EXPECT_EQ(run.out, "") << c.why;
        EXPECT_EQ(ReadFileBytes(Path("root/a.txt")), "installed") << c.why;
    }
}

// An extract killed halfway is put right by the next dvk extract into the
// same folder, before anything else: all old, or all new when it was killed
// after its last replace.
TEST_F(DvkExtractTest, TheNextExtractPutsRightAnInterruptedOne) {
    const FileTree old = {{"a.txt", "old a"}, {"b.txt", "old b"}, {"keep.txt", "keep"}};
    const FileTree next = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}, {"keep.txt", "keep"}};
    const std::string package = Pack({{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}});
    // The second run's package needs a file that is not there: it changes nothing itself.
    const std::string unusable = Path("unusable.dvk");
    WriteFileBytes(unusable, BuildPackageBytes("T", "K", {{kRequiredFlag, "s", "missing.txt", "x"}}));
    struct Case {
        const char* why;
        int newTargets;  // how many targets the killed run had replaced
        const char* note;
        FileTree after;
    };
    const std::vector<Case> cases = {
        {"killed after one replace", 1, "' was undone: its files are as before it", old},
        {"killed after two replaces", 2, "' was undone: its files are as before it", old},
        {"killed after the last replace", 3, "' had written every file: finished it", next},
    };
    for (const Case& c : cases) {
        const std::string root = Path(std::string("root-") + c.why);
        WriteTree(root, old);
        std::filesystem::path journals;
        std::string error;
        ASSERT_TRUE(ExtractJournalFolder(fs::canonical(root), journals, error)) << error;
        std::unique_ptr<JournalFolder> folder = OpenJournalFolder(journals.string());
        // The run that is killed: the engine as dvk runs it, stopped after
        // more and more changes until the folder holds the wanted mix.
        for (long budget = 0;; ++budget) {
            ASSERT_LT(budget, 200) << c.why;
            PatchPackage patch;
            ASSERT_TRUE(patch.Open(package));
            FixedInstallRootLookup lookup;
            lookup.Set(patch.GetRegistryKey(), root);
            LocaleTargetFileSystem system(CreateSystemTargetFileSystem());
            KillSwitch kill(budget);
            KillableFileSystem files(system, kill);
            KillableJournalFolder killable(*folder, kill);
            NullSink sink;
            ApplyPackage(patch, sink, lookup, files, killable);
            FileTree now = ReadTree(root);
            int replaced = 0;
            for (const auto& [name, bytes] : next) replaced += now.count(name) && now[name] == bytes && name != "keep.txt";
            if (replaced == c.newTargets) break;
            ASSERT_NE(RecoverInterruptedUpdates(*folder, system), RecoveryOutcome::kIncomplete) << c.why;
            ASSERT_TRUE(ReadTree(root) == old) << c.why;
        }
        ASSERT_EQ(ListNames(journals.string()).size(), 1u) << c.why;

        DvkRun run = RunDvk({"extract", unusable, "--to", root});
        EXPECT_EQ(run.status, 1) << c.why;
        EXPECT_EQ(run.ErrLines().front(), "dvk extract: an interrupted extract into '" + root + c.note) << c.why;
        EXPECT_TRUE(ReadTree(root) == c.after) << c.why;
        EXPECT_FALSE(fs::exists(journals)) << c.why << ": the journal and its folder are gone";
    }
}

// While one dvk extract works in a folder a second one fails at once and
// touches nothing, not even to recover.
TEST_F(DvkExtractTest, ASecondExtractIntoABusyFolderFailsAtOnce) {
    const std::string package = Pack({{"a.txt", "new a"}});
    const FileTree old = {{"a.txt", "old a"}};
    WriteTree(Path("root"), old);
    // Held the way a running dvk extract holds it.
    int held = open(Path("root").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    for (const char* to : {"root", "root/."}) {
        DvkRun run = RunDvk({"extract", package, "--to", Path(to)});
        EXPECT_EQ(run.status, 1) << to;
        EXPECT_EQ(run.out, "") << to;
        EXPECT_EQ(run.err, "dvk extract: '" + Path(to) + "' is in use by another dvk extract; nothing was changed\n")
            << to;
        EXPECT_TRUE(ReadTree(Path("root")) == old) << to;
    }
    close(held);
    DvkRun run = RunDvk({"extract", package, "--to", Path("root"), "--quiet"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadTree(Path("root")) == (FileTree{{"a.txt", "new a"}}));
}

}  // namespace
