// Recovery: an update killed at any point, and a recovery killed at any
// point, end with every target of the package old, all together, or all new.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "engine/UpdateJournal.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/KillableFileSystem.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

const char kKey[] = "Software\\Maker\\Product";

using Tree = std::map<std::string, std::string>;

class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = dir_.File("work");
        root_ = work_ + "/install";
        journalsPath_ = work_ + "/journals";
        lookup_.Set(kKey, root_);
        ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("update.dvk"), kKey,
                                        {{kRequiredFlag, "s", "a.dll", PatternData(5000, 1)},
                                         {0, "s", "b-new.txt", "brand new"},
                                         {0, "s", "sub\\c.txt", PatternData(4097, 2)},
                                         {0, "s", "a.dll", "a second time"}}));
        Install();
        oldTree_ = SnapshotTree(root_);
        RecordingSink sink;
        ASSERT_EQ(ApplyPackage(package_, sink, lookup_, *files_, *journals_), ApplyResult::kApplied);
        newTree_ = SnapshotTree(root_);
    }

    // The installed product, with files of the user's own named like the
    // staging files of earlier versions: recovery must never touch them.
    void Install() {
        journals_.reset();  // it holds its folder open
        fs::remove_all(work_);
        fs::create_directories(root_ + "/sub");
        fs::create_directories(journalsPath_);
        journals_ = OpenJournalFolder(journalsPath_);
        for (const auto& [name, bytes] : Tree{{"a.dll", "old a"},
                                              {"sub/c.txt", "old c"},
                                              {"a.dll.~dvk0.new", "the user's"},
                                              {"a.dll.~dvk0.old", "the user's too"},
                                              {"keep.txt", "keep"}}) {
            ASSERT_TRUE(WriteFileBytes(root_ + "/" + name, bytes)) << name;
        }
    }

    // Applies the package, killed after `budget` changes; true when it was killed.
    bool ApplyKilledAfter(long budget) {
        KillSwitch kill(budget);
        KillableFileSystem files(*files_, kill);
        KillableJournalFolder journals(*journals_, kill);
        RecordingSink sink;
        static_cast<void>(ApplyPackage(package_, sink, lookup_, files, journals));  // the kill, not the result, counts
        return kill.dead;
    }

    // Recovers, killed after `budget` changes; true when it was killed.
    bool RecoverKilledAfter(long budget) {
        KillSwitch kill(budget);
        KillableFileSystem files(*files_, kill);
        KillableJournalFolder journals(*journals_, kill);
        static_cast<void>(RecoverInterruptedUpdates(journals, files));  // the next recovery's outcome counts
        return kill.dead;
    }

    TempDir dir_;
    std::string work_, root_, journalsPath_;
    FixedInstallRootLookup lookup_;
    std::unique_ptr<TargetFileSystem> files_ = CreateSystemTargetFileSystem();
    std::unique_ptr<JournalFolder> journals_;
    PatchPackage package_;
    Tree oldTree_, newTree_;
};

TEST_F(RecoveryTest, AnUpdateKilledAnywhereEndsWhollyOldOrWhollyNew) {
    ASSERT_NE(oldTree_, newTree_);
    int undone = 0, completed = 0;
    for (long budget = 0;; ++budget) {
        Install();
        if (!ApplyKilledAfter(budget)) break;
        const std::string where = "killed after " + std::to_string(budget) + " changes";
        RecoveryOutcome outcome = RecoverInterruptedUpdates(*journals_, *files_);
        EXPECT_NE(outcome, RecoveryOutcome::kIncomplete) << where;
        if (outcome == RecoveryOutcome::kUndone) ++undone;
        if (outcome == RecoveryOutcome::kCompleted) ++completed;
        // A killed update always leaves its journal (or nothing at all, when
        // killed before its first record): new files only when it completed.
        EXPECT_EQ(SnapshotTree(root_), outcome == RecoveryOutcome::kCompleted ? newTree_ : oldTree_) << where;
        EXPECT_TRUE(fs::is_empty(journalsPath_)) << where;
        EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kNothingFound) << where;
    }
    EXPECT_GT(undone, 10) << "kills while staging and while replacing are undone";
    EXPECT_GT(completed, 0) << "a kill after the last replace completes the update";
}

// Recovery of updates killed while replacing targets: the ones whose undo
// moves files back (an update killed while staging only leaves files to delete).
TEST_F(RecoveryTest, ARecoveryKilledAnywhereIsFinishedByTheNextOne) {
    int cases = 0;
    for (long update = 0;; ++update) {
        Install();
        if (!ApplyKilledAfter(update)) break;
        std::string journal;
        if (journals_->List().size() != 1 || !journals_->Read(journals_->List()[0], journal) ||
            !ParseJournal(journal).replacing) {
            continue;
        }
        ++cases;
        fs::copy(work_, dir_.File("interrupted"), fs::copy_options::recursive);
        EXPECT_NE(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kIncomplete) << update;
        const Tree expected = SnapshotTree(root_);
        for (long recovery = 0;; ++recovery) {
            journals_.reset();
            fs::remove_all(work_);
            fs::copy(dir_.File("interrupted"), work_, fs::copy_options::recursive);
            journals_ = OpenJournalFolder(journalsPath_);
            const std::string where = "update killed after " + std::to_string(update) + " changes, recovery after " +
                                      std::to_string(recovery);
            const bool killed = RecoverKilledAfter(recovery);
            EXPECT_NE(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kIncomplete) << where;
            EXPECT_EQ(SnapshotTree(root_), expected) << where;
            EXPECT_TRUE(fs::is_empty(journalsPath_)) << where;
            if (!killed) break;
        }
        fs::remove_all(dir_.File("interrupted"));
    }
    EXPECT_GT(cases, 8);
}

// Journals that this program never writes, planted in its folder: each is
// set aside for an administrator, never obeyed, and recovery says that it is
// not whole. The files they name stay exactly as they were.
TEST_F(RecoveryTest, AJournalThatNamesWhatNoUpdateWouldIsSetAsideNotObeyed) {
    const std::string outside = work_ + "/outside";
    const std::string in = files_->TargetPath(root_, "");
    auto entry = [](const std::string& target, const std::string& staged, const std::string& backup) {
        return JournalEntry{target, staged, backup};
    };
    auto own = [&](const std::string& name, std::size_t i) {
        const std::string target = files_->TargetPath(root_, name);
        return entry(target, target + ".~dvk" + std::to_string(i) + ".new", target + ".~dvk" + std::to_string(i) + ".old");
    };
    const std::string victim = outside + "/victim.dll";
    struct Planted {
        const char* why;
        std::string root;
        std::vector<JournalEntry> entries;
    };
    std::vector<Planted> rows = {
        {"a target outside the root", root_, {entry(victim, victim + ".~dvk0.new", victim + ".~dvk0.old")}},
        {"a target that climbs out", root_,
         {entry(in + "..\\outside\\victim.dll", in + "..\\outside\\victim.dll.~dvk0.new",
                in + "..\\outside\\victim.dll.~dvk0.old")}},
        {"a staged name that is not its target's", root_,
         {entry(in + "a.dll", victim, in + "a.dll.~dvk0.old")}},
        {"a backup name of another position", root_, {entry(in + "a.dll", in + "a.dll.~dvk0.new", in + "a.dll.~dvk1.old")}},
        {"a staged name that is another entry's target", root_,
         {own("keep.txt", 0), entry(in + "keep.txt.~dvk0.new", in + "keep.txt.~dvk0.new.~dvk1.new",
                                    in + "keep.txt.~dvk0.new.~dvk1.old")}},
        {"a relative root", "install", {own("a.dll", 0)}},
        {"a root that does not exist", work_ + "/gone", {own("a.dll", 0)}},
    };
#ifndef _WIN32
    fs::create_directory_symlink(root_, work_ + "/root-link");
    rows.push_back({"a root that is a link", work_ + "/root-link", {own("a.dll", 0)}});
#endif
    for (const Planted& row : rows) {
        Install();
        fs::create_directories(outside);
        ASSERT_TRUE(WriteFileBytes(victim, "the victim"));
        ASSERT_TRUE(WriteFileBytes(victim + ".~dvk0.old", "the attacker's"));
        const Tree rootBefore = SnapshotTree(root_), outsideBefore = SnapshotTree(outside);
        {
            std::unique_ptr<UpdateJournal> planted = UpdateJournal::Begin(*journals_, row.root, row.entries);
            ASSERT_NE(planted, nullptr) << row.why;
            ASSERT_TRUE(planted->Replacing(std::vector<bool>(row.entries.size(), true))) << row.why;
        }
        EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kIncomplete) << row.why;
        EXPECT_EQ(SnapshotTree(root_), rootBefore) << row.why;
        EXPECT_EQ(SnapshotTree(outside), outsideBefore) << row.why;
        EXPECT_TRUE(journals_->List().empty()) << row.why << ": set aside";
        EXPECT_EQ(std::distance(fs::directory_iterator(journalsPath_), fs::directory_iterator()), 1) << row.why;
        const std::vector<std::string> notes = journals_->TakeNotes();
        ASSERT_FALSE(notes.empty()) << row.why;
        EXPECT_NE(notes[0].find("non suivi"), std::string::npos) << row.why;
        EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kNothingFound) << row.why;
    }
}

#ifndef _WIN32
// An undo left incomplete (a target held open), then a folder of the root
// swapped for a link to a folder holding a file of the name the package
// brought as new: no recovery deletes through the link, and once the folder
// is back the undo is finished.
TEST_F(RecoveryTest, AFolderSwappedForALinkWhileTheUndoWaitsIsNeverWrittenThrough) {
    class HeldBackups : public FaultyFileSystem {
    public:
        using FaultyFileSystem::FaultyFileSystem;
        bool MoveReplacing(const std::string& from, const std::string& to) override {
            return from.compare(from.size() - 4, 4, ".old") != 0 && FaultyFileSystem::MoveReplacing(from, to);
        }
    };
    Install();
    const Tree before = SnapshotTree(root_);
    PatchPackage package;
    ASSERT_TRUE(WriteAndOpenPackage(package, dir_.File("held.dvk"), kKey,
                                    {{0, "s", "sub\\n.txt", "new n"}, {0, "s", "a.dll", "new a"}, {0, "s", "keep.txt", "k"}}));
    HeldBackups held(FaultyFileSystem::Operation::kReplace, files_->TargetPath("", "keep.txt"));
    RecordingSink sink;
    ASSERT_NE(ApplyPackage(package, sink, lookup_, held, *journals_), ApplyResult::kApplied);
    ASSERT_EQ(sink.lines.back(), LoadMessageString(IDS_UNDO_INCOMPLETE));

    const std::string outside = work_ + "/outside";
    fs::create_directories(outside);
    ASSERT_TRUE(WriteFileBytes(outside + "/n.txt", "not the product's"));
    fs::rename(root_ + "/sub", work_ + "/sub-moved");
    fs::create_directory_symlink(outside, root_ + "/sub");
    EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kIncomplete);
    EXPECT_EQ(ReadFileBytes(outside + "/n.txt"), "not the product's");
    EXPECT_EQ(journals_->List().size(), 1u);

    fs::remove(root_ + "/sub");
    fs::rename(work_ + "/sub-moved", root_ + "/sub");
    EXPECT_EQ(RecoverInterruptedUpdates(*journals_, *files_), RecoveryOutcome::kUndone);
    EXPECT_EQ(SnapshotTree(root_), before);
}
#endif

}  // namespace
