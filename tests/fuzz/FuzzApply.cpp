// libFuzzer target: arbitrary bytes as a package of either format (.dvx:
// stored, zstd, delete and patch entries, frames decoded), applied to a
// scratch install root that already holds a few files, among them files of
// the user's named like staging files and app.exe, the base the seeds'
// patches were made from. Whatever the bytes, an apply that fails
// leaves the root exactly as it was, one that succeeds leaves each target
// with the bytes of the last entry naming it (a .dvx target: the table's size
// and SHA-256; a delete: gone) and every other file as it was,
// nothing is ever written outside the root, no staging or backup file is
// left behind, and the journal is gone (recovery finds nothing).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "engine/ApplyEngine.h"
#include "engine/Crypto.h"
#include "engine/Recovery.h"

namespace fs = std::filesystem;

namespace {

class CountingSink : public StatusSink {
public:
    void SetStatusLine(const std::string& text) override { last = text; }
    std::string last;
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        tree[fs::relative(entry.path(), root).generic_string()] =
            entry.is_directory() ? "<dir>" : ReadAll(entry.path());
    }
    return tree;
}

// 6000 bytes without repeats (state 1 of a linear congruential generator's
// top bytes): patches made from them must reach into the base to decode.
const std::string& InstalledApp() {
    static const std::string bytes = [] {
        std::string made(6000, '\0');
        std::uint32_t state = 1;
        for (char& byte : made) byte = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
        return made;
    }();
    return bytes;
}

// <work>/package.dvk, <work>/journals/ and <work>/root/ with: a.dll,
// app.exe, readme.txt, sub/, sub/b.txt, and the user's a.dll.~dvk0.new,
// a.dll.~dvk0.old and readme.txt.~dvk1.new. A target named "sub" cannot be
// written (it is a folder), so packages can fail after replacing targets.
void ResetWorkArea(const fs::path& work) {
    fs::remove_all(work);
    fs::create_directories(work / "root" / "sub");
    fs::create_directories(work / "journals");
    WriteAll(work / "root" / "a.dll", "installed a");
    WriteAll(work / "root" / "app.exe", InstalledApp());
    WriteAll(work / "root" / "readme.txt", "installed readme");
    WriteAll(work / "root" / "sub" / "b.txt", "installed b");
    WriteAll(work / "root" / "a.dll.~dvk0.new", "the user's own");
    WriteAll(work / "root" / "a.dll.~dvk0.old", "the user's own too");
    WriteAll(work / "root" / "readme.txt.~dvk1.new", "the user's third");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // In memory where the system offers it: every input makes and removes files.
    static const fs::path work = fs::path(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") /
                                 ("dvk-fuzz-apply-" + std::to_string(getpid()));
    ResetWorkArea(work);
    const fs::path packagePath = work / "package.dvk";
    WriteAll(packagePath, std::string(reinterpret_cast<const char*>(data), size));

    PatchPackage package;
    if (!package.Open(packagePath.string())) return 0;

    const fs::path root = work / "root";
    const auto before = Snapshot(root);
    FixedInstallRootLookup lookup;
    lookup.Set(package.GetRegistryKey(), root.string());
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    std::unique_ptr<JournalFolder> journals = OpenJournalFolder((work / "journals").string());
    CountingSink sink;
    bool applied = ApplyPackage(package, sink, lookup, *files, *journals) == ApplyResult::kApplied;

    // Nothing beside the root and the package appears in the work area.
    std::size_t inWork = 0;
    for (const auto& entry : fs::directory_iterator(work)) {
        (void)entry;
        ++inWork;
    }
    Check(inWork == 3, "something was written outside the install root");
    Check(fs::is_empty(work / "journals"), "a journal was left behind");
    Check(RecoverInterruptedUpdates(*journals, *files) == RecoveryOutcome::kNothingFound,
          "recovery found something after an update that ended");

    // A staging or backup file left behind shows as a file that is in neither
    // the old tree nor the package (a target may itself be named like one).
    const auto after = Snapshot(root);
    if (!applied) {
        Check(after == before, "a failed apply changed the install root");
        return 0;
    }
    // Expected contents: the last entry that names each target wins.
    std::map<std::string, std::string> expected = before;
    for (const PackageEntry& entry : package.GetEntries()) {
        std::string name = entry.targetName;
        for (char& c : name) {
            if (c == '\\') c = '/';
        }
        name = fs::path(name).lexically_normal().generic_string();
        if (package.GetFormat() == PackageFormat::kDvx) {
            // A .dvx result is the one the table's size and SHA-256 name.
            if (entry.IsDelete()) {
                Check(after.count(name) == 0, "a deleted target is still there");
                expected.erase(name);
                continue;
            }
            auto found = after.find(name);
            Check(found != after.end(), "an applied target is missing");
            Sha256 hash;
            hash.Update(found->second.data(), found->second.size());
            std::optional<Sha256Digest> digest = hash.Finish();
            Check(digest && std::equal(digest->begin(), digest->end(), entry.resultHash.begin()) &&
                      found->second.size() == static_cast<std::size_t>(entry.dataSize),
                  "an applied target is not the table's result");
            expected[name] = found->second;
            continue;
        }
        PackageStream& stream = package.Stream();
        stream.DiscardBuffer();
        stream.Seek(entry.recordOffset);
        stream.ReadByte();
        package.ReadInt32();
        package.ReadString();
        package.ReadString();
        std::string bytes(entry.dataSize > 0 ? static_cast<std::size_t>(entry.dataSize) : 0, '\0');
        Check(stream.Read(&bytes[0], bytes.size()) == bytes.size(), "data of an applied entry is unreadable");
        // Paths like "x/./y" or "x//y" name the same file as "x/y".
        expected[name] = bytes;
    }
    Check(after == expected, "an applied root does not hold the package's bytes");
    return 0;
}
