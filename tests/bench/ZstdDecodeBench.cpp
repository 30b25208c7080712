// Throughput of the zstd decoder the updater links, beside a plain copy of the
// same number of bytes, both from one file to another through the same
// buffers (the shape of a stored entry and of a zstd entry being staged).
//
//   zstd_decode_bench FILE.zst STORED_FILE OUTPUT_FILE
//
// FILE.zst is one frame (zstd -19 --long=27 of STORED_FILE). Prints the
// median of five rounds of each and their ratio, the decoder asked for 4096
// result bytes at a time (one progress line each) and for 128 KiB at a time. Builds natively and for
// Windows (run it under Wine for the 32-bit figure).
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "package/UniqueStdioFile.h"
#include "package/ZstdLimits.h"

namespace {

using Clock = std::chrono::steady_clock;

using File = UniqueStdioFile;

constexpr std::size_t kReadSize = 256 * 1024;   // the engine's read window
constexpr std::size_t kBlockSize = 4096;        // one progress line of the result

// Copies input to output in 4096-byte blocks; the bytes written, or -1.
long long Copy(const char* input, const char* output) {
    File in(std::fopen(input, "rb")), out(std::fopen(output, "wb"));
    if (!in || !out) return -1;
    std::vector<char> buffer(kBlockSize);
    long long total = 0;
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0; total += got) {
        if (std::fwrite(buffer.data(), 1, got, out.get()) != got) return -1;
    }
    return total;
}

// Decodes the frame in input to output, outputSize result bytes at a time,
// with the window bound the updater sets; the bytes written, or -1.
template <std::size_t outputSize>
long long Decode(const char* input, const char* output) {
    File in(std::fopen(input, "rb")), out(std::fopen(output, "wb"));
    std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
    if (!in || !out || !context) return -1;
    ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, kZstdWholeFileWindowLog);
    std::vector<char> compressed(kReadSize), block(outputSize);
    ZSTD_inBuffer source{compressed.data(), 0, 0};
    long long total = 0;
    std::size_t pending = 1;
    while (pending != 0) {
        if (source.pos == source.size) {
            source.size = std::fread(compressed.data(), 1, compressed.size(), in.get());
            source.pos = 0;
            if (source.size == 0) return -1;  // the frame ends early
        }
        ZSTD_outBuffer result{block.data(), block.size(), 0};
        pending = ZSTD_decompressStream(context.get(), &result, &source);
        if (ZSTD_isError(pending)) return -1;
        if (std::fwrite(block.data(), 1, result.pos, out.get()) != result.pos) return -1;
        total += static_cast<long long>(result.pos);
    }
    return total;
}

// The median time of five rounds, in seconds; negative when a round failed.
double Median(long long (*round)(const char*, const char*), const char* input, const char* output, long long& bytes) {
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = Clock::now();
        bytes = round(input, output);
        if (bytes < 0) return -1;
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: zstd_decode_bench FILE.zst STORED_FILE OUTPUT_FILE\n");
        return 2;
    }
    long long small = 0, large = 0, copied = 0;
    const double decodeSmall = Median(Decode<kBlockSize>, argv[1], argv[3], small);
    const double decodeLarge = Median(Decode<128 * 1024>, argv[1], argv[3], large);
    const double copy = Median(Copy, argv[2], argv[3], copied);
    if (decodeSmall < 0 || decodeLarge < 0 || copy < 0 || small != copied || large != copied) {
        std::fprintf(stderr, "zstd_decode_bench: a round failed or the sizes differ\n");
        return 1;
    }
    const double megabytes = static_cast<double>(copied) / 1e6;
    std::printf("stored entry              %10lld bytes %8.3f s %8.1f MB/s\n", copied, copy, megabytes / copy);
    std::printf("zstd entry, 4 KiB out     %10lld bytes %8.3f s %8.1f MB/s  %.2f of stored\n", small, decodeSmall,
                megabytes / decodeSmall, copy / decodeSmall);
    std::printf("zstd entry, 128 KiB out   %10lld bytes %8.3f s %8.1f MB/s  %.2f of stored\n", large, decodeLarge,
                megabytes / decodeLarge, copy / decodeLarge);
    return 0;
}
