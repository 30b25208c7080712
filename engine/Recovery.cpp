#include "engine/Recovery.h"

RecoveryOutcome CombineOutcomes(RecoveryOutcome a, RecoveryOutcome b) {
    // The enumerators are declared from least to most telling.
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

bool UndoUpdate(JournalState& state, TargetFileSystem& files, UpdateJournal* journal) {
    bool whole = true;
    // Reverse order, so that a target named twice ends with its first backup,
    // which holds the contents from before the update.
    for (std::size_t i = state.entries.size(); i-- > 0;) {
        if (state.undone[i]) continue;
        const JournalEntry& entry = state.entries[i];
        if (state.replace[i] == 2) {
            // A backup is there only while the old contents are not back: the
            // restore is a rename, so running this again finds nothing to do.
            if (files.Exists(entry.backup) && !files.MoveReplacing(entry.backup, entry.target)) return false;
        } else if (state.replace[i] == 1) {
            // The staged file is gone only once it became the target.
            if (!files.Exists(entry.staged) && !files.Remove(entry.target)) return false;
        }
        const bool stagedGone = files.Remove(entry.staged);
        const bool backupGone = files.Remove(entry.backup);
        if (!stagedGone || !backupGone) {
            whole = false;
            continue;
        }
        // Only a target that was touched needs the record: for the others
        // undoing again is removing names that are gone already.
        if (state.replace[i] != 0 && journal != nullptr) journal->Undone(i);
        state.undone[i] = true;
    }
    return whole;
}

bool EveryTargetReplaced(const JournalState& state, TargetFileSystem& files) {
    if (state.committed) return true;
    if (state.undoing || state.entries.empty()) return false;
    for (unsigned char replace : state.replace) {
        if (replace == 0) return false;
    }
    // The last replace was announced; it happened when its staged file is gone.
    return !files.Exists(state.entries.back().staged);
}

bool RemoveLeftovers(const JournalState& state, TargetFileSystem& files) {
    bool all = true;
    for (const JournalEntry& entry : state.entries) {
        all = files.Remove(entry.staged) && all;
        all = files.Remove(entry.backup) && all;
    }
    return all;
}

namespace {

RecoveryOutcome RecoverJournal(JournalFolder& journals, const std::string& name, TargetFileSystem& files) {
    std::string bytes;
    if (!journals.Read(name, bytes)) return RecoveryOutcome::kIncomplete;
    JournalState state = ParseJournal(bytes);
    // Cut inside its first record: not one file had been created.
    if (!state.begun) return journals.Remove(name) ? RecoveryOutcome::kNothingFound : RecoveryOutcome::kIncomplete;

    if (EveryTargetReplaced(state, files)) {
        if (!RemoveLeftovers(state, files) || !journals.Remove(name)) return RecoveryOutcome::kIncomplete;
        return RecoveryOutcome::kCompleted;
    }
    // Without a way to append, the undo still works; it records less.
    std::unique_ptr<UpdateJournal> journal = UpdateJournal::Reopen(journals, name, state);
    if (journal && !state.undoing) journal->Undoing();
    if (!UndoUpdate(state, files, journal.get())) return RecoveryOutcome::kIncomplete;
    journal.reset();
    // A journal that cannot be deleted is undone again, finding nothing to do.
    journals.Remove(name);
    return RecoveryOutcome::kUndone;
}

}  // namespace

RecoveryOutcome RecoverInterruptedUpdates(JournalFolder& journals, TargetFileSystem& files) {
    RecoveryOutcome outcome = RecoveryOutcome::kNothingFound;
    for (const std::string& name : journals.List()) {
        outcome = CombineOutcomes(outcome, RecoverJournal(journals, name, files));
    }
    return outcome;
}
