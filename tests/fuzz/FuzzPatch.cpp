// libFuzzer target: arbitrary bytes as a patch, decoded against a base with a
// declared result size, both taken from the input's first bytes:
//   4 bytes  declared result size, little-endian; when its top bit is set,
//            one of the sizes around the window cap or beyond it instead
//   1 byte   the base: 0 none, 1 a fixed 40000-byte pattern, else the next
//            2 bytes give the length of a base taken from the input
//   the rest the patch frame
// Whatever the bytes: no crash, no read outside the base, never more output
// than declared, success only with exactly the declared size decoded and a
// frame ending there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/PatchDecoder.h"

namespace {

const std::vector<std::uint8_t>& FixedBase() {
    static const std::vector<std::uint8_t> base = [] {
        std::vector<std::uint8_t> bytes(40000);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9));
        return bytes;
    }();
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    std::uint64_t declared = data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint64_t{data[3]} << 24);
    if ((declared & 0x80000000u) != 0) {
        const std::uint64_t hostile[] = {std::uint64_t{1} << 27, (std::uint64_t{1} << 27) + 1, 0xFFFFFFFFu,
                                         ~std::uint64_t{0}, 0};
        declared = hostile[declared % (sizeof(hostile) / sizeof(hostile[0]))];
    } else {
        declared &= 0xFFFFF;  // up to 1 MiB of output keeps runs quick
    }
    std::size_t used = 5;
    // The base lives in its own allocation so that any read past it is seen.
    std::vector<std::uint8_t> base;
    if (data[4] == 1) {
        base = FixedBase();
    } else if (data[4] > 1 && size >= 7) {
        const std::size_t length = std::min<std::size_t>(data[5] | (data[6] << 8), size - 7);
        base.assign(data + 7, data + 7 + length);
        used = 7 + length;
    }

    MemoryPatchInput input(data + used, size - used);
    PatchDecoder decoder;
    if (decoder.Begin(base.empty() ? nullptr : base.data(), base.size(), input, declared) != PatchStatus::kOk) return 0;
    std::vector<std::uint8_t> block(4096);
    std::uint64_t remaining = declared;
    while (remaining > 0) {
        const std::size_t length = remaining < block.size() ? static_cast<std::size_t>(remaining) : block.size();
        if (decoder.Read(block.data(), length) != PatchStatus::kOk) return 0;
        remaining -= length;
    }
    if (decoder.Finish() != PatchStatus::kOk) return 0;
    // Once finished, nothing more comes out.
    if (decoder.Read(block.data(), 1) == PatchStatus::kOk) std::abort();
    return 0;
}
