#include "tests/support/KillableFileSystem.h"

namespace {

class KillableOutputFile : public OutputFile {
public:
    KillableOutputFile(std::unique_ptr<OutputFile> real, KillSwitch& kill) : real_(std::move(real)), kill_(kill) {}
    bool Write(const void* data, std::size_t size) override { return kill_.Step() && real_->Write(data, size); }
    bool Sync() override { return kill_.Step() && real_->Sync(); }
    bool Close() override { return kill_.Step() && real_->Close(); }

private:
    std::unique_ptr<OutputFile> real_;
    KillSwitch& kill_;
};

class KillableJournalFile : public JournalFile {
public:
    KillableJournalFile(std::unique_ptr<JournalFile> real, KillSwitch& kill) : real_(std::move(real)), kill_(kill) {}
    bool Append(const std::string& bytes) override {
        if (kill_.Step()) return real_->Append(bytes);
        // Killed in the middle of the write: the record is torn, and a dead
        // process sees no result.
        if (kill_.justDied) static_cast<void>(real_->Append(bytes.substr(0, bytes.size() / 2)));
        return false;
    }

private:
    std::unique_ptr<JournalFile> real_;
    KillSwitch& kill_;
};

}  // namespace

std::unique_ptr<OutputFile> KillableFileSystem::CreateNew(const std::string& path) {
    if (!kill_.Step()) return nullptr;
    std::unique_ptr<OutputFile> file = real_.CreateNew(path);
    if (!file) return nullptr;
    return std::make_unique<KillableOutputFile>(std::move(file), kill_);
}

std::unique_ptr<JournalFile> KillableJournalFolder::Create(std::string& name) {
    if (!kill_.Step()) return nullptr;
    std::unique_ptr<JournalFile> file = real_.Create(name);
    if (!file) return nullptr;
    return std::make_unique<KillableJournalFile>(std::move(file), kill_);
}

std::unique_ptr<JournalFile> KillableJournalFolder::OpenForAppend(const std::string& name, std::uint64_t keep) {
    if (!kill_.Step()) return nullptr;
    std::unique_ptr<JournalFile> file = real_.OpenForAppend(name, keep);
    if (!file) return nullptr;
    return std::make_unique<KillableJournalFile>(std::move(file), kill_);
}
