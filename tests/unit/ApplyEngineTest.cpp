// Apply: the status lines it shows, the files it writes, and that any failure
// leaves the install root exactly as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/GuardedApply.h"
#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "engine/StatusLines.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/InstallRootFixture.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = kProductKey;

std::string Text(int id) { return LoadMessageString(id); }
std::string Testing(const std::string& name) { return "Test : " + name; }
std::string Extracting(const std::string& name) { return "Extraction du fichier : " + name; }
std::string Progress(const std::string& name, int percent) {
    return "Extraction du fichier :: " + name + " (" + std::to_string(percent) + " %)";
}

class ApplyEngineTest : public InstallRootFixture {
protected:
    // Writes the package, opens it and applies it with the given file system.
    ApplyResult Run(const std::vector<PackageContent>& entries, TargetFileSystem& files) {
        EXPECT_TRUE(WriteAndOpenPackage(package_, dir_.File("update.dvk"), kKey, entries));
        return ApplyPackage(package_, sink_, lookup_, files, *journals_);
    }
    bool Apply(const std::vector<PackageContent>& entries, TargetFileSystem& files) {
        return Run(entries, files) == ApplyResult::kApplied;
    }
    bool Apply(const std::vector<PackageContent>& entries) { return Apply(entries, *files_); }
};

TEST_F(ApplyEngineTest, AppliesTheExamplePackageLineByLine) {
    Install("a.dll", "old a");
    ASSERT_TRUE(WriteFileBytes(dir_.File("example.dvk"), ExamplePackageBytes()));
    ASSERT_TRUE(package_.Open(dir_.File("example.dvk")));
    lookup_.Set("Software\\Example", root_);

    EXPECT_EQ(ApplyPackage(package_, sink_, lookup_, *files_, *journals_), ApplyResult::kApplied);
    EXPECT_EQ(sink_.lines, (std::vector<std::string>{
                               Testing("a.dll"), Testing("readme.txt"), Extracting("a.dll"), Progress("a.dll", 100),
                               Extracting("readme.txt"), Progress("readme.txt", 100),
                               "Mise \xE0 jour termin\xE9" "e. Cliquez sur Fermer."}));
    EXPECT_EQ(Installed("a.dll"), "0123456789");
    EXPECT_EQ(Installed("readme.txt"), "abc");
    EXPECT_EQ(SnapshotTree(root_).size(), 2u) << "no staging or backup file is left";
    EXPECT_TRUE(package_.IsOpen()) << "the caller closes the package";
}

TEST_F(ApplyEngineTest, OneProgressLineAfterEveryBlock) {
    struct Case {
        std::int32_t size;
        std::vector<int> percentages;
    };
    const Case cases[] = {
        {0, {}},
        {1, {100}},
        {4096, {100}},
        {4097, {100, 100}},
        {10000, {41, 82, 100}},
        {32768, {13, 25, 38, 50, 63, 75, 88, 100}},
    };
    for (const Case& c : cases) {
        sink_.lines.clear();
        std::string data = PatternData(static_cast<std::size_t>(c.size), static_cast<unsigned>(c.size));
        ASSERT_TRUE(Apply({{0, "src", "file.bin", data}})) << c.size;
        std::vector<std::string> expected = {Testing("file.bin"), Extracting("file.bin")};
        for (int percent : c.percentages) expected.push_back(Progress("file.bin", percent));
        expected.push_back(Text(IDS_UPDATE_COMPLETE));
        EXPECT_EQ(sink_.lines, expected) << c.size;
        EXPECT_EQ(Installed("file.bin"), data) << c.size;
        package_.Close();
    }
}

TEST_F(ApplyEngineTest, PercentagesRoundExactHalvesAwayFromZero) {
    EXPECT_EQ(CopiedPercentage(32768, 28672), 12.5f);
    EXPECT_EQ(RoundHalfAwayFromZero(12.5), 13);
    EXPECT_EQ(RoundHalfAwayFromZero(62.5), 63);
    EXPECT_EQ(RoundHalfAwayFromZero(12.49), 12);
    EXPECT_EQ(RoundHalfAwayFromZero(0.5), 1);
    EXPECT_EQ(RoundHalfAwayFromZero(99.5), 100);
    EXPECT_EQ(CopiedPercentage(10000, 5904), 40.96f);
    EXPECT_EQ(ProgressLine("a%sb", 40.96f), "Extraction du fichier :: a%sb (41 %)") << "a '%' in a name stays as it is";
}

TEST_F(ApplyEngineTest, EmptyAndNegativeSizesTruncateTheTarget) {
    Install("empty.txt", "something");
    std::string bytes;
    AppendString(bytes, "T");
    AppendString(bytes, kKey);
    AppendInt32(bytes, 2);
    std::size_t table = bytes.size();
    AppendInt32(bytes, 0);
    AppendInt32(bytes, 0);
    PutInt32(bytes, table, static_cast<std::int32_t>(bytes.size()));
    AppendRecord(bytes, 0, 0, "s", "empty.txt", "");
    PutInt32(bytes, table + 4, static_cast<std::int32_t>(bytes.size()));
    AppendRecord(bytes, 0, -7, "s", "negative.txt", "");
    ASSERT_TRUE(WriteFileBytes(dir_.File("sizes.dvk"), bytes));
    ASSERT_TRUE(package_.Open(dir_.File("sizes.dvk")));

    EXPECT_EQ(ApplyPackage(package_, sink_, lookup_, *files_, *journals_), ApplyResult::kApplied);
    EXPECT_EQ(sink_.lines, (std::vector<std::string>{Testing("empty.txt"), Testing("negative.txt"),
                                                     Extracting("empty.txt"), Extracting("negative.txt"),
                                                     Text(IDS_UPDATE_COMPLETE)}));
    bool exists = false;
    EXPECT_EQ(ReadFileBytes(files_->TargetPath(root_, "empty.txt"), &exists), "");
    EXPECT_TRUE(exists);
    EXPECT_EQ(ReadFileBytes(files_->TargetPath(root_, "negative.txt"), &exists), "");
    EXPECT_TRUE(exists) << "a negative size creates an empty file";
}

TEST_F(ApplyEngineTest, ZeroOrNegativeCountStillNeedsTheProduct) {
    for (std::int32_t count : {0, -3}) {
        std::string bytes;
        AppendString(bytes, "T");
        AppendString(bytes, kKey);
        AppendInt32(bytes, count);
        ASSERT_TRUE(WriteFileBytes(dir_.File("none.dvk"), bytes));

        PatchPackage installed;
        ASSERT_TRUE(installed.Open(dir_.File("none.dvk")));
        RecordingSink sink;
        EXPECT_EQ(ApplyPackage(installed, sink, lookup_, *files_, *journals_), ApplyResult::kApplied);
        EXPECT_EQ(sink.lines, std::vector<std::string>{Text(IDS_UPDATE_COMPLETE)});

        PatchPackage missing;
        ASSERT_TRUE(missing.Open(dir_.File("none.dvk")));
        FixedInstallRootLookup nothing;
        RecordingSink sink2;
        EXPECT_NE(ApplyPackage(missing, sink2, nothing, *files_, *journals_), ApplyResult::kApplied);
        EXPECT_EQ(sink2.lines, std::vector<std::string>{Text(IDS_NOT_INSTALLED)});
    }
}

TEST_F(ApplyEngineTest, NotInstalledReadsAndWritesNothing) {
    FixedInstallRootLookup emptyPath;
    emptyPath.Set(kKey, "");  // a "Path" that is there but empty
    FixedInstallRootLookup otherProduct;
    otherProduct.Set("Software\\Someone\\Else", root_);
    for (InstallRootLookup* lookup : std::vector<InstallRootLookup*>{&emptyPath, &otherProduct}) {
        PatchPackage package;
        ASSERT_TRUE(WriteAndOpenPackage(package, dir_.File("p.dvk"), kKey, {{0, "s", "new.txt", "data"}}));
        std::int64_t position = package.Stream().Position();
        RecordingSink sink;
        EXPECT_NE(ApplyPackage(package, sink, *lookup, *files_, *journals_), ApplyResult::kApplied);
        EXPECT_EQ(sink.lines, std::vector<std::string>{Text(IDS_NOT_INSTALLED)});
        EXPECT_EQ(package.Stream().Position(), position) << "nothing was read from the package";
        EXPECT_TRUE(SnapshotTree(root_).empty());
    }
}

TEST_F(ApplyEngineTest, AMissingRequiredFileStopsBeforeAnythingIsWritten) {
    Install("present.dll", "keep me");
    const auto before = SnapshotTree(root_);
    // Missing as the first entry, then as the last.
    const std::vector<std::vector<PackageContent>> packages = {
        {{kRequiredFlag, "s", "missing.dll", "x"}, {0, "s", "present.dll", "new"}},
        {{kRequiredFlag, "s", "present.dll", "new"}, {0, "s", "other.txt", "o"}, {0xFF, "s", "sub\\gone.dll", "y"}},
    };
    const std::vector<std::vector<std::string>> expected = {
        {Testing("missing.dll"), Text(IDS_REQUIRED_FILE_MISSING) + " missing.dll"},
        {Testing("present.dll"), Testing("other.txt"), Testing("sub\\gone.dll"),
         "Impossible de trouver un fichier n\xE9" "cessaire \xE0 la mise \xE0 jour : sub\\gone.dll"},
    };
    for (std::size_t i = 0; i < packages.size(); ++i) {
        sink_.lines.clear();
        package_.Close();
        EXPECT_FALSE(Apply(packages[i])) << i;
        EXPECT_EQ(sink_.lines, expected[i]) << i;
        EXPECT_EQ(SnapshotTree(root_), before) << i;
    }
}

TEST_F(ApplyEngineTest, ARequiredDirectoryIsNotARequiredFile) {
    fs::create_directories(root_ + "/plugin.dll");
    EXPECT_FALSE(Apply({{kRequiredFlag, "s", "plugin.dll", "x"}}));
    EXPECT_EQ(sink_.lines.back(), Text(IDS_REQUIRED_FILE_MISSING) + " plugin.dll");
}

TEST_F(ApplyEngineTest, ARootEndingInASeparatorStillWorks) {
    lookup_.Set(kKey, root_ + "/");
    fs::create_directories(root_ + "/bin");
    EXPECT_TRUE(Apply({{0, "s", "bin\\tool.exe", "MZ"}}));
    EXPECT_EQ(ReadFileBytes(root_ + "/bin/tool.exe"), "MZ");
    EXPECT_EQ(files_->TargetPath(root_ + "/", "bin\\tool.exe").find("//") != std::string::npos ||
                  files_->TargetPath(root_ + "/", "bin\\tool.exe").find("/\\") != std::string::npos,
              true)
        << "the root and the name are joined as they stand";
}

TEST_F(ApplyEngineTest, ATargetNamedTwiceEndsWithTheLaterBytes) {
    Install("twice.txt", "original");
    EXPECT_TRUE(Apply({{0, "s", "twice.txt", "first"}, {0, "s", "other.txt", "o"}, {0, "s", "twice.txt", "second"}}));
    EXPECT_EQ(Installed("twice.txt"), "second");
    EXPECT_EQ(SnapshotTree(root_).size(), 2u);
}

TEST_F(ApplyEngineTest, ADuplicatedSlotWritesTheEntryTwice) {
    std::string bytes = ExamplePackageBytes();
    PutInt32(bytes, 27, 62);  // both slots name readme.txt
    ASSERT_TRUE(WriteFileBytes(dir_.File("dup.dvk"), bytes));
    ASSERT_TRUE(package_.Open(dir_.File("dup.dvk")));
    lookup_.Set("Software\\Example", root_);
    EXPECT_EQ(ApplyPackage(package_, sink_, lookup_, *files_, *journals_), ApplyResult::kApplied);
    EXPECT_EQ(sink_.lines, (std::vector<std::string>{Testing("readme.txt"), Testing("readme.txt"),
                                                     Extracting("readme.txt"), Progress("readme.txt", 100),
                                                     Extracting("readme.txt"), Progress("readme.txt", 100),
                                                     Text(IDS_UPDATE_COMPLETE)}));
    EXPECT_EQ(Installed("readme.txt"), "abc");
}

// A failure at any entry, while staging or while committing, shows which
// target could not be written and leaves the install root as it was.
TEST_F(ApplyEngineTest, EveryWriteFailureLeavesTheRootUnchanged) {
    fs::create_directories(root_ + "/sub");
    Install("a.dll", PatternData(9000, 1));
    Install("sub\\c.txt", "old c");
    const auto before = SnapshotTree(root_);
    const std::vector<PackageContent> entries = {
        {kRequiredFlag, "s", "a.dll", PatternData(10000, 2)},
        {0, "s", "b-new.bin", PatternData(5000, 3)},
        {0, "s", "sub\\c.txt", PatternData(4097, 4)},
    };
    using Op = FaultyFileSystem::Operation;
    for (Op op : {Op::kCreate, Op::kWrite, Op::kClose, Op::kReplace}) {
        for (const PackageContent& failing : entries) {
            FaultyFileSystem faulty(op, files_->TargetPath("", failing.targetName));
            sink_.lines.clear();
            package_.Close();
            std::string where = "op " + std::to_string(static_cast<int>(op)) + " on " + failing.targetName;
            EXPECT_FALSE(Apply(entries, faulty)) << where;
            EXPECT_TRUE(faulty.Injected()) << where;
            ASSERT_FALSE(sink_.lines.empty());
            EXPECT_EQ(sink_.lines.back(), Text(IDS_WRITE_FAILED) + " " + failing.targetName) << where;
            EXPECT_EQ(SnapshotTree(root_), before) << where;
            EXPECT_TRUE(journals_->List().empty()) << where << ": the journal goes with the undo";
        }
    }
}

// Staging and backup names never meet a target of the package or a file that
// is there already, whatever the targets are called.
TEST_F(ApplyEngineTest, StagingNamesNeverMeetTargetsOrExistingFiles) {
    // Reports the file at one name (a short name, which only Windows makes)
    // as the file at another: the identity check must stop the update.
    class ShortNameFileSystem : public FaultyFileSystem {
    public:
        ShortNameFileSystem(std::string shortName, std::string longName)
            : FaultyFileSystem(Operation::kNone, ""), short_(std::move(shortName)), long_(std::move(longName)) {}
        std::optional<FileIdentity> IdentityOf(const std::string& path) override {
            const bool aliased = !short_.empty() && path.size() >= short_.size() &&
                                 path.compare(path.size() - short_.size(), short_.size(), short_) == 0;
            return FaultyFileSystem::IdentityOf(aliased ? path.substr(0, path.size() - short_.size()) + long_ : path);
        }

    private:
        std::string short_, long_;
    };
    struct Case {
        const char* why;
        std::vector<std::pair<std::string, std::string>> installed;
        std::vector<PackageContent> entries;
        const char* failing;  // the target whose write fails, or null
        std::map<std::string, std::string> written = {};  // the files the entries end up as, when not their names
        std::pair<std::string, std::string> shortName = {};  // a name that opens the file of another
    };
    const std::vector<Case> cases = {
        {"a target named like the next entry's staged file", {},
         {{0, "s", "a.~dvk1.new", "first"}, {0, "s", "a", "second"}}, nullptr},
        {"a target named like an earlier entry's backup", {{"a", "old"}},
         {{0, "s", "a", "new a"}, {0, "s", "a.~dvk0.old", "mine"}}, nullptr},
        {"the user's files named like staging files, then a failure",
         {{"a", "old"}, {"a.~dvk0.new", "user's new"}, {"a.~dvk0.old", "user's old"}, {"dir.dat/x", "x"}},
         {{0, "s", "a", "new a"}, {0, "s", "dir.dat", "cannot replace a folder"}}, "dir.dat"},
        {"a target named like a staged file through a '.' folder", {},
         {{0, "s", "b.~dvk1.new", "first"}, {0, "s", ".\\b", "second"}}, nullptr},
        {"a target named like a staged file through a doubled separator", {{"sub\\keep", "k"}},
         {{0, "s", "sub\\\\a.~dvk1.new", "first"}, {0, "s", "sub\\a", "second"}}, nullptr},
        {"a target that is a later staged file's short name (told by identity)", {},
         {{0, "s", "A~DVK1~1.NEW", "first"}, {0, "s", "a", "second"}}, "A~DVK1~1.NEW", {},
         {"A~DVK1~1.NEW", "a.~dvk1.new"}},
#ifdef _WIN32
        {"a target named like a staged file in another case", {},
         {{0, "s", "A.~DVK1.NEW", "first"}, {0, "s", "a", "second"}}, nullptr},
        {"a target named like a staged file with a trailing dot", {},
         {{0, "s", "a.~dvk1.new.", "first"}, {0, "s", "a", "second"}}, nullptr,
         {{"a.~dvk1.new", "first"}, {"a", "second"}}},
        {"a target named like a staged file with a trailing space", {},
         {{0, "s", "a.~dvk1.new ", "first"}, {0, "s", "a", "second"}}, nullptr,
         {{"a.~dvk1.new", "first"}, {"a", "second"}}},
#endif
    };
    for (const Case& c : cases) {
        fs::remove_all(root_);
        fs::create_directories(root_);
        for (const auto& [name, bytes] : c.installed) {
            fs::create_directories(fs::path(files_->TargetPath(root_, name)).parent_path());
            Install(name, bytes);
        }
        const auto before = SnapshotTree(root_);
        sink_.lines.clear();
        package_.Close();
        ShortNameFileSystem files(c.shortName.first, c.shortName.second);
        EXPECT_EQ(Apply(c.entries, files), c.failing == nullptr) << c.why;
        if (c.failing != nullptr) {
            EXPECT_EQ(sink_.lines.back(), Text(IDS_WRITE_FAILED) + " " + c.failing) << c.why;
            EXPECT_EQ(SnapshotTree(root_), before) << c.why;
            continue;
        }
        std::map<std::string, std::string> expected = before;
        for (const PackageContent& entry : c.entries) {
            expected[fs::path(files_->TargetPath("", entry.targetName)).lexically_normal().generic_string().substr(1)] =
                Fingerprint(entry.data);
        }
        if (!c.written.empty()) {
            expected = before;
            for (const auto& [name, bytes] : c.written) expected[name] = Fingerprint(bytes);
        }
        EXPECT_EQ(SnapshotTree(root_), expected) << c.why;
    }
}

// A failure whose undo cannot put a replaced target back (another program
// holds it) says so instead of claiming that nothing changed; the journal
// stays, and recovery finishes the undo once the target is free.
TEST_F(ApplyEngineTest, AnUndoThatCannotRestoreIsReportedAndFinishedByRecovery) {
    // Every restore from a backup fails, as for a target held open.
    class LockedTargets : public FaultyFileSystem {
    public:
        using FaultyFileSystem::FaultyFileSystem;
        bool MoveReplacing(const std::string& from, const std::string& to) override {
            return !Locked(from) && FaultyFileSystem::MoveReplacing(from, to);
        }
        static bool Locked(const std::string& from) { return from.size() > 4 && from.substr(from.size() - 4) == ".old"; }
    };
    Install("a.dll", "old a");
    Install("b.dll", "old b");
    const auto before = SnapshotTree(root_);
    const std::vector<PackageContent> entries = {
        {0, "s", "a.dll", "new a"}, {0, "s", "b.dll", "new b"}, {0, "s", "c-new.txt", "new c"}};
    for (const bool throws : {false, true}) {
        for (const char* failing : {"b.dll", "c-new.txt"}) {
            const std::string why = std::string(failing) + (throws ? " throws" : " fails");
            LockedTargets locked(FaultyFileSystem::Operation::kReplace, files_->TargetPath("", failing), throws);
            sink_.lines.clear();
            package_.Close();
            // An exception whose undo fails says the same: a target is new already.
            EXPECT_NE(ApplyGuarded([&] { return Run(entries, locked); }, sink_), ApplyResult::kApplied) << why;
            EXPECT_EQ(sink_.lines.back(), Text(IDS_UNDO_INCOMPLETE)) << why;
            EXPECT_EQ(Installed("a.dll"), "new a") << why << ": the target that could not be put back";
            ASSERT_EQ(journals_->List().size(), 1u) << why;

            LockedTargets stillLocked(FaultyFileSystem::Operation::kNone, "");
            EXPECT_EQ(RecoverInterruptedUpdates(*journals_, stillLocked), RecoveryOutcome::kIncomplete) << why;
            EXPECT_EQ(journals_->List().size(), 1u) << why << ": kept for the next start";
            EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kUndone) << why;
            EXPECT_EQ(SnapshotTree(root_), before) << why;
            EXPECT_TRUE(journals_->List().empty()) << why;
        }
    }
}

// An update that could not be undone whole stops the updates of its own
// files, and of the folders around them, until it is recovered; other
// products update as usual.
TEST_F(ApplyEngineTest, AnUndoLeftIncompleteStopsOnlyTheUpdatesOfItsOwnFiles) {
    Install("a.dll", "old a");
    Install("b.dll", "old b");
    class HeldBackup : public FaultyFileSystem {
    public:
        using FaultyFileSystem::FaultyFileSystem;
        bool MoveReplacing(const std::string& from, const std::string& to) override {
            return from.compare(from.size() - 4, 4, ".old") != 0 && FaultyFileSystem::MoveReplacing(from, to);
        }
    } held(FaultyFileSystem::Operation::kReplace, files_->TargetPath("", "b.dll"));
    ASSERT_FALSE(Apply({{0, "s", "a.dll", "new a"}, {0, "s", "b.dll", "new b"}}, held));
    ASSERT_EQ(journals_->List().size(), 1u);
    fs::create_directories(root_ + "/sub");
    fs::create_directories(dir_.File("other"));
    const auto stuck = SnapshotTree(root_);

    struct Row {
        const char* why;
        std::string root;
        bool applied;
    };
    const Row rows[] = {
        {"the same root", root_, false},
        {"a folder inside it", root_ + "/sub", false},
        {"the folder above it", dir_.Path(), false},
        {"another product", dir_.File("other"), true},
    };
    for (const Row& row : rows) {
        lookup_.Set("Software\\Other", row.root);
        sink_.lines.clear();
        package_.Close();
        ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("other.dvk"), "Software\\Other", {{0, "s", "o.txt", "o"}}));
        EXPECT_EQ(ApplyPackage(package_, sink_, lookup_, *files_, *journals_) == ApplyResult::kApplied, row.applied)
            << row.why;
        if (!row.applied) {
            EXPECT_EQ(sink_.lines, std::vector<std::string>{Text(IDS_UNDO_INCOMPLETE)}) << row.why;
        }
        EXPECT_EQ(FileExists(row.root + "/o.txt"), row.applied) << row.why;
    }
    EXPECT_EQ(SnapshotTree(root_), stuck);
    EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kUndone);
}

#ifndef _WIN32
// The program's own journal folder is needed only once the product is found:
// for one that is not installed the only line is 112, whatever the folder.
TEST_F(ApplyEngineTest, AProductNotInstalledIsToldBeforeTheJournalFolderIsNeeded) {
    ASSERT_TRUE(WriteFileBytes(dir_.File("state"), "a file where the state folder belongs"));
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_STATE_HOME", dir_.File("state").c_str(), 1);
    ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("update.dvk"), kKey, {{0, "s", "a.dll", "new a"}}));
    EXPECT_NE(ApplyPackage(package_, sink_), ApplyResult::kApplied);
    saved != nullptr ? ::setenv("XDG_STATE_HOME", restore.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(sink_.lines, std::vector<std::string>{Text(IDS_NOT_INSTALLED)});
}
#endif

TEST_F(ApplyEngineTest, AJournalThatCannotBeWrittenStopsBeforeAnyFileIsMade) {
    Install("a.dll", "old a");
    const auto before = SnapshotTree(root_);
    journals_ = OpenJournalFolder(dir_.File("no-such-folder"));
    EXPECT_FALSE(Apply({{0, "s", "a.dll", "new a"}, {0, "s", "b.txt", "b"}}));
    EXPECT_EQ(sink_.lines, (std::vector<std::string>{Testing("a.dll"), Testing("b.txt"), Text(IDS_START_FAILED)}));
    EXPECT_EQ(SnapshotTree(root_), before);
}

// An exception at any step (memory running out) unwinds the staging, ends
// with the one failure line, and the finishing step (Close) still comes last.
TEST_F(ApplyEngineTest, AnExceptionLeavesTheRootUnchangedAndEndsWithOneFailureLine) {
    Install("a.dll", PatternData(9000, 1));
    const auto before = SnapshotTree(root_);
    const std::vector<PackageContent> entries = {
        {kRequiredFlag, "s", "a.dll", PatternData(10000, 2)},
        {0, "s", "b-new.bin", PatternData(5000, 3)},
    };
    using Op = FaultyFileSystem::Operation;
    struct Case {
        const char* why;
        Op op;
        const char* target;
    };
    const Case cases[] = {
        {"creating the second staged file", Op::kCreate, "b-new.bin"},
        {"writing the first", Op::kWrite, "a.dll"},
        {"closing the second", Op::kClose, "b-new.bin"},
        {"replacing an installed file", Op::kReplace, "a.dll"},
        {"moving a new file in after the first was replaced", Op::kReplace, "b-new.bin"},
    };
    const std::string kFinished = "<Close enabled>";
    for (const Case& c : cases) {
        FaultyFileSystem throwing(c.op, c.target, true);
        sink_.lines.clear();
        package_.Close();
        const ApplyResult result = ApplyGuarded([&] { return Run(entries, throwing); }, sink_,
                                                [&] { sink_.lines.push_back(kFinished); });
        EXPECT_EQ(result, ApplyResult::kFailed) << c.why;
        EXPECT_TRUE(throwing.Injected()) << c.why;
        ASSERT_GE(sink_.lines.size(), 2u) << c.why;
        EXPECT_EQ(sink_.lines.back(), kFinished) << c.why;
        EXPECT_EQ(sink_.lines[sink_.lines.size() - 2], Text(IDS_UPDATE_FAILED)) << c.why;
        EXPECT_EQ(std::count(sink_.lines.begin(), sink_.lines.end(), Text(IDS_UPDATE_FAILED)), 1) << c.why;
        EXPECT_EQ(SnapshotTree(root_), before) << c.why;
    }

    // Without an exception the update's own last line stays the last one.
    sink_.lines.clear();
    package_.Close();
    EXPECT_EQ(ApplyGuarded([&] { return Run(entries, *files_); }, sink_, [&] { sink_.lines.push_back(kFinished); }), ApplyResult::kApplied);
    ASSERT_GE(sink_.lines.size(), 2u);
    EXPECT_EQ(sink_.lines[sink_.lines.size() - 2], Text(IDS_UPDATE_COMPLETE));
    EXPECT_EQ(sink_.lines.back(), kFinished);
}

TEST_F(ApplyEngineTest, TargetsThatCannotBeCreatedAreReported) {
    fs::create_directories(root_ + "/folder.dat");
    Install("keep.txt", "keep");
    const auto before = SnapshotTree(root_);
    const std::string tooLong(300, 'n');  // longer than any file name may be
    for (const std::string& target : {std::string("no-such-dir\\file.txt"), std::string("folder.dat"), tooLong}) {
        sink_.lines.clear();
        package_.Close();
        EXPECT_FALSE(Apply({{0, "s", "keep.txt", "changed"}, {0, "s", target, "x"}})) << target;
        EXPECT_EQ(sink_.lines.back(), "Impossible d'\xE9" "crire le fichier : " + target);
        EXPECT_EQ(SnapshotTree(root_), before) << target;
        EXPECT_TRUE(journals_->List().empty()) << target << ": the undo is whole";
    }
}

TEST_F(ApplyEngineTest, PackageDataCutShortAfterOpenIsReportedAndNothingChanges) {
#ifdef _WIN32
    GTEST_SKIP() << "nobody can write to an open package on Windows (Win32ApplyTest)";
#endif
    Install("a.bin", "old");
    const auto before = SnapshotTree(root_);
    ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("cut.dvk"), kKey,
                                    {{0, "s", "a.bin", PatternData(3000)}, {0, "s", "b.bin", PatternData(9000)}}));
    std::uintmax_t size = fs::file_size(dir_.File("cut.dvk"));
    fs::resize_file(dir_.File("cut.dvk"), size - 100);  // the download went wrong after the list was read

    EXPECT_NE(ApplyPackage(package_, sink_, lookup_, *files_, *journals_), ApplyResult::kApplied);
    EXPECT_EQ(sink_.lines.back(), Text(IDS_PACKAGE_DAMAGED));
    EXPECT_EQ(sink_.lines[sink_.lines.size() - 2], Progress("b.bin", 91)) << "the blocks that could be read";
    EXPECT_EQ(SnapshotTree(root_), before);
}

TEST_F(ApplyEngineTest, APackageChangedAfterOpenIsDamaged) {
#ifdef _WIN32
    GTEST_SKIP() << "nobody can write to an open package on Windows (Win32ApplyTest)";
#endif
    ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("changed.dvk"), kKey, {{0, "s", "a.bin", "12345"}}));
    std::string bytes = ReadFileBytes(dir_.File("changed.dvk"));
    bytes[bytes.size() - 5 - 6] = 'X';  // "a.bin" in the record becomes "X.bin"
    ASSERT_TRUE(WriteFileBytes(dir_.File("changed.dvk"), bytes));
    EXPECT_NE(ApplyPackage(package_, sink_, lookup_, *files_, *journals_), ApplyResult::kApplied);
    EXPECT_EQ(sink_.lines.back(), Text(IDS_PACKAGE_DAMAGED));
    EXPECT_TRUE(SnapshotTree(root_).empty());
}

TEST_F(ApplyEngineTest, APackageThatIsNotOpenIsNotApplied) {
    PatchPackage never;
    EXPECT_NE(ApplyPackage(never, sink_, lookup_, *files_, *journals_), ApplyResult::kApplied);
    EXPECT_EQ(sink_.lines, std::vector<std::string>{Text(IDS_PACKAGE_DAMAGED)});
    EXPECT_TRUE(SnapshotTree(root_).empty());
}

#ifndef _WIN32
TEST_F(ApplyEngineTest, AReplacedFileKeepsItsPermissionsButNoSetIdBit) {
    const mode_t cases[][2] = {{0750, 0750}, {0644, 0644}, {04755, 0755}, {02775, 0775}, {07777, 0777}};
    for (const auto& c : cases) {
        Install("tool.sh", "#!/bin/sh\n");
        ASSERT_EQ(::chmod((root_ + "/tool.sh").c_str(), c[0]), 0);
        EXPECT_TRUE(Apply({{0, "s", "tool.sh", "#!/bin/sh\necho new\n"}})) << std::oct << c[0];
        EXPECT_EQ(static_cast<mode_t>(fs::status(root_ + "/tool.sh").permissions()), c[1]) << std::oct << c[0];
        package_.Close();
    }
}

// A link below the root, planted before the update or swapped in for a
// folder while it runs, never sends a file outside the root.
TEST_F(ApplyEngineTest, NoFileIsWrittenThroughALinkBelowTheRoot) {
    const std::string outside = dir_.File("outside");
    fs::create_directories(outside + "/deep");
    ASSERT_TRUE(WriteFileBytes(outside + "/suid", "a privileged program"));
    ASSERT_EQ(::chmod((outside + "/suid").c_str(), 04755), 0);
    fs::create_directories(root_ + "/sub");
    fs::create_directory_symlink(outside, root_ + "/plugins");
    fs::create_directory_symlink(outside + "/deep", root_ + "/sub/deep");
    fs::create_symlink(outside + "/suid", root_ + "/tool");
    fs::create_directory_symlink(root_, dir_.File("root-link"));
    const auto outsideBefore = SnapshotTree(outside);
    const auto before = SnapshotTree(root_);
    const char* const targets[] = {"plugins\\x.dll", "sub\\deep\\x.dll", "sub\\.\\deep\\x.dll", "tool", "sub\\x.dll"};
    for (const char* target : targets) {  // refused, except the last
        for (const std::string& root : {root_, dir_.File("root-link")}) {  // the root may be reached by a link
            lookup_.Set(kKey, root);
            sink_.lines.clear();
            package_.Close();
            const bool refused = target != targets[4];
            EXPECT_EQ(Apply({{0, "s", "new.txt", "n"}, {0, "s", target, "x"}}), !refused) << target << " " << root;
            EXPECT_EQ(SnapshotTree(outside), outsideBefore) << target;
            if (refused) {  // before it was staged: no progress line
                EXPECT_EQ(sink_.lines.back(), Text(IDS_WRITE_FAILED) + " " + target) << target;
                EXPECT_EQ(sink_.lines[sink_.lines.size() - 2], Extracting(target)) << target;
            }
            fs::remove(root_ + "/new.txt");
            fs::remove(root_ + "/sub/x.dll");
            EXPECT_EQ(SnapshotTree(root_), before) << target;
        }
    }
    EXPECT_EQ(fs::status(outside + "/suid").permissions() & fs::perms::set_uid, fs::perms::set_uid);

    // A folder swapped for a link after its file was staged, the staged file taken along.
    struct SwappingSink : RecordingSink {
        std::function<void()> onLastEntry;
        void SetStatusLine(const std::string& text) override {
            RecordingSink::SetStatusLine(text);
            if (text == "Extraction du fichier : last.txt") onLastEntry();
        }
    } swapping;
    swapping.onLastEntry = [&] {
        fs::rename(root_ + "/sub", dir_.File("sub-moved"));
        fs::create_directory_symlink(outside, root_ + "/sub");
        for (const fs::directory_entry& staged : fs::directory_iterator(dir_.File("sub-moved"))) {
            if (fs::is_regular_file(fs::symlink_status(staged.path()))) {
                fs::copy_file(staged.path(), fs::path(outside) / staged.path().filename());
            }
        }
    };
    lookup_.Set(kKey, root_);
    package_.Close();
    ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("swap.dvk"), kKey,
                                    {{0, "s", "sub\\x.dll", "x"}, {0, "s", "last.txt", "l"}}));
    EXPECT_NE(ApplyPackage(package_, swapping, lookup_, *files_, *journals_), ApplyResult::kApplied);
    // Neither the replacement nor the undo goes through the link: the staged
    // name found there is not deleted, so the undo is not whole.
    EXPECT_EQ(swapping.lines.back(), Text(IDS_UNDO_INCOMPLETE));
    EXPECT_FALSE(fs::exists(outside + "/x.dll"));
    EXPECT_TRUE(fs::exists(outside + "/x.dll.~dvk0.new"));
    // Recovery keeps to the same rule while the link stays, and keeps the journal.
    const auto outsideBeforeRecovery = SnapshotTree(outside);
    EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kIncomplete);
    EXPECT_EQ(SnapshotTree(outside), outsideBeforeRecovery);
    EXPECT_EQ(journals_->List().size(), 1u);
}
#endif

}  // namespace
