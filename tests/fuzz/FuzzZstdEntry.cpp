// libFuzzer target for the decoder path alone: arbitrary bytes as a zstd
// entry's data, after a 2-byte result size. Whatever the bytes, the source
// either refuses them or gives exactly the declared number of bytes, those
// the library's one-shot decoder makes of the same frame, and then says
// whether the data ended there; it never reads past the entry's data.
#include <unistd.h>

#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/ZstdEntrySource.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int64_t resultSize = data[0] | (data[1] << 8);
    // The entry's data lies between two bytes that are not its own.
    const std::string file = std::string("<") + std::string(reinterpret_cast<const char*>(data + 2), size - 2) + ">";
    static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                    "/dvk-fuzz-zstd-" + std::to_string(getpid());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    Check(out != nullptr && std::fwrite(file.data(), 1, file.size(), out) == file.size() && std::fclose(out) == 0,
          "the scratch file cannot be written");

    PackageStream stream;
    Check(stream.Open(path), "the scratch file cannot be opened");
    std::unique_ptr<ZstdEntrySource> source =
        ZstdEntrySource::Open(stream, 1, static_cast<std::int64_t>(size - 2), resultSize);
    if (!source) return 0;
    std::vector<char> result(static_cast<std::size_t>(resultSize));
    std::size_t done = 0;
    while (done < result.size()) {
        const std::size_t block = result.size() - done < 4096 ? result.size() - done : 4096;
        if (!source->ReadResult(result.data() + done, block)) return 0;
        done += block;
    }
    const bool ended = source->EndsHere();
    Check(stream.Position() <= static_cast<std::int64_t>(size - 1), "read past the entry's data");
    if (!ended) return 0;
    // A frame the source took whole is one the library decodes alike.
    std::vector<char> expected(result.size() + 1);
    const std::size_t made = ZSTD_decompress(expected.data(), expected.size(), data + 2, size - 2);
    Check(!ZSTD_isError(made) && made == result.size(), "the one-shot decoder disagrees on the size");
    Check(std::equal(result.begin(), result.end(), expected.begin()), "the one-shot decoder disagrees on the bytes");
    return 0;
}
