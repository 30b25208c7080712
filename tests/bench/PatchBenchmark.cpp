// The size of a patch between two releases of a file, the time dvk takes to
// make it (self-check included) and the time the updater's decoder takes to
// apply it from a mapped base, with the process's peak memory.
//
//   patch_bench OLD NEW [--level N] [--target-length N] [--chain-log N]
//                       [--search-log N] [--extra-window-log N]
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
#include "tools/dvk/PatchMaker.h"

namespace {

std::string ReadWhole(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: patch_bench OLD NEW [--level N] [--target-length N] [--chain-log N] "
                             "[--search-log N] [--extra-window-log N]\n");
        return 2;
    }
    PatchTuning tuning;
    for (int i = 3; i + 1 < argc; i += 2) {
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
    return applied ? 0 : 1;
}
