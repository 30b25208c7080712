// A file system and a journal folder that stop dead after a given number of
// changes, as a killed process stops: the change at that point (a journal
// record half written) and every one after it never happen.
#pragma once

#include <memory>
#include <string>

#include "engine/JournalFolder.h"
#include "engine/TargetFileSystem.h"

// Counts the changes both share; dead once the budget is spent.
struct KillSwitch {
    explicit KillSwitch(long budget) : left(budget) {}
    // True when the change may happen.
    bool Step() {
        if (dead) return justDied = false;
        if (left-- > 0) return true;
        dead = justDied = true;
        return false;
    }
    long left;
    bool dead = false;
    bool justDied = false;  // the last step was the one that died
};

class KillableFileSystem : public TargetFileSystem {
public:
    KillableFileSystem(TargetFileSystem& real, KillSwitch& kill) : real_(real), kill_(kill) {}

    std::string TargetPath(const std::string& root, const std::string& name) const override {
        return real_.TargetPath(root, name);
    }
    bool IsRealFolder(const std::string& root) override { return real_.IsRealFolder(root); }
    bool CanOpenForReading(const std::string& path) override { return real_.CanOpenForReading(path); }
    bool HasNoLinkBelowRoot(const std::string& root, const std::string& path) override {
        return real_.HasNoLinkBelowRoot(root, path);
    }
    bool Exists(const std::string& path) override { return real_.Exists(path); }
    std::unique_ptr<OutputFile> CreateNew(const std::string& path) override;
    bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                              const std::string& backup) override {
        return kill_.Step() && real_.ReplaceKeepingBackup(replacement, target, backup);
    }
    bool MoveReplacing(const std::string& from, const std::string& to) override {
        return kill_.Step() && real_.MoveReplacing(from, to);
    }
    bool Remove(const std::string& path) override { return kill_.Step() && real_.Remove(path); }
    std::string NameKey(const std::string& path) const override { return real_.NameKey(path); }
    std::optional<FileIdentity> IdentityOf(const std::string& path) override { return real_.IdentityOf(path); }
    bool SyncFolderOf(const std::string& path) override { return kill_.Step() && real_.SyncFolderOf(path); }

private:
    TargetFileSystem& real_;
    KillSwitch& kill_;
};

class KillableJournalFolder : public JournalFolder {
public:
    KillableJournalFolder(JournalFolder& real, KillSwitch& kill) : real_(real), kill_(kill) {}

    std::vector<std::string> List() override { return real_.List(); }
    std::unique_ptr<JournalFile> Create(std::string& name) override;
    std::unique_ptr<JournalFile> OpenForAppend(const std::string& name, std::uint64_t keep) override;
    bool Read(const std::string& name, std::string& bytes) override { return real_.Read(name, bytes); }
    bool Remove(const std::string& name) override { return kill_.Step() && real_.Remove(name); }
    bool SetAside(const std::string& name) override { return kill_.Step() && real_.SetAside(name); }

private:
    JournalFolder& real_;
    KillSwitch& kill_;
};
