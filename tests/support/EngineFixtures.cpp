#include "tests/support/EngineFixtures.h"

#include <filesystem>
#include <new>

#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

class FaultyOutputFile : public OutputFile {
public:
    FaultyOutputFile(std::unique_ptr<OutputFile> real, FaultyFileSystem& owner, std::string path)
        : real_(std::move(real)), owner_(owner), path_(std::move(path)) {}
    bool Write(const void* data, std::size_t size) override {
        if (owner_.Fails(FaultyFileSystem::Operation::kWrite, path_)) return false;
        return real_->Write(data, size);
    }
    bool Sync() override { return real_->Sync(); }
    bool Close() override {
        bool ok = real_->Close();
        return !owner_.Fails(FaultyFileSystem::Operation::kClose, path_) && ok;
    }

private:
    std::unique_ptr<OutputFile> real_;
    FaultyFileSystem& owner_;
    std::string path_;
};

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The staged name is "<target>.~dvkN.new"; faults are chosen by target.
std::string TargetOfStagedName(const std::string& path) {
    std::string::size_type mark = path.rfind(".~dvk");
    return mark == std::string::npos ? path : path.substr(0, mark);
}

}  // namespace

std::string Fingerprint(const std::string& bytes) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(hash);
}

bool FaultyFileSystem::Fails(Operation operation, const std::string& path) {
    if (injected_ || operation != failing_ || !EndsWith(TargetOfStagedName(path), suffix_)) return false;
    injected_ = true;
    if (throws_) throw std::bad_alloc();
    return true;
}

std::unique_ptr<OutputFile> FaultyFileSystem::CreateNew(const std::string& path) {
    if (Fails(Operation::kCreate, path)) return nullptr;
    std::unique_ptr<OutputFile> file = real_->CreateNew(path);
    if (!file) return nullptr;
    return std::make_unique<FaultyOutputFile>(std::move(file), *this, path);
}

std::map<std::string, std::string> SnapshotTree(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).generic_string();
        tree[relative] = entry.is_directory() ? "<dir>" : Fingerprint(ReadFileBytes(entry.path().string()));
    }
    return tree;
}

bool WriteAndOpenPackage(PatchPackage& package, const std::string& path, const std::string& registryKey,
                         const std::vector<PackageContent>& entries) {
    return WriteFileBytes(path, BuildPackageBytes("Test package", registryKey, entries)) && package.Open(path);
}
