#include "engine/StagedCommit.h"

#include <map>
#include <unordered_set>

#include "engine/BufferedOutputFile.h"
#include "engine/Recovery.h"

namespace {

std::string FolderOf(const std::string& path) {
    std::string::size_type separator = path.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

}  // namespace

StagedCommit::~StagedCommit() {
    if (finished_) return;
    try {
        (void)Rollback();  // a failed undo keeps the journal: recovery finishes it
    } catch (...) {
        // Out of memory while undoing: the journal stays for recovery all the same.
    }
}

bool StagedCommit::Begin(const std::string& root, const std::vector<std::string>& targetPaths,
                         const std::vector<bool>& deletes) {
    state_ = JournalState();
    if (targetPaths.empty()) return true;  // nothing will change: no journal

    // Names are taken by key, so that on Windows "A.~dvk0.new" meets "a.~dvk0.new".
    std::unordered_set<std::string> taken;
    for (const std::string& target : targetPaths) taken.insert(files_.NameKey(target));
    // "<target>.~dvk<position>.new" / ".old" as long as that name is free,
    // otherwise the first free "<target>.~dvk<position>-<n>.new".
    auto choose = [&](const std::string& target, std::size_t index, const char* ending) {
        for (std::size_t attempt = 0;; ++attempt) {
            std::string name = target + ".~dvk" + std::to_string(index) +
                               (attempt == 0 ? std::string() : "-" + std::to_string(attempt)) + ending;
            if (taken.insert(files_.NameKey(name)).second && !files_.Exists(name)) return name;
        }
    };
    state_.entries.reserve(targetPaths.size());
    for (std::size_t i = 0; i < targetPaths.size(); ++i) {
        JournalEntry entry;
        entry.target = targetPaths[i];
        entry.staged = choose(entry.target, i, ".new");
        entry.backup = choose(entry.target, i, ".old");
        entry.deletes = i < deletes.size() && deletes[i];
        state_.entries.push_back(std::move(entry));
    }
    journal_ = UpdateJournal::Begin(journals_, root, state_.entries);
    if (!journal_) return false;
    state_.begun = true;
    state_.root = root;
    state_.replace.assign(targetPaths.size(), 0);
    state_.undone.assign(targetPaths.size(), false);
    staged_.resize(targetPaths.size());
    finished_ = false;
    return true;
}

std::optional<std::size_t> StagedCommit::FirstSharedFile() {
    // Every staged file exists now; a target that opens one of them under
    // another name (a short name the name key cannot see) would have the
    // commit move one entry's bytes onto another's target. Windows makes
    // every short name with a '~', and a staged or backup name, with its two
    // dots, is never one: only targets with a '~' below the root are asked,
    // so an ordinary package costs no more calls.
    std::map<FileIdentity, std::size_t> staged;
    bool stagedKnown = false;
    for (std::size_t i = 0; i < state_.entries.size(); ++i) {
        const std::string& target = state_.entries[i].target;
        if (target.find('~', state_.root.size()) == std::string::npos) continue;
        if (!stagedKnown) {
            stagedKnown = true;
            for (std::size_t k = 0; k < state_.entries.size(); ++k) {
                std::optional<FileIdentity> identity = files_.IdentityOf(state_.entries[k].staged);
                if (identity && !staged.emplace(*identity, k).second) return k;
            }
        }
        std::optional<FileIdentity> identity = files_.IdentityOf(target);
        if (identity && staged.count(*identity) != 0) return i;
    }
    return std::nullopt;
}

OutputFile* StagedCommit::Stage(std::size_t index) {
    std::unique_ptr<OutputFile> file = files_.CreateNew(state_.entries[index].staged);
    if (!file) return nullptr;
    staged_[index] = std::make_unique<BufferedOutputFile>(std::move(file));
    return staged_[index].get();
}

bool StagedCommit::StageDelete(std::size_t index) {
    std::unique_ptr<OutputFile> mark = files_.CreateNew(state_.entries[index].staged);
    return mark && mark->Close();
}

bool StagedCommit::SyncFolders() {
    std::unordered_set<std::string> synced;
    for (const JournalEntry& entry : state_.entries) {
        if (synced.insert(FolderOf(entry.target)).second && !files_.SyncFolderOf(entry.target)) return false;
    }
    return true;
}

StagedCommit::Result StagedCommit::Commit() {
    staged_.clear();
    if (state_.entries.empty()) {
        finished_ = true;
        return {true};
    }
    auto fail = [&](std::size_t index, bool journalFailed) {
        Result result;
        result.failedIndex = index;
        result.journalFailed = journalFailed;
        result.undoIncomplete = !Rollback();
        return result;
    };
    // Found only now that the staged files exist: their names are in the
    // journal already, so the update stops here, nothing changed.
    if (std::optional<std::size_t> shared = FirstSharedFile()) return fail(*shared, false);
    // Whether each target exists when its turn comes: a target named again
    // exists after a replacement and is gone after a delete.
    std::vector<bool> existed(state_.entries.size());
    std::map<std::string, bool> present;
    for (std::size_t i = 0; i < state_.entries.size(); ++i) {
        const JournalEntry& entry = state_.entries[i];
        auto known = present.emplace(files_.NameKey(entry.target), false);
        existed[i] = known.second ? files_.Exists(entry.target) : known.first->second;
        known.first->second = !entry.deletes;
    }
    // Held to the end, the undo included: no folder of the targets can be
    // swapped for a link between the check before a step and the step.
    std::vector<std::string> paths;
    for (const JournalEntry& entry : state_.entries) paths.push_back(entry.target);
    const std::unique_ptr<FolderHold> hold = files_.HoldFolders(state_.root, paths);
    // The staged files' data is on disk (closing syncs them); their names too
    // before the journal says the targets may change.
    if (!SyncFolders() || !journal_->Replacing(existed)) return fail(0, true);
    state_.replacing = true;
    for (std::size_t i = 0; i < state_.entries.size(); ++i) state_.replace[i] = existed[i] ? 2 : 1;
    for (std::size_t i = 0; i < state_.entries.size(); ++i) {
        const JournalEntry& entry = state_.entries[i];
        // Right before the step: a folder of the root swapped for a link
        // since the last step would send the rename elsewhere.
        if (!files_.HasNoLinkBelowRoot(state_.root, entry.target) ||
            !files_.HasNoLinkBelowRoot(state_.root, entry.staged)) {
            return fail(i, false);
        }
        bool ok = false;
        if (entry.deletes) {
            // The target moves to its backup name, then the mark goes: until
            // then recovery counts this step as not taken and puts it back.
            // Only a file is deleted: a folder in its place would be moved
            // whole.
            ok = (!existed[i] || (files_.CanOpenForReading(entry.target) &&
                                  files_.MoveReplacing(entry.target, entry.backup))) &&
                 files_.Remove(entry.staged);
        } else {
            ok = existed[i] ? files_.ReplaceKeepingBackup(entry.staged, entry.target, entry.backup)
                            : files_.MoveReplacing(entry.staged, entry.target);
        }
        if (!ok) return fail(i, false);
    }
    if (!SyncFolders()) return fail(state_.entries.size() - 1, false);
    // Every target is new now. Should this record or the clean-up below not
    // reach the disk, recovery sees every target replaced and finishes the
    // clean-up silently at the next start.
    journal_->Committed();
    state_.committed = true;
    if (RemoveLeftovers(state_, files_)) journal_->Remove();
    finished_ = true;
    return {true};
}

bool StagedCommit::Rollback() {
    finished_ = true;
    staged_.clear();  // open files cannot be deleted on Windows
    if (!journal_ || state_.committed) return true;
    journal_->Undoing();  // recovery undoes the same with or without it
    state_.undoing = true;
    if (!UndoUpdate(state_, files_, journal_.get())) return false;
    journal_->Remove();
    journal_.reset();
    return true;
}
