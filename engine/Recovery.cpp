#include "engine/Recovery.h"

#include "engine/JournalValidation.h"
#include "engine/FolderOverlap.h"

RecoveryOutcome CombineOutcomes(RecoveryOutcome a, RecoveryOutcome b) {
    // The enumerators are declared from least to most telling.
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

namespace {

// A step below the root is taken only while the path to its file holds no
// link: a folder swapped for a link since the last step would send the
// rename or the delete elsewhere.
bool MayTouch(const JournalState& state, TargetFileSystem& files, const std::string& path) {
    return files.HasNoLinkBelowRoot(state.root, path);
}

// A name that is not there is removed already, whatever the path to it.
bool RemoveBelowRoot(const JournalState& state, TargetFileSystem& files, const std::string& path) {
    return !files.Exists(path) || (MayTouch(state, files, path) && files.Remove(path));
}

std::unique_ptr<FolderHold> HoldTargetFolders(const JournalState& state, TargetFileSystem& files) {
    std::vector<std::string> paths;
    paths.reserve(state.entries.size());
    for (const JournalEntry& entry : state.entries) paths.push_back(entry.target);
    return files.HoldFolders(state.root, paths);
}

}  // namespace

bool UndoUpdate(JournalState& state, TargetFileSystem& files, UpdateJournal* journal) {
    const std::unique_ptr<FolderHold> hold = HoldTargetFolders(state, files);
    bool whole = true;
    // Reverse order, so that a target named twice ends with its first backup,
    // which holds the contents from before the update.
    for (std::size_t i = state.entries.size(); i-- > 0;) {
        if (state.undone[i]) continue;
        const JournalEntry& entry = state.entries[i];
        bool touched = false;
        if (state.replace[i] == 2 && files.Exists(entry.backup)) {
            // A backup is there only while the old contents are not back: the
            // restore is a rename, so running this again finds nothing to do.
            if (!MayTouch(state, files, entry.backup) || !MayTouch(state, files, entry.target) ||
                !files.MoveReplacing(entry.backup, entry.target)) {
                return false;
            }
            touched = true;
        } else if (state.replace[i] == 1 && !entry.deletes && !files.Exists(entry.staged)) {
            // The staged file is gone only once it became the target. (A
            // delete of a target that was absent changed nothing.)
            if (!RemoveBelowRoot(state, files, entry.target)) return false;
            touched = true;
        }
        const bool stagedGone = RemoveBelowRoot(state, files, entry.staged);
        const bool backupGone = RemoveBelowRoot(state, files, entry.backup);
        if (!stagedGone || !backupGone) {
            whole = false;
            continue;
        }
        // Only an entry whose target was put back needs the record, so that a
        // file made under that name later is never taken for the update's; for
        // the others undoing again only removes names that are gone already.
        if (touched && journal != nullptr) journal->Undone(i);
        state.undone[i] = true;
    }
    return whole;
}

bool EveryTargetReplaced(const JournalState& state, TargetFileSystem& files) {
    if (state.committed) return true;
    if (!state.replacing || state.undoing || state.entries.empty()) return false;
    // The targets are replaced in order: the last one was when its staged file is gone.
    return !files.Exists(state.entries.back().staged);
}

bool RemoveLeftovers(const JournalState& state, TargetFileSystem& files) {
    const std::unique_ptr<FolderHold> hold = HoldTargetFolders(state, files);
    bool all = true;
    for (const JournalEntry& entry : state.entries) {
        all = RemoveBelowRoot(state, files, entry.staged) && all;
        all = RemoveBelowRoot(state, files, entry.backup) && all;
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
    if (const char* problem = JournalProblem(state, files)) {
        // Left for an administrator to look at; the run says the recovery is not whole.
        journals.Note("Journal " + name + " non suivi : " + problem + ".");
        journals.SetAside(name);
        return RecoveryOutcome::kIncomplete;
    }

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

bool HasPendingJournalOverlapping(JournalFolder& journals, const std::string& root) {
    for (const std::string& name : journals.List()) {
        std::string bytes;
        if (!journals.Read(name, bytes)) return true;
        const JournalState state = ParseJournal(bytes);
        if (state.begun && FoldersOverlap(state.root, root)) return true;
    }
    return false;
}
