// Replaces a set of target files all together, or not at all, in a way that
// survives being killed or losing power at any moment.
//
// Begin chooses, for every target, a staged name and a backup name beside it
// (same directory, so the final step is a rename on one volume) that are
// neither a target of the set (by the file system's name key) nor an existing
// file, and records them in a journal before any file is created. Before the
// first target changes, Commit makes sure by file identity that no target
// name opens a staged file (a short name), and stops otherwise. Each target's new contents are then
// written to its staged file; the targets stay untouched meanwhile. Commit
// puts every staged file on disk, then puts each in place of its target in
// order, keeping each old file as a backup until all have succeeded; every
// step is in the journal before it is taken. If anything fails, the replaced
// targets are restored from their backups in reverse order and every staged
// file is deleted, so the install root ends byte-identical to how it was. A
// target that is deleted is renamed to its backup name in its turn and
// removed with the other backups once all steps have succeeded. If
// the process dies instead, recovery (engine/Recovery.h) does the same from
// the journal at the next start.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/JournalFolder.h"
#include "engine/TargetFileSystem.h"
#include "engine/UpdateJournal.h"

class StagedCommit {
public:
    StagedCommit(TargetFileSystem& files, JournalFolder& journals) : files_(files), journals_(journals) {}
    // Whatever was not committed is undone.
    ~StagedCommit();
    StagedCommit(const StagedCommit&) = delete;
    StagedCommit& operator=(const StagedCommit&) = delete;

    // Names the staged and backup file of every target path (in the order they
    // will be staged; a path may appear twice) and writes the journal. The
    // targets whose position is true in deletes are removed instead of
    // replaced (none when it is empty). False when the journal cannot be
    // written: nothing was created.
    bool Begin(const std::string& root, const std::vector<std::string>& targetPaths,
               const std::vector<bool>& deletes = {});

    // Creates the staged file of the target at this position; null when it
    // cannot be created (missing directory, no permission). The file belongs
    // to this object; the caller writes and closes it (closing puts it on disk).
    OutputFile* Stage(std::size_t index);
    // For a target that is deleted: creates its staged file empty, the mark
    // that its step is still to come. False when it cannot be created.
    bool StageDelete(std::size_t index);

    struct Result {
        bool ok = false;
        std::size_t failedIndex = 0;  // position of the target that failed
        bool journalFailed = false;   // the journal could not be written before any target changed
        bool undoIncomplete = false;  // some restore failed: the journal stays for recovery
    };
    // Puts every staged file in place of its target. Every staged file must
    // have been closed. On failure everything is undone before returning.
    Result Commit();

    // Restores every replaced target and deletes every staged file and
    // backup. False when some step failed: the journal is kept, so that
    // recovery finishes the undo.
    bool Rollback();

    // The names chosen by Begin for the target at this position.
    const JournalEntry& Names(std::size_t index) const { return state_.entries[index]; }

private:
    // The position of the first target whose name opens a staged file, or
    // whose staged file another staged name opens too.
    std::optional<std::size_t> FirstSharedFile();
    // Puts the directory entries of every target's folder on disk.
    bool SyncFolders();

    TargetFileSystem& files_;
    JournalFolder& journals_;
    std::unique_ptr<UpdateJournal> journal_;
    JournalState state_;  // what the journal says, kept in step with it
    std::vector<std::unique_ptr<OutputFile>> staged_;
    bool finished_ = true;  // nothing begun, committed or rolled back
};
