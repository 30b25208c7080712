// The recovery step as a run takes it: whatever the journal folder does, an
// outcome, and the folder's notes added to the run's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>

#include "app/JournalRecovery.h"
#include "app/MachineUpdates.h"
#include "tests/support/TestFiles.h"

namespace {

using R = RecoveryOutcome;

// Runs out of memory halfway through the list, once it has noted something.
class ThrowingJournals : public JournalFolder {
public:
    std::vector<std::string> List() override {
        Note("noted");
        throw std::bad_alloc();
    }
    std::unique_ptr<JournalFile> Create(std::string&) override { return nullptr; }
    std::unique_ptr<JournalFile> OpenForAppend(const std::string&, std::uint64_t) override { return nullptr; }
    bool Read(const std::string&, std::string&) override { return false; }
    bool Remove(const std::string&) override { return false; }
    bool SetAside(const std::string&) override { return false; }
};

struct RecoveryRow {
    const char* why;
    std::function<std::unique_ptr<JournalFolder>(const TempDir&)> open;
    R outcome;
    std::vector<std::string> notes;
};

TEST(JournalRecoveryTest, EveryFolderGivesAnOutcomeAndItsNotes) {
    const RecoveryRow rows[] = {
        {"no folder: nothing looked at", [](const TempDir&) { return nullptr; }, R::kNotExamined, {"before"}},
        {"a folder without journals", [](const TempDir& dir) { return OpenJournalFolder(dir.Path()); },
         R::kNothingFound, {"before"}},
        {"out of memory halfway: kept for the next start, the note kept too",
         [](const TempDir&) { return std::make_unique<ThrowingJournals>(); }, R::kIncomplete, {"before", "noted"}},
    };
    for (const RecoveryRow& row : rows) {
        TempDir dir;
        std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
        std::unique_ptr<JournalFolder> journals = row.open(dir);
        std::vector<std::string> notes = {"before"};
        EXPECT_EQ(RecoverJournals(journals.get(), *files, notes), row.outcome) << row.why;
        EXPECT_EQ(notes, row.notes) << row.why;
    }
}

#ifndef _WIN32
// The machine's folder that cannot be made: nothing examined, and the log learns why.
TEST(JournalRecoveryTest, TheMachineFolderThatCannotBeMadeIsNotExamined) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("state"), "a file where the state folder belongs"));
    const char* saved = std::getenv("XDG_STATE_HOME");
    const std::string restore = saved != nullptr ? saved : "";
    ::setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
    std::vector<std::string> notes;
    const R outcome = MachineUpdates().RecoverInterrupted(notes);
    saved != nullptr ? ::setenv("XDG_STATE_HOME", restore.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(outcome, R::kNotExamined);
    EXPECT_EQ(notes.size(), 1u);
}
#endif

}  // namespace
