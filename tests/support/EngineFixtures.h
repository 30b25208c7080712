// What the engine tests share: a sink that records every line, a file system
// that fails on demand, a snapshot of a directory tree, and a package on disk.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/StatusSink.h"
#include "engine/TargetFileSystem.h"
#include "package/PackageWriter.h"
#include "package/PatchPackage.h"

class RecordingSink : public StatusSink {
public:
    void SetStatusLine(const std::string& text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

// The system's file system, except that one kind of operation fails on the
// path that ends with a given suffix.
class FaultyFileSystem : public TargetFileSystem {
public:
    enum class Operation { kNone, kCreate, kWrite, kClose, kReplace };

    // With throws, the fault is a std::bad_alloc thrown instead of a failure returned.
    FaultyFileSystem(Operation failing, std::string pathSuffix, bool throws = false)
        : real_(CreateSystemTargetFileSystem()), failing_(failing), suffix_(std::move(pathSuffix)), throws_(throws) {}

    std::string TargetPath(const std::string& root, const std::string& name) const override {
        return real_->TargetPath(root, name);
    }
    bool HasNoLinkBelowRoot(const std::string& root, const std::string& path) override {
        return real_->HasNoLinkBelowRoot(root, path);
    }
    bool IsRealFolder(const std::string& root) override { return real_->IsRealFolder(root); }
    bool CanOpenForReading(const std::string& path) override { return real_->CanOpenForReading(path); }
    bool Exists(const std::string& path) override { return real_->Exists(path); }
    std::unique_ptr<OutputFile> CreateNew(const std::string& path) override;
    bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                              const std::string& backup) override {
        if (Fails(Operation::kReplace, target)) return false;
        return real_->ReplaceKeepingBackup(replacement, target, backup);
    }
    bool MoveReplacing(const std::string& from, const std::string& to) override {
        // Only the commit moves staged files ("...new"); restoring backups works.
        if (from.size() > 4 && from.compare(from.size() - 4, 4, ".new") == 0 && Fails(Operation::kReplace, to)) {
            return false;
        }
        return real_->MoveReplacing(from, to);
    }
    bool Remove(const std::string& path) override { return real_->Remove(path); }
    std::string NameKey(const std::string& path) const override { return real_->NameKey(path); }
    std::optional<FileIdentity> IdentityOf(const std::string& path) override { return real_->IdentityOf(path); }
    bool SyncFolderOf(const std::string& path) override { return real_->SyncFolderOf(path); }

    // True once for the chosen operation on the chosen path.
    bool Fails(Operation operation, const std::string& path);
    bool Injected() const { return injected_; }

private:
    std::unique_ptr<TargetFileSystem> real_;
    Operation failing_;
    std::string suffix_;
    bool throws_;
    bool injected_ = false;
};

// Size and hash of some bytes: short enough to show when a comparison fails.
std::string Fingerprint(const std::string& bytes);

// Every file below a directory, by relative path, with the fingerprint of its
// bytes; directories appear with the marker "<dir>". Two snapshots are equal exactly when the
// trees hold the same files with the same contents.
std::map<std::string, std::string> SnapshotTree(const std::string& root);

// Writes a package made of the given entries and opens it.
bool WriteAndOpenPackage(PatchPackage& package, const std::string& path, const std::string& registryKey,
                         const std::vector<PackageContent>& entries);
