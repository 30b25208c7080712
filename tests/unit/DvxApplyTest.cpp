// Applying .dvx entries: stored and zstd results with the lines of their
// result, deletes inside the same all-or-nothing commit, and every damaged
// entry refused with the root unchanged.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "engine/UpdateJournal.h"
#include "package/ZstdLimits.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/InstallRootFixture.h"
#include "tests/support/HandMadeDvx.h"
#include "tests/support/KillableFileSystem.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = kProductKey;
using Lines = std::vector<std::string>;
using Tree = std::map<std::string, std::string>;

std::string Text(int id) { return LoadMessageString(id); }
std::string Named(int id, const std::string& name) { return Text(id) + " " + name; }
std::string Progress(const std::string& name, int percent) {
    return "Extraction du fichier :: " + name + " (" + std::to_string(percent) + " %)";
}

class DvxApplyTest : public InstallRootFixture {
protected:
    void SetUp() override {
        InstallRootFixture::SetUp();
        fs::create_directories(root_ + "/sub");
        Install("keep.txt", "keep");
        Install("old.dll", "old dll");
        Install("first.txt", "old first");
    }

    bool Apply(const std::vector<HandEntry>& entries, TargetFileSystem& files) {
        sink_.lines.clear();
        package_.Close();
        EXPECT_TRUE(OpenHandMadeDvx(package_, dir_.File("update.dvx"), kKey, entries));
        return ApplyPackage(package_, sink_, lookup_, files, *journals_) == ApplyResult::kApplied;
    }
    bool Apply(const std::vector<HandEntry>& entries) { return Apply(entries, *files_); }
    bool Has(const std::string& name) { return fs::exists(files_->TargetPath(root_, name)); }
};

TEST_F(DvxApplyTest, EveryKindShowsItsLinesAndLeavesItsResult) {
    const std::string big = PatternData(10000, 3);
    const std::string text(5000, 'x');
    ASSERT_TRUE(Apply({Stored("first.txt", text), Zstd("sub\\big.bin", big), Delete("old.dll"),
                       Delete("absent.txt"), Zstd("empty.txt", "")}));
    EXPECT_EQ(sink_.lines, (Lines{Named(IDS_TESTING, "first.txt"), Named(IDS_TESTING, "sub\\big.bin"),
                                  Named(IDS_TESTING, "old.dll"), Named(IDS_TESTING, "absent.txt"),
                                  Named(IDS_TESTING, "empty.txt"), Named(IDS_EXTRACTING, "first.txt"),
                                  Progress("first.txt", 82), Progress("first.txt", 100),
                                  Named(IDS_EXTRACTING, "sub\\big.bin"), Progress("sub\\big.bin", 41),
                                  Progress("sub\\big.bin", 82), Progress("sub\\big.bin", 100),
                                  "Suppression du fichier : old.dll", "Suppression du fichier : absent.txt",
                                  Named(IDS_EXTRACTING, "empty.txt"), Text(IDS_UPDATE_COMPLETE)}));
    EXPECT_EQ(SnapshotTree(root_), (Tree{{"keep.txt", Fingerprint("keep")},
                                         {"first.txt", Fingerprint(text)},
                                         {"sub", "<dir>"},
                                         {"sub/big.bin", Fingerprint(big)},
                                         {"empty.txt", Fingerprint("")}}))
        << "no marker, staging or backup file is left";
    EXPECT_TRUE(fs::is_empty(dir_.File("journals")));
}

TEST_F(DvxApplyTest, FramesWithinTheLimitsAreDecoded) {
    const std::string bytes = PatternData(700, 9);
    const struct {
        const char* why;
        std::string frame;
    } cases[] = {
        {"the largest window allowed", RawBlockFrame(bytes, kZstdWholeFileWindowLog, bytes.size())},
        {"the smallest window", RawBlockFrame(bytes, 10, bytes.size())},
        {"a frame as the library writes it", ZstdFrame(bytes)},
    };
    for (const auto& c : cases) {
        HandEntry entry = Zstd("first.txt", bytes);
        entry.data = c.frame;
        EXPECT_TRUE(Apply({entry})) << c.why;
        EXPECT_EQ(ReadFileBytes(files_->TargetPath(root_, "first.txt")), bytes) << c.why;
    }
}

TEST_F(DvxApplyTest, ADamagedEntryIsRefusedAndTheRootStaysAsItWas) {
    const std::string bytes = PatternData(9000, 5);
    const std::string frame = ZstdFrame(bytes);
    auto zstd = [&](std::string data, std::optional<std::int32_t> size = std::nullopt, bool wrongHash = false) {
        HandEntry entry = Zstd("sub\\new.bin", bytes);
        entry.data = std::move(data);
        entry.size = size;
        entry.wrongHash = wrongHash;
        return entry;
    };
    std::string flipped = frame;
    flipped[flipped.size() / 2] ^= 0x55;
    HandEntry storedWrongHash = Stored("sub\\new.bin", bytes);
    storedWrongHash.wrongHash = true;
    const std::string small = "small result";
    HandEntry skippable = Zstd("sub\\new.bin", small);
    skippable.data = std::string("\x50\x2A\x4D\x18\x04\x00\x00\x00", 8) + "abcd" + ZstdFrame(small);
    HandEntry unknownSize = Zstd("sub\\new.bin", small);
    unknownSize.data = RawBlockFrame(small, 17, std::nullopt);
    HandEntry hostile = Zstd("sub\\new.bin", small);
    hostile.data = RawBlockFrame(small, kZstdWholeFileWindowLog + 1, small.size());
    HandEntry declaredLess = Zstd("sub\\new.bin", small);
    declaredLess.data = RawBlockFrame(small, 17, small.size() - 1);
    const struct {
        const char* why;
        HandEntry entry;
    } cases[] = {
        {"a corrupted frame", zstd(flipped)},
        {"a zstd result that is not the table's", zstd(frame, std::nullopt, true)},
        {"a stored result that is not the table's", storedWrongHash},
        {"a table size above the declared size", zstd(frame, 9001)},
        {"a table size below the declared size", zstd(frame, 8999)},
        {"a frame cut short", zstd(frame.substr(0, frame.size() - 3))},
        {"a frame cut inside its header", zstd(frame.substr(0, 5))},
        {"a byte after the frame", zstd(frame + "!")},
        {"a second frame", zstd(frame + ZstdFrame("more"))},
        {"a skippable frame first", skippable},
        {"a frame without its size", unknownSize},
        {"a window above the limit", hostile},
        {"a frame longer than it declares", declaredLess},
    };
    const Tree before = SnapshotTree(root_);
    for (const auto& c : cases) {
        EXPECT_FALSE(Apply({Stored("first.txt", "new first"), c.entry, Delete("old.dll")})) << c.why;
        ASSERT_FALSE(sink_.lines.empty());
        EXPECT_EQ(sink_.lines.back(), Text(IDS_PACKAGE_DAMAGED)) << c.why;
        EXPECT_EQ(SnapshotTree(root_), before) << c.why;
        EXPECT_TRUE(fs::is_empty(dir_.File("journals"))) << c.why;
    }
}

TEST_F(DvxApplyTest, DeletesFollowTheRulesOfTheTestAndWriteStages) {
    fs::create_directories(files_->TargetPath(root_, "folder"));
    const struct {
        const char* why;
        HandEntry entry;
        bool applied;
        std::string lastLine;
        bool remains;
    } cases[] = {
        {"a file present", Delete("old.dll"), true, Text(IDS_UPDATE_COMPLETE), false},
        {"a required file present", Delete("old.dll", kRequiredFlag), true, Text(IDS_UPDATE_COMPLETE), false},
        {"a file already absent", Delete("nothing.txt"), true, Text(IDS_UPDATE_COMPLETE), false},
        {"a file in a folder that is not there", Delete("none\\x.txt"), true, Text(IDS_UPDATE_COMPLETE), false},
        {"a required file absent", Delete("nothing.txt", kRequiredFlag), false,
         Named(IDS_REQUIRED_FILE_MISSING, "nothing.txt"), false},
        {"a folder", Delete("folder"), false, Named(IDS_WRITE_FAILED, "folder"), true},
    };
    for (const auto& c : cases) {
        Install("old.dll", "old dll");
        const Tree before = SnapshotTree(root_);
        EXPECT_EQ(Apply({Stored("first.txt", "new first"), c.entry}), c.applied) << c.why;
        EXPECT_EQ(sink_.lines.back(), c.lastLine) << c.why;
        EXPECT_EQ(Has(c.entry.target), c.remains) << c.why;
        if (!c.applied) {
            EXPECT_EQ(SnapshotTree(root_), before) << c.why;
        }
    }
}

TEST_F(DvxApplyTest, ADeleteIsUndoneWhenALaterStepFails) {
    const Tree before = SnapshotTree(root_);
    for (auto failing : {FaultyFileSystem::Operation::kCreate, FaultyFileSystem::Operation::kReplace}) {
        FaultyFileSystem files(failing, "last.txt");
        EXPECT_FALSE(Apply({Delete("old.dll"), Stored("first.txt", "new"), Stored("last.txt", "last")}, files));
        EXPECT_TRUE(files.Injected());
        EXPECT_EQ(sink_.lines.back(), Named(IDS_WRITE_FAILED, "last.txt"));
        EXPECT_EQ(SnapshotTree(root_), before) << "old.dll is back with its bytes";
        EXPECT_TRUE(fs::is_empty(dir_.File("journals")));
    }
}

TEST_F(DvxApplyTest, NothingIsDecodedBeforeTheSignatureStep) {
    lookup_.SetRequiresSignedPackages(true);
    HandEntry damaged = Zstd("first.txt", "bytes");
    damaged.data = "not a frame";
    EXPECT_FALSE(Apply({damaged}));
    EXPECT_EQ(sink_.lines, (Lines{Text(IDS_NOT_SIGNED)}));
}

TEST_F(DvxApplyTest, AnUpdateWithDeletesKilledAnywhereEndsWhollyOldOrWhollyNew) {
    // A replacement, a new file, and deletes: the last one that has a step
    // is what recovery looks at to tell whether every step was taken.
    const std::vector<HandEntry> entries = {Stored("first.txt", "new first"), Zstd("sub\\b.bin", PatternData(5000, 4)),
                                            Delete("old.dll"), Delete("keep.txt"), Delete("never.txt")};
    const Tree oldTree = SnapshotTree(root_);
    ASSERT_TRUE(Apply(entries));
    const Tree newTree = SnapshotTree(root_);
    EXPECT_EQ(newTree, (Tree{{"first.txt", Fingerprint("new first")},
                             {"sub", "<dir>"},
                             {"sub/b.bin", Fingerprint(PatternData(5000, 4))}}));
    int undone = 0, completed = 0;
    for (long budget = 0;; ++budget) {
        fs::remove_all(root_);
        fs::create_directories(root_ + "/sub");
        Install("keep.txt", "keep");
        Install("old.dll", "old dll");
        Install("first.txt", "old first");
        ASSERT_EQ(SnapshotTree(root_), oldTree);
        KillSwitch kill(budget);
        KillableFileSystem files(*files_, kill);
        KillableJournalFolder journals(*journals_, kill);
        package_.Close();
        ASSERT_TRUE(OpenHandMadeDvx(package_, dir_.File("update.dvx"), kKey, entries));
        static_cast<void>(ApplyPackage(package_, sink_, lookup_, files, journals));  // killed or not: the tree tells
        if (!kill.dead) break;
        const std::string where = "killed after " + std::to_string(budget) + " changes";
        const RecoveryOutcome outcome = RecoverInterruptedUpdates(*journals_, *files_);
        EXPECT_NE(outcome, RecoveryOutcome::kIncomplete) << where;
        undone += outcome == RecoveryOutcome::kUndone;
        completed += outcome == RecoveryOutcome::kCompleted;
        EXPECT_EQ(SnapshotTree(root_), outcome == RecoveryOutcome::kCompleted ? newTree : oldTree) << where;
        EXPECT_TRUE(fs::is_empty(dir_.File("journals"))) << where;
    }
    EXPECT_GT(undone, 8);
    EXPECT_GT(completed, 0);
}

// The undo of a delete whose target was absent leaves whatever has that name
// now: the update never made it.
TEST(DvxJournalTest, TheUndoOfADeleteOfAnAbsentFileRemovesNothing) {
    TempDir dir;
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    JournalState state;
    state.begun = state.replacing = true;
    state.root = dir.Path();
    state.entries = {{dir.File("made-later.txt"), dir.File("made-later.txt.~dvk0.new"),
                      dir.File("made-later.txt.~dvk0.old"), true}};
    state.replace = {1};
    state.undone = {false};
    ASSERT_TRUE(WriteFileBytes(dir.File("made-later.txt"), "since"));
    EXPECT_TRUE(UndoUpdate(state, *files, nullptr));
    EXPECT_EQ(ReadFileBytes(dir.File("made-later.txt")), "since");
}

TEST(DvxJournalTest, WhichEntriesDeleteIsReadBackOnlyRightAfterTheFirstRecord) {
    TempDir dir;
    std::unique_ptr<JournalFolder> folder = OpenJournalFolder(dir.Path());
    std::vector<JournalEntry> entries(2);
    entries[1].deletes = true;
    std::unique_ptr<UpdateJournal> journal = UpdateJournal::Begin(*folder, "/r", entries);
    ASSERT_TRUE(journal);
    std::string bytes;
    ASSERT_TRUE(folder->Read(journal->Name(), bytes));
    JournalState state = ParseJournal(bytes);
    EXPECT_TRUE(state.begun && state.kindsRead);
    ASSERT_EQ(state.entries.size(), 2u);
    EXPECT_FALSE(state.entries[0].deletes);
    EXPECT_TRUE(state.entries[1].deletes);

    // Without deletes the journal is what earlier versions wrote: no 'K' record.
    entries[1].deletes = false;
    std::unique_ptr<UpdateJournal> plain = UpdateJournal::Begin(*folder, "/r", entries);
    ASSERT_TRUE(plain && folder->Read(plain->Name(), bytes));
    EXPECT_FALSE(ParseJournal(bytes).kindsRead);
}

}  // namespace
