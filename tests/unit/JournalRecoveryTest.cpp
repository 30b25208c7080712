// The recovery step as a run takes it: whatever the journal folder does, an
// outcome, and the folder's notes added to the run's.
#include <gtest/gtest.h>

#include <new>

#include "app/JournalRecovery.h"

namespace {

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

TEST(JournalRecoveryTest, EveryFolderGivesAnOutcomeAndItsNotes) {
    ThrowingJournals throwing;
    const struct {
        const char* why;
        JournalFolder* journals;
        RecoveryOutcome outcome;
        std::vector<std::string> notes;
    } rows[] = {
        {"no folder: nothing looked at", nullptr, RecoveryOutcome::kNotExamined, {"before"}},
        {"out of memory halfway: kept for the next start, the note kept too", &throwing,
         RecoveryOutcome::kIncomplete, {"before", "noted"}},
    };
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    for (const auto& row : rows) {
        std::vector<std::string> notes = {"before"};
        EXPECT_EQ(RecoverJournals(row.journals, *files, notes), row.outcome) << row.why;
        EXPECT_EQ(notes, row.notes) << row.why;
    }
}

}  // namespace
