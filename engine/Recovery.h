// Puts back what updates that were interrupted (killed, power lost) left half
// done, from their journals.
#pragma once

#include <string>

#include "engine/JournalFolder.h"
#include "engine/TargetFileSystem.h"
#include "engine/UpdateJournal.h"

enum class [[nodiscard]] RecoveryOutcome {
    kNothingFound,  // no journal
    kCompleted,     // an update had replaced every target: finished (backups removed)
    kUndone,        // every target is back as it was before the update
    kIncomplete,    // some step failed (a target in use, a link below the root) or a journal
                    // was not trusted and set aside: the install root may not be as it was
    kNotExamined,   // the journal folder could not be opened or trusted: nothing was looked at
};

// The outcome that says most: kIncomplete over kUndone over kCompleted over
// kNothingFound.
RecoveryOutcome CombineOutcomes(RecoveryOutcome a, RecoveryOutcome b);

// Recovers every journal of the folder, oldest name first, and removes each
// one that was recovered whole. Only the names a journal records are ever
// touched, and only once JournalProblem finds none: a journal that breaks a
// rule is set aside and noted in the folder, never obeyed. A step whose path
// below the root meets a link is not taken. Safe to interrupt and run again.
// The caller makes sure that no update that writes to this folder is running
// (a mutex, a folder lock).
RecoveryOutcome RecoverInterruptedUpdates(JournalFolder& journals, TargetFileSystem& files);

// What recovery and a failed commit share. Undoes what the state says was
// done, last entry first, recording each entry undone in the journal (when
// one is given); stops at the first target that cannot be restored, or whose
// path below the root is a link at the moment of the step. True when every
// entry is undone.
[[nodiscard]] bool UndoUpdate(JournalState& state, TargetFileSystem& files, UpdateJournal* journal);
// Whether every target of the state had been replaced (only the backups
// were left to remove).
bool EveryTargetReplaced(const JournalState& state, TargetFileSystem& files);
// Removes every staged and backup name of a finished update, none through a
// link below the root; true when all are gone.
[[nodiscard]] bool RemoveLeftovers(const JournalState& state, TargetFileSystem& files);

// The journals left in the folder (an undo that could not be finished) whose
// root is the same as root, inside it or above it: an update of root must
// wait until they are recovered. Journals that cannot be read count too.
bool HasPendingJournalOverlapping(JournalFolder& journals, const std::string& root);
