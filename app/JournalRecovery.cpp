#include "app/JournalRecovery.h"

RecoveryOutcome RecoverJournals(JournalFolder* journals, TargetFileSystem& files,
                                std::vector<std::string>& notes) noexcept {
    if (journals == nullptr) return RecoveryOutcome::kNotExamined;
    RecoveryOutcome outcome = RecoveryOutcome::kIncomplete;
    try {
        outcome = RecoverInterruptedUpdates(*journals, files);
    } catch (...) {
        // The journals not finished stay where they are.
    }
    try {
        for (std::string& note : journals->TakeNotes()) notes.push_back(std::move(note));
    } catch (...) {
        // Out of memory for the notes too: the outcome still tells.
        return RecoveryOutcome::kIncomplete;
    }
    return outcome;
}
