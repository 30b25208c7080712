// Apply throughput beside a plain file copy of the same bytes, and peak memory.
//
//   apply_bench [--mib N] [--entries N] [--dir PATH]
//   apply_bench --file PATH [--dir PATH]
//
// Writes a package of N MiB in the given number of entries, then, five times
// in turn: applies it to an empty scratch install root with a sink that drops
// every line; copies the package file with std::filesystem::copy_file (the
// kernel's copy, as cp does it); copies it with a read/write loop through a
// 128 KiB buffer; applies the same package signed, to a product that trusts
// its key (the signature checked first). Prints the median of each, the ratios and the process's
// peak resident memory. The files stay in the page cache on purpose: what is
// measured is the engine's own cost.
//
// With --file: the file as the one entry of a .dvk (stored), of a .dvx
// (stored) and of a .dvx (a zstd frame, as dvk pack --format dvx writes it),
// each applied five times in turn; prints the medians, the ratios and the
// peak resident memory of the applies.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ApplyEngine.h"
#include "engine/Crypto.h"
#include "engine/PublicKeyText.h"
#include "package/DvxWriter.h"
#include "package/PackageWriter.h"
#include "package/UniqueStdioFile.h"
#include "tools/dvk/DvxPackWriter.h"
#include "tools/dvk/PackPlan.h"
#include "tools/dvk/PackageSigner.h"

namespace fs = std::filesystem;

namespace {

class NullSink : public StatusSink {
public:
    void SetStatusLine(const std::string&) override { ++lines; }
    long lines = 0;
};

double Seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Streams the package to disk a chunk at a time: its size never sits in memory.
bool WritePackage(const std::string& path, std::int64_t totalBytes, int entries) {
    std::ofstream out(path, std::ios::binary);
    PackageWriter writer(out);
    std::vector<PackageWriterEntry> headers;
    std::int64_t each = totalBytes / entries;
    for (int i = 0; i < entries; ++i) {
        headers.push_back({0, static_cast<std::int32_t>(each), "src" + std::to_string(i),
                           "file" + std::to_string(i) + ".bin"});
    }
    if (!writer.Begin("Benchmark", "Software\\Bench", headers)) return false;
    std::vector<char> chunk(1 << 20);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31 + i / 977);
    std::int64_t left = each * entries;
    while (left > 0) {
        std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(left, chunk.size()));
        if (!writer.WriteData(chunk.data(), take)) return false;
        left -= static_cast<std::int64_t>(take);
    }
    return writer.Finish();
}

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool LoopCopy(const std::string& from, const std::string& to) {
    UniqueStdioFile in(std::fopen(from.c_str(), "rb"));
    UniqueStdioFile out(std::fopen(to.c_str(), "wb"));
    bool ok = in != nullptr && out != nullptr;
    std::vector<char> buffer(128 * 1024);
    std::size_t got;
    while (ok && (got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
        ok = std::fwrite(buffer.data(), 1, got, out.get()) == got;
    }
    return CloseStdioFile(out) && ok;
}

// The file as the one stored entry of a .dvk (dvx false) or of a .dvx (with
// its SHA-256), streamed through the writers.
bool WriteStoredPackage(const std::string& path, const fs::path& file, bool dvx) {
    std::ifstream in(file, std::ios::binary);
    std::ofstream out(path, std::ios::binary);
    PackageWriter dvkWriter(out);
    DvxWriter dvxWriter(out);
    const auto size = static_cast<std::int32_t>(fs::file_size(file));
    const std::vector<DvxWriterEntry> dvxEntries = {{EntryKind::kStored, 0, "payload.bin"}};
    const std::vector<PackageWriterEntry> dvkEntries = {{0, size, "payload.bin", "payload.bin"}};
    const bool begun = dvx ? dvxWriter.Begin("Benchmark", "Software\\Bench", dvxEntries)
                           : dvkWriter.Begin("Benchmark", "Software\\Bench", dvkEntries);
    if (!in || !begun) return false;
    Sha256 hash;
    std::vector<char> chunk(1 << 20);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        const auto got = static_cast<std::size_t>(in.gcount());
        hash.Update(chunk.data(), got);
        if (!(dvx ? dvxWriter.WriteData(chunk.data(), got) : dvkWriter.WriteData(chunk.data(), got))) return false;
    }
    if (!dvx) return dvkWriter.Finish();
    const auto digest = hash.Finish();
    return digest && dvxWriter.EndEntry(size, *digest) && dvxWriter.Finish();
}

// The three packages, written by a child process so that the compressor's
// memory does not count in the peak of the applies.
bool WriteComparedPackages(const fs::path& source, const std::string packages[3]) {
    const pid_t child = fork();
    if (child == 0) {
        PackPlan plan;
        DvxPackSummary summary;
        std::string error;
        std::ofstream dvx(packages[2], std::ios::binary);
        const bool written = plan.AddDirectory(source.string(), error) &&
                             WriteDvxPackage(dvx, "Benchmark", "Software\\Bench", plan, summary, error) &&
                             summary.zstd == 1 && WriteStoredPackage(packages[0], source / "payload.bin", false) &&
                             WriteStoredPackage(packages[1], source / "payload.bin", true);
        if (!written) std::fprintf(stderr, "apply_bench: cannot write the packages %s\n", error.c_str());
        std::_Exit(written ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int CompareZstdWithStored(const fs::path& file, const fs::path& work) {
    fs::create_directories(work / "source");
    fs::create_directories(work / "journals");
    fs::copy_file(file, work / "source" / "payload.bin", fs::copy_options::overwrite_existing);
    const std::string packages[3] = {(work / "stored.dvk").string(), (work / "stored.dvx").string(),
                                     (work / "zstd.dvx").string()};
    const char* names[3] = {"stored entry .dvk", "stored entry .dvx", "zstd entry .dvx"};
    if (!WriteComparedPackages(work / "source", packages)) return 1;
    FixedInstallRootLookup lookup;
    lookup.Set("Software\\Bench", (work / "install").string());
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    std::unique_ptr<JournalFolder> journals = OpenJournalFolder((work / "journals").string());
    std::vector<double> times[3];
    for (int round = 0; round < 5; ++round) {
        for (int kind = 0; kind < 3; ++kind) {
            fs::remove_all(work / "install");
            fs::create_directories(work / "install");
            PatchPackage patch;
            NullSink sink;
            if (!patch.Open(packages[kind])) return 1;
            const auto start = Clock::now();
            const bool applied = ApplyPackage(patch, sink, lookup, *files, *journals) == ApplyResult::kApplied;
            times[kind].push_back(Seconds(Clock::now() - start));
            if (!applied) {
                std::fprintf(stderr, "apply_bench: the apply of the %s failed\n", names[kind]);
                return 1;
            }
        }
    }
    const double megabytes = static_cast<double>(fs::file_size(file)) / 1e6;
    std::printf("file               %s (%.1f MB, zstd frame in a %.1f MB .dvx)\n", file.string().c_str(), megabytes,
                static_cast<double>(fs::file_size(packages[2])) / 1e6);
    for (int kind = 0; kind < 3; ++kind) {
        std::printf("%-18s %8.3f s  %8.1f MB/s\n", names[kind], Median(times[kind]),
                    megabytes / Median(times[kind]));
    }
    std::printf("zstd / stored .dvk %8.2f  (throughput ratio, medians of 5; goal at least 0.5)\n",
                Median(times[0]) / Median(times[2]));
    std::printf("zstd / stored .dvx %8.2f  (both hash their result)\n", Median(times[1]) / Median(times[2]));
    std::printf("peak resident      %8ld KiB  (the applies alone)\n", PeakResidentKiB());
    fs::remove_all(work);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::int64_t mib = 512;
    int entries = 64;
    std::string base = fs::temp_directory_path().string(), file;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--mib") mib = std::atoll(argv[i + 1]);
        else if (option == "--entries") entries = std::atoi(argv[i + 1]);
        else if (option == "--dir") base = argv[i + 1];
        else if (option == "--file") file = argv[i + 1];
    }
    if (!file.empty()) return CompareZstdWithStored(file, fs::path(base) / ("dvk-bench-" + std::to_string(::getpid())));
    if (mib <= 0 || entries <= 0 || mib * 1024 * 1024 / entries > 0x7FFFFFFF) {
        std::fprintf(stderr, "apply_bench: sizes out of range\n");
        return 2;
    }
    fs::path work = fs::path(base) / ("dvk-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "install");
    std::string package = (work / "bench.dvk").string();
    if (!WritePackage(package, mib * 1024 * 1024, entries)) {
        std::fprintf(stderr, "apply_bench: cannot write %s\n", package.c_str());
        return 1;
    }
    std::uintmax_t packageBytes = fs::file_size(package);
    double megabytes = static_cast<double>(mib * 1024 * 1024) / 1e6;

    // One warm-up read so that both contenders start from the page cache.
    fs::copy_file(package, work / "warm.bin");
    fs::remove(work / "warm.bin");

    // The same bytes signed, for a product that trusts the key.
    const std::string signedPackage = (work / "signed.dvk").string();
    SigningKey key;
    std::string error;
    {
        std::ofstream out(signedPackage, std::ios::binary);
        if (!key.Generate(error) ||
            !AppendSignature(package, static_cast<std::int64_t>(packageBytes), true, out, key, error)) {
            std::fprintf(stderr, "apply_bench: %s\n", error.c_str());
            return 1;
        }
    }
    FixedInstallRootLookup lookup;
    lookup.Set("Software\\Bench", (work / "install").string());
    FixedInstallRootLookup trusting = lookup;
    trusting.SetTrustedKeys("Software\\Bench", {PublicKeyBase64(key.PublicKey())});
    std::vector<double> signedTimes;
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    fs::create_directories(work / "journals");
    std::unique_ptr<JournalFolder> journals = OpenJournalFolder((work / "journals").string());
    std::vector<double> applyTimes, copyTimes, loopTimes;
    long lines = 0;
    for (int round = 0; round < 5; ++round) {
        fs::remove_all(work / "install");
        fs::create_directories(work / "install");
        fs::remove(work / "copy.bin");
        fs::remove(work / "loop.bin");

        PatchPackage patch;
        NullSink sink;
        if (!patch.Open(package)) return 1;
        auto start = Clock::now();
        bool applied = ApplyPackage(patch, sink, lookup, *files, *journals) == ApplyResult::kApplied;
        applyTimes.push_back(Seconds(Clock::now() - start));
        if (!applied) {
            std::fprintf(stderr, "apply_bench: the apply failed\n");
            return 1;
        }
        lines = sink.lines;

        fs::remove_all(work / "install");
        fs::create_directories(work / "install");
        PatchPackage signedPatch;
        if (!signedPatch.Open(signedPackage) || !signedPatch.GetSignatureTrailer()) return 1;
        start = Clock::now();
        applied = ApplyPackage(signedPatch, sink, trusting, *files, *journals) == ApplyResult::kApplied;
        signedTimes.push_back(Seconds(Clock::now() - start));
        if (!applied) {
            std::fprintf(stderr, "apply_bench: the signed apply failed\n");
            return 1;
        }

        start = Clock::now();
        fs::copy_file(package, work / "copy.bin");
        copyTimes.push_back(Seconds(Clock::now() - start));

        start = Clock::now();
        if (!LoopCopy(package, (work / "loop.bin").string())) return 1;
        loopTimes.push_back(Seconds(Clock::now() - start));
    }
    double applySeconds = Median(applyTimes);
    double copySeconds = Median(copyTimes);
    double loopSeconds = Median(loopTimes);

    std::printf("package            %lld MiB in %d entries (%ju bytes on disk)\n", static_cast<long long>(mib), entries,
                packageBytes);
    std::printf("apply (null sink)  %8.3f s  %8.1f MB/s  %ld status lines\n", applySeconds, megabytes / applySeconds,
                lines);
    const double signedSeconds = Median(signedTimes);
    std::printf("apply signed       %8.3f s  %8.1f MB/s  (%+.0f %% over unsigned)\n", signedSeconds,
                megabytes / signedSeconds, 100.0 * (signedSeconds / applySeconds - 1.0));
    std::printf("copy_file          %8.3f s  %8.1f MB/s\n", copySeconds, megabytes / copySeconds);
    std::printf("read/write loop    %8.3f s  %8.1f MB/s\n", loopSeconds, megabytes / loopSeconds);
    std::printf("apply / copy_file  %8.2f  (throughput ratio, medians of 5; 1.0 = as fast)\n",
                copySeconds / applySeconds);
    std::printf("apply / loop copy  %8.2f\n", loopSeconds / applySeconds);
    std::printf("peak resident      %8ld KiB\n", PeakResidentKiB());
    fs::remove_all(work);
    return 0;
}
