#include "engine/StagedCommit.h"

#include "engine/BufferedOutputFile.h"

StagedCommit::~StagedCommit() {
    if (!finished_) Rollback();
}

std::string StagedCommit::StagedName(const std::string& targetPath, std::size_t index) {
    return targetPath + ".~dvk" + std::to_string(index) + ".new";
}

std::string StagedCommit::BackupName(const std::string& targetPath, std::size_t index) {
    return targetPath + ".~dvk" + std::to_string(index) + ".old";
}

OutputFile* StagedCommit::Stage(const std::string& targetPath) {
    Item item;
    item.target = targetPath;
    item.staged = StagedName(targetPath, items_.size());
    item.backup = BackupName(targetPath, items_.size());
    // A run that was killed may have left a file under this name.
    files_.Remove(item.staged);
    std::unique_ptr<OutputFile> file = files_.CreateNew(item.staged);
    if (!file) return nullptr;
    item.file = std::make_unique<BufferedOutputFile>(std::move(file));
    items_.push_back(std::move(item));
    return items_.back().file.get();
}

StagedCommit::Result StagedCommit::Commit() {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        Item& item = items_[i];
        item.file.reset();
        item.hadTarget = files_.Exists(item.target);
        bool ok;
        if (item.hadTarget) {
            files_.Remove(item.backup);
            ok = files_.ReplaceKeepingBackup(item.staged, item.target, item.backup);
        } else {
            ok = files_.MoveReplacing(item.staged, item.target);
        }
        if (!ok) {
            Rollback();
            return {false, i};
        }
        item.replaced = true;
    }
    // Every target is new now: the old contents are no longer needed.
    for (const Item& item : items_) {
        if (item.hadTarget) files_.Remove(item.backup);
    }
    finished_ = true;
    return {true, 0};
}

void StagedCommit::Rollback() {
    // Reverse order, so that a target named twice ends with its first backup,
    // which holds the contents from before the update.
    for (std::size_t i = items_.size(); i-- > 0;) {
        Item& item = items_[i];
        item.file.reset();
        if (item.replaced) {
            if (item.hadTarget) {
                files_.MoveReplacing(item.backup, item.target);
            } else {
                files_.Remove(item.target);
            }
            item.replaced = false;
        } else {
            files_.Remove(item.backup);  // a link left by a replace that failed halfway
        }
        files_.Remove(item.staged);
    }
    finished_ = true;
}
