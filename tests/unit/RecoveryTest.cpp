// Recovery: an update killed at any point, and a recovery killed at any
// point, end with every target of the package old, all together, or all new.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ApplyEngine.h"
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
        ASSERT_TRUE(ApplyPackage(package_, sink, lookup_, *files_, *journals_));
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
        ApplyPackage(package_, sink, lookup_, files, journals);
        return kill.dead;
    }

    // Recovers, killed after `budget` changes; true when it was killed.
    bool RecoverKilledAfter(long budget) {
        KillSwitch kill(budget);
        KillableFileSystem files(*files_, kill);
        KillableJournalFolder journals(*journals_, kill);
        RecoverInterruptedUpdates(journals, files);
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
        RecoverInterruptedUpdates(*journals_, *files_);
        const Tree expected = SnapshotTree(root_);
        for (long recovery = 0;; ++recovery) {
            journals_.reset();
            fs::remove_all(work_);
            fs::copy(dir_.File("interrupted"), work_, fs::copy_options::recursive);
            journals_ = OpenJournalFolder(journalsPath_);
            const std::string where = "update killed after " + std::to_string(update) + " changes, recovery after " +
                                      std::to_string(recovery);
            const bool killed = RecoverKilledAfter(recovery);
            RecoverInterruptedUpdates(*journals_, *files_);
            EXPECT_EQ(SnapshotTree(root_), expected) << where;
            EXPECT_TRUE(fs::is_empty(journalsPath_)) << where;
            if (!killed) break;
        }
        fs::remove_all(dir_.File("interrupted"));
    }
    EXPECT_GT(cases, 8);
}

}  // namespace
