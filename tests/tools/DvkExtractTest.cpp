// dvk extract: a package applied to a folder with the updater's engine, its
// status lines in UTF-8, and the folder unchanged whenever it fails.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>


#include <cstdlib>

#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "engine/UpdateJournal.h"
#include "package/PackageWriter.h"
#include "tests/tools/DvkRunner.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/DvkTrees.h"
#include "tests/support/KillableFileSystem.h"
#include "package/CodePage1252.h"
#include "tests/support/HandMadeDvx.h"
#include "tools/dvk/ExtractJournalFolder.h"
#include "tools/dvk/FolderLock.h"
#include "tools/dvk/FolderNesting.h"
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

TEST_F(DvkExtractTest, ADvxPackageIsAppliedByTheSameEngine) {
    const std::string big = PatternData(9000, 2);
    ASSERT_TRUE(WriteFileBytes(Path("p.dvx"), HandMadeDvxBytes("Software\\Maker\\Product",
                                                               {Stored("app.exe", "new program"),
                                                                Zstd("doc\\big.bin", big), Delete("old.txt")})));
    WriteTree(Path("root"), {{"app.exe", "old program"}, {"doc/notes.txt", "mine"}, {"old.txt", "obsolete"}});
    DvkRun run = RunDvk({"extract", Path("p.dvx"), "--to", Path("root")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadTree(Path("root")) ==
                (FileTree{{"app.exe", "new program"}, {"doc/big.bin", big}, {"doc/notes.txt", "mine"}}));
    const std::vector<std::string> lines = run.OutLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Extraction du fichier :: doc\\big.bin (91 %)"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Suppression du fichier : old.txt"), lines.end());
    EXPECT_EQ(lines.back(), kComplete);
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

// The state folder dvk uses below the test's XDG_STATE_HOME, and the text a
// folder is known by there.
fs::path StateFolder() {
    fs::path state;
    std::string error;
    EXPECT_TRUE(ExtractStateFolder(state, error)) << error;
    return state;
}

// The files directly in a folder.
FileTree TopFiles(const std::string& folder) {
    FileTree tree = ReadTree(folder);
    for (auto it = tree.begin(); it != tree.end();) it = it->first.find('/') == std::string::npos ? std::next(it) : tree.erase(it);
    return tree;
}

std::string TextOf(const std::string& folder) {
    return FolderText(fs::canonical(folder).string(), false);
}

// An extract killed halfway is put right by the next dvk extract into the
// same folder, a folder inside it or above it, started in any folder, before
// anything else: all old, or all new when it was killed after its last replace.
TEST_F(DvkExtractTest, TheNextExtractPutsRightAnInterruptedOne) {
    const FileTree old = {{"a.txt", "old a"}, {"b.txt", "old b"}, {"keep.txt", "keep"}};
    const FileTree next = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}, {"keep.txt", "keep"}};
    const std::string package = Pack({{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}});
    // The second run's package needs a file that is not there: it changes nothing itself.
    const std::string unusable = Path("unusable.dvk");
    WriteFileBytes(unusable, BuildPackageBytes("T", "K", {{kRequiredFlag, "s", "missing.txt", "x"}}));
    const char undone[] = "' was undone: its files are as before it";
    struct Case {
        const char* why;
        int newTargets;  // how many targets the killed run had replaced
        const char* note;
        FileTree after;
        const char* killedIn;  // below the case's root: the killed extract's folder
        const char* runIn;     // below the root: the folder of the next extract
        bool relative;         // the next extract is given "../root-.../runIn" from another folder
    };
    const std::vector<Case> cases = {
        {"killed after one replace", 1, undone, old, "", "", false},
        {"killed after two replaces", 2, undone, old, "", "", false},
        {"killed after the last replace", 3, "' had written every file: finished it", next, "", "", false},
        {"relative, from another folder", 1, undone, old, "", "", true},
        {"relative, finished from another folder", 3, "' had written every file: finished it", next, "", "", true},
        {"a parent's, by an extract into its child", 2, undone, old, "", "sub", false},
        {"a child's, by an extract into its parent", 2, undone, old, "sub", "", true},
    };
    for (const Case& c : cases) {
        const std::string root = Path(std::string("root-") + c.why);
        WriteTree(root, old);
        WriteTree(root + "/sub", old);
        const std::string killed = fs::canonical(root + "/" + c.killedIn).string();
        std::filesystem::path journals;
        std::string error;
        ASSERT_TRUE(ExtractJournalFolder(StateFolder(), TextOf(killed), journals, error)) << error;
        std::unique_ptr<JournalFolder> folder = OpenJournalFolder(journals.string());
        // The run that is killed: the engine as dvk runs it, stopped after
        // more and more changes until the folder holds the wanted mix.
        for (long budget = 0;; ++budget) {
            ASSERT_LT(budget, 200) << c.why;
            PatchPackage patch;
            ASSERT_TRUE(patch.Open(package));
            FixedInstallRootLookup lookup;
            lookup.Set(patch.GetRegistryKey(), killed);
            LocaleTargetFileSystem system(CreateSystemTargetFileSystem());
            KillSwitch kill(budget);
            KillableFileSystem files(system, kill);
            KillableJournalFolder killable(*folder, kill);
            NullSink sink;
            static_cast<void>(ApplyPackage(patch, sink, lookup, files, killable));  // killed: the files tell
            FileTree now = TopFiles(killed);
            int replaced = 0;
            for (const auto& [name, bytes] : next) replaced += now.count(name) && now[name] == bytes && name != "keep.txt";
            if (replaced == c.newTargets) break;
            ASSERT_NE(RecoverInterruptedUpdates(*folder, system), RecoveryOutcome::kIncomplete) << c.why;
            ASSERT_TRUE(TopFiles(killed) == old) << c.why;
        }
        ASSERT_EQ(ListNames(journals.string()).size(), 1u) << c.why;

        fs::create_directories(Path("elsewhere"));
        const std::string to = (c.relative ? std::string("../root-") + c.why : root) + (*c.runIn ? "/" : "") + c.runIn;
        DvkRun run = RunDvk({"extract", unusable, "--to", to}, Path("elsewhere"));
        EXPECT_EQ(run.status, 1) << c.why;
        const std::string named = std::string(c.killedIn) == c.runIn ? to : killed;
        EXPECT_EQ(run.ErrLines().front(), "dvk extract: an interrupted extract into '" + named + c.note) << c.why;
        EXPECT_TRUE(TopFiles(killed) == c.after) << c.why;
        EXPECT_FALSE(fs::exists(journals)) << c.why << ": the journal and its folder are gone";
    }
}

// dvk itself, killed by the system while it stages (a write past the file
// size limit), with a relative --to: its journal names the folder by its full
// path, and the next extract, started elsewhere with another relative path,
// removes what it staged there and nothing of the same names where it runs.
TEST_F(DvkExtractTest, AKilledExtractWithARelativeFolderIsUndoneFromAnywhere) {
    const FileTree old = {{"a.txt", "old a"}, {"big.bin", "old big"}};
    const std::string package = Pack({{"a.txt", "new a"}, {"big.bin", std::string(2 << 20, 'b')}});
    WriteTree(Path("work/root"), old);
    DvkRun killed = RunDvk({"extract", package, "--to", "root", "--quiet"}, Path("work"), 512);
    ASSERT_EQ(killed.status, 128 + SIGXFSZ) << "dvk was not killed: " << killed.err;

    const fs::path journals = StateFolder() / FolderKey(TextOf(Path("work/root")));
    const std::vector<std::string> names = ListNames(journals.string());
    ASSERT_EQ(names.size(), 1u);
    const JournalState journal = ParseJournal(ReadFileBytes((journals / names[0]).string()));
    ASSERT_TRUE(journal.begun);
    EXPECT_EQ(journal.root, fs::canonical(Path("work/root")).string());
    // The same names below a folder "root" where the next extract runs.
    FileTree decoys = old;
    for (const JournalEntry& entry : journal.entries) {
        for (const std::string& name : {entry.staged, entry.backup}) {
            decoys[fs::path(name).lexically_relative(journal.root).string()] = "decoy";
        }
    }
    WriteTree(Path("other/root"), decoys);

    WriteFileBytes(Path("unusable.dvk"), BuildPackageBytes("T", "K", {{kRequiredFlag, "s", "missing.txt", "x"}}));
    DvkRun run = RunDvk({"extract", Path("unusable.dvk"), "--to", "../work/./root"}, Path("other"));
    EXPECT_EQ(run.ErrLines().front(),
              "dvk extract: an interrupted extract into '../work/./root' was undone: its files are as before it");
    EXPECT_TRUE(ReadTree(Path("work/root")) == old) << "staged files are left";
    EXPECT_TRUE(ReadTree(Path("other/root")) == decoys);
    EXPECT_FALSE(fs::exists(journals));
}

// A journal under the folder's key that names the folder as typed (as an
// older dvk wrote it) is never obeyed from here: set aside, nothing changed.
TEST_F(DvkExtractTest, AJournalThatNamesARelativeRootIsSetAside) {
    WriteTree(Path("root"), {{"a.txt", "mine"}});
    std::filesystem::path journals;
    std::string error;
    ASSERT_TRUE(ExtractJournalFolder(StateFolder(), TextOf(Path("root")), journals, error)) << error;
    std::unique_ptr<JournalFolder> folder = OpenJournalFolder(journals.string());
    ASSERT_TRUE(UpdateJournal::Begin(*folder, "root", {{"root/a.txt", "root/a.txt.new", "root/a.txt.old"}}));
    const std::string name = folder->List().at(0);

    DvkRun run = RunDvk({"extract", Pack({{"a.txt", "new"}}), "--to", Path("root")});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "dvk extract: the journal '" + (journals / name).string() + "' does not name '" + Path("root") +
                           "' by its full path (an older dvk wrote it): set aside, not obeyed; check the folder by "
                           "hand, then run dvk extract again\n");
    EXPECT_EQ(ReadFileBytes(Path("root/a.txt")), "mine");
    EXPECT_TRUE(folder->List().empty()) << "set aside under another name";
    EXPECT_EQ(RunDvk({"extract", Path("p.dvk"), "--to", Path("root")}).status, 0) << "the next one goes ahead";
}

// While one dvk extract works in a folder, another into the folder, a folder
// above it or one inside it fails at once and touches nothing, not even to
// recover; one into a folder beside it goes ahead.
TEST_F(DvkExtractTest, ExtractsIntoOneFolderOrNestedFoldersExcludeEachOther) {
    const std::string package = Pack({{"a.txt", "new a"}});
    struct Case {
        const char* held;  // below the test's folder: where a running extract works
        const char* to;
        bool refused;
    };
    const std::vector<Case> cases = {
        {"root", "root", true},       {"root", "root/.", true},         {"root", "root/sub", true},
        {"root/sub", "root", true},   {"root", "root/sub/deeper", true}, {"root/sub", "root/other", false},
        {"root/sub", "root/sub2", false},
    };
    for (const Case& c : cases) {
        TempDir each;
        const FileTree old = {{"a.txt", "old a"}};
        for (const char* folder : {"root", "root/sub", "root/sub/deeper", "root/other", "root/sub2"}) {
            WriteTree(each.File(folder), old);
        }
        FolderLock running;  // held the way a running dvk extract holds it
        std::string error;
        ASSERT_TRUE(running.Open(StateFolder() / "lock", error)) << error;
        ASSERT_TRUE(running.TryLock(FolderAndAncestors(TextOf(each.File(c.held))))) << c.held;
        const std::string to = each.File(c.to);
        DvkRun run = RunDvk({"extract", package, "--to", to, "--quiet"});
        const std::string why = std::string(c.held) + " held, extract into " + c.to;
        if (!c.refused) {
            EXPECT_EQ(run.status, 0) << why << ": " << run.err;
            continue;
        }
        EXPECT_EQ(run.status, 1) << why;
        EXPECT_EQ(run.out, "") << why;
        EXPECT_EQ(run.err, "dvk extract: '" + to + "' is in use by another dvk extract (into it, a folder above it or "
                           "one inside it); nothing was changed\n") << why;
        EXPECT_EQ(ReadFileBytes(to + "/a.txt"), "old a") << why;
    }
    // Once the running one ends, the folder is free.
    TempDir after;
    WriteTree(after.File("root"), {{"a.txt", "old a"}});
    EXPECT_EQ(RunDvk({"extract", package, "--to", after.File("root"), "--quiet"}).status, 0);
}

}  // namespace
