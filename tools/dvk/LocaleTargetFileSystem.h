// The system's target file system with the package's cp1252 target names
// turned into the locale's UTF-8, so that a package tried out on Linux gives
// the same file names that it gives on Windows.
//
// Only TargetPath changes: every other path the engine uses is derived from
// it. On Windows the names need no change: the system takes them as ANSI.
#pragma once

#include <memory>
#include <string>

#include "engine/TargetFileSystem.h"

class LocaleTargetFileSystem : public TargetFileSystem {
public:
    explicit LocaleTargetFileSystem(std::unique_ptr<TargetFileSystem> system) : system_(std::move(system)) {}

    std::string TargetPath(const std::string& root, const std::string& targetName) const override;
    bool HasNoLinkBelowRoot(const std::string& root, const std::string& targetPath) override {
        return system_->HasNoLinkBelowRoot(root, targetPath);
    }
    bool IsRealFolder(const std::string& root) override { return system_->IsRealFolder(root); }
    bool CanOpenForReading(const std::string& path) override { return system_->CanOpenForReading(path); }
    bool Exists(const std::string& path) override { return system_->Exists(path); }
    std::unique_ptr<OutputFile> CreateNew(const std::string& path) override { return system_->CreateNew(path); }
    bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                              const std::string& backup) override {
        return system_->ReplaceKeepingBackup(replacement, target, backup);
    }
    bool MoveReplacing(const std::string& from, const std::string& to) override {
        return system_->MoveReplacing(from, to);
    }
    bool Remove(const std::string& path) override { return system_->Remove(path); }
    std::string NameKey(const std::string& path) const override { return system_->NameKey(path); }
    std::optional<FileIdentity> IdentityOf(const std::string& path) override { return system_->IdentityOf(path); }
    bool SyncFolderOf(const std::string& path) override { return system_->SyncFolderOf(path); }

private:
    std::unique_ptr<TargetFileSystem> system_;
};
