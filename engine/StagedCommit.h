// Replaces a set of target files all together, or not at all.
//
// Each target's new contents are first written to a staged file beside it
// (same directory, so the final step is a rename on one volume); the targets
// stay untouched meanwhile. Commit then puts every staged file in place of its
// target in staging order, keeping each old file as a backup until all have
// succeeded. If anything fails, the replaced targets are restored from their
// backups in reverse order and every staged file is deleted, so the install
// root ends byte-identical to how it was.
//
// Staged and backup names are fixed per target and position
// ("<target>.~dvk<index>.new" / ".old"): a later run of the same package
// removes what a killed run left under those names before reusing them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "engine/TargetFileSystem.h"

class StagedCommit {
public:
    explicit StagedCommit(TargetFileSystem& files) : files_(files) {}
    // Whatever was not committed is undone.
    ~StagedCommit();
    StagedCommit(const StagedCommit&) = delete;
    StagedCommit& operator=(const StagedCommit&) = delete;

    // Creates the staged file for the next target; null when it cannot be
    // created (missing directory, no permission). The file belongs to this
    // object; the caller writes and closes it.
    OutputFile* Stage(const std::string& targetPath);

    struct Result {
        bool ok = false;
        std::size_t failedIndex = 0;  // staging position of the target that failed
    };
    // Puts every staged file in place of its target. Every staged file must
    // have been closed. On failure everything is undone before returning.
    Result Commit();

    // Restores every replaced target and deletes every staged file.
    void Rollback();

    static std::string StagedName(const std::string& targetPath, std::size_t index);
    static std::string BackupName(const std::string& targetPath, std::size_t index);

private:
    struct Item {
        std::string target;
        std::string staged;
        std::string backup;
        std::unique_ptr<OutputFile> file;
        bool hadTarget = false;
        bool replaced = false;
    };

    TargetFileSystem& files_;
    std::vector<Item> items_;
    bool finished_ = false;  // committed or rolled back
};
