// The size of a patch between two releases of a file, the time dvk takes to
// make it (self-check included) and the time the updater's decoder takes to
// apply it from a mapped base, with the process's peak memory. With
// --packages DIR it also writes DIR/patch.dvx (one patch entry made from OLD)
// and DIR/stored.dvx (NEW stored whole), both payload.bin, and DIR/start.dvx
// (one byte stored as start.txt: the program's own start), all for the
// product Software\DravlekBench, for timing the updater (wine-patch-bench.sh).
//
//   patch_bench OLD NEW [--level N] [--target-length N] [--chain-log N]
//                       [--search-log N] [--extra-window-log N] [--packages DIR]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/Crypto.h"
#include "engine/MappedFile.h"
#include "engine/PatchDecoder.h"
#include "package/DvxWriter.h"
#include "tools/dvk/PatchMaker.h"

namespace {

std::string ReadWhole(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

EntryDigest OneByteHash() {
    Sha256 hash;
    hash.Update("x", 1);
    return *hash.Finish();
}

// The three packages; false when any cannot be written.
bool WritePackages(const std::string& dir, const std::string& base, const std::string& result,
                   const EntryDigest& resultHash, const std::string& patch) {
    const char key[] = "Software\\DravlekBench";
    const std::int64_t size = static_cast<std::int64_t>(result.size());
    Sha256 hash;
    hash.Update(base.data(), base.size());
    DvxPatchContent part;
    part.part.patches.push_back({PatchMethod::kZstdPrefix, base.size(), *hash.Finish(), 0, 0});
    part.alternativeLengths.push_back(static_cast<std::int64_t>(patch.size()));
    const std::pair<const char*, std::string> packages[] = {
        {"/patch.dvx", BuildDvxBytes("Bench", key, {{EntryKind::kPatch, 0, "payload.bin", patch, size, resultHash}},
                                     {part})},
        {"/stored.dvx", BuildDvxBytes("Bench", key, {{EntryKind::kStored, 0, "payload.bin", result, size, resultHash}})},
        {"/start.dvx", BuildDvxBytes("Bench", key, {{EntryKind::kStored, 0, "start.txt", "x", 1, OneByteHash()}})},
    };
    for (const auto& [name, bytes] : packages) {
        std::ofstream out(dir + name, std::ios::binary);
        if (bytes.empty() || !(out << bytes) || !out.flush()) return false;
    }
    return true;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: patch_bench OLD NEW [--level N] [--target-length N] [--chain-log N] "
                             "[--search-log N] [--extra-window-log N] [--packages DIR]\n");
        return 2;
    }
    PatchTuning tuning;
    std::string packages;
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--packages") == 0) packages = argv[i + 1];
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--level") == 0) tuning.level = value;
        if (std::strcmp(argv[i], "--target-length") == 0) tuning.targetLength = value;
        if (std::strcmp(argv[i], "--chain-log") == 0) tuning.chainLog = value;
        if (std::strcmp(argv[i], "--search-log") == 0) tuning.searchLog = value;
        if (std::strcmp(argv[i], "--extra-window-log") == 0) tuning.extraWindowLog = value;
    }
    const std::string base = ReadWhole(argv[1]);
    const std::string result = ReadWhole(argv[2]);
    Sha256 hash;
    hash.Update(result.data(), result.size());
    const EntryDigest resultHash = *hash.Finish();

    auto start = std::chrono::steady_clock::now();
    const MadePatch patch = MakePatch(base, result, resultHash, tuning);
    const double makeSeconds = Since(start);
    if (patch.status != PatchMakeStatus::kMade) {
        std::fprintf(stderr, "no patch (status %d)\n", static_cast<int>(patch.status));
        return 1;
    }

    std::unique_ptr<MappedFile> view = MapFileForReading(argv[1]);
    if (!view) return 1;
    start = std::chrono::steady_clock::now();
    MemoryPatchInput input(patch.bytes.data(), patch.bytes.size());
    PatchDecoder decoder;
    std::vector<char> block(4096);
    bool applied = decoder.Begin(view->Data(), view->Size(), input, result.size()) == PatchStatus::kOk;
    for (std::size_t done = 0; applied && done < result.size(); done += block.size()) {
        const std::size_t length = result.size() - done < block.size() ? result.size() - done : block.size();
        applied = decoder.Read(block.data(), length) == PatchStatus::kOk;
    }
    applied = applied && decoder.Finish() == PatchStatus::kOk;
    const double applySeconds = Since(start);

    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                              static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("base %zu, result %zu, patch %zu bytes: %.2f %% of the result\n", base.size(), result.size(),
                patch.bytes.size(), 100.0 * static_cast<double>(patch.bytes.size()) / static_cast<double>(result.size()));
    std::printf("made and checked in %.1f s; applied in 4096-byte blocks in %.3f s (%.0f MB/s)%s\n", makeSeconds,
                applySeconds, static_cast<double>(result.size()) / 1e6 / applySeconds, applied ? "" : " FAILED");
    // Wall time depends on what else runs; the processor time does not.
    std::printf("processor time of the whole run %.1f s; peak resident memory %ld MB\n", cpuSeconds,
                usage.ru_maxrss / 1024);
    if (applied && !packages.empty() && !WritePackages(packages, base, result, resultHash, patch.bytes)) {
        std::fprintf(stderr, "cannot write the packages in %s\n", packages.c_str());
        return 1;
    }
    return applied ? 0 : 1;
}
