// Time and memory of Open for a package with very many entries.
//
//   open_bench [--entries N] [--dir PATH]
//
// Writes a package of N one-byte entries with names like "dir\file123456.dat",
// then opens it five times and prints the median time of Open and the heap
// memory that the open package holds (its entry table).
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/PackageWriter.h"
#include "package/PatchPackage.h"

namespace fs = std::filesystem;

namespace {

std::size_t HeapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;  // small blocks and mmapped ones
}

std::string TargetName(int index) { return "dir\\file" + std::to_string(index) + ".dat"; }

bool WritePackage(const std::string& path, int entries) {
    std::ofstream out(path, std::ios::binary);
    PackageWriter writer(out);
    std::vector<PackageWriterEntry> headers;
    headers.reserve(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i) headers.push_back({0, 1, "s", TargetName(i)});
    if (!writer.Begin("Many entries", "Software\\Bench", headers)) return false;
    headers.clear();
    headers.shrink_to_fit();
    for (int i = 0; i < entries; ++i) {
        if (!writer.WriteData("x", 1)) return false;
    }
    return writer.Finish();
}

}  // namespace

int main(int argc, char** argv) {
    int entries = 1000000;
    std::string base = fs::temp_directory_path().string();
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--entries") entries = std::atoi(argv[i + 1]);
        else if (option == "--dir") base = argv[i + 1];
    }
    std::string path = (fs::path(base) / ("dvk-open-bench-" + std::to_string(getpid()) + ".dvk")).string();
    if (entries <= 0 || !WritePackage(path, entries)) {
        std::fprintf(stderr, "open_bench: cannot write the package\n");
        return 1;
    }
    std::vector<double> times;
    std::size_t heldBytes = 0;
    for (int round = 0; round < 5; ++round) {
        std::size_t heapBefore = HeapInUse();
        PatchPackage package;
        auto start = std::chrono::steady_clock::now();
        bool opened = package.Open(path);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!opened || package.GetEntries().size() != static_cast<std::size_t>(entries) ||
            package.GetEntries().back().targetName != TargetName(entries - 1)) {
            std::fprintf(stderr, "open_bench: the package did not read back\n");
            return 1;
        }
        heldBytes = HeapInUse() - heapBefore;
    }
    std::sort(times.begin(), times.end());
    std::printf("package        %d entries, %ju bytes\n", entries, static_cast<std::uintmax_t>(fs::file_size(path)));
    std::printf("Open           %.3f s (median of 5)\n", times[2]);
    std::printf("held by Open   %zu KiB of heap, %.0f bytes per entry (sizeof(PackageEntry) = %zu)\n",
                heldBytes / 1024, static_cast<double>(heldBytes) / entries, sizeof(PackageEntry));
    fs::remove(path);
    return 0;
}
