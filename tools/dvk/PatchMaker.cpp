#include "tools/dvk/PatchMaker.h"

#include <zstd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/Crypto.h"
#include "engine/PatchDecoder.h"
#include "package/ZstdLimits.h"

namespace {

struct ContextFree {
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

// The smallest window log that holds size bytes, at least zstd's minimum.
int WindowLogFor(std::uint64_t size) {
    int log = 10;  // zstd's smallest window
    while (log < 62 && (std::uint64_t{1} << log) < size) ++log;
    return log;
}

bool Set(ZSTD_CCtx* context, ZSTD_cParameter parameter, int value) {
    return !ZSTD_isError(ZSTD_CCtx_setParameter(context, parameter, value));
}

}  // namespace

std::uint64_t MaxPatchFileBytes() { return std::uint64_t{1} << kZstdMaxWindowLog; }

MadePatch MakePatch(const std::string& base, const std::string& result, const EntryDigest& resultHash,
                    const PatchTuning& tuning) {
    if (base.size() > MaxPatchFileBytes() || result.size() > MaxPatchFileBytes()) {
        return MadePatch{PatchMakeStatus::kTooLarge, std::string()};
    }
    std::unique_ptr<ZSTD_CCtx, ContextFree> context(ZSTD_createCCtx());
    if (!context) return MadePatch{};
    // A window as large as the larger of base and result: while the result
    // stays within one window of the base's end, every byte of the base
    // remains a match source. Long-distance matching finds those far copies.
    const int windowLog = std::min(kZstdMaxWindowLog,
                                   WindowLogFor(std::max(base.size(), result.size())) + tuning.extraWindowLog);
    bool set = Set(context.get(), ZSTD_c_compressionLevel, tuning.level) &&
               Set(context.get(), ZSTD_c_windowLog, windowLog) &&
               Set(context.get(), ZSTD_c_enableLongDistanceMatching, 1) &&
               Set(context.get(), ZSTD_c_contentSizeFlag, 1) && Set(context.get(), ZSTD_c_checksumFlag, 1);
    if (tuning.targetLength != 0) set = set && Set(context.get(), ZSTD_c_targetLength, tuning.targetLength);
    if (tuning.chainLog != 0) set = set && Set(context.get(), ZSTD_c_chainLog, tuning.chainLog);
    if (tuning.searchLog != 0) set = set && Set(context.get(), ZSTD_c_searchLog, tuning.searchLog);
    if (!set || ZSTD_isError(ZSTD_CCtx_refPrefix(context.get(), base.data(), base.size()))) return MadePatch{};

    std::string patch(ZSTD_compressBound(result.size()), '\0');
    const std::size_t size = ZSTD_compress2(context.get(), &patch[0], patch.size(), result.data(), result.size());
    if (ZSTD_isError(size)) return MadePatch{};
    patch.resize(size);
    context.reset();
    if (!PatchGivesResult(patch, base, result.size(), resultHash)) {
        return MadePatch{PatchMakeStatus::kSelfCheckFailed, std::string()};
    }
    return MadePatch{PatchMakeStatus::kMade, std::move(patch)};
}

bool PatchGivesResult(const std::string& patch, const std::string& base, std::uint64_t resultSize,
                      const EntryDigest& resultHash) {
    MemoryPatchInput input(patch.data(), patch.size());
    PatchDecoder decoder;
    const auto* baseBytes = reinterpret_cast<const std::uint8_t*>(base.data());
    if (decoder.Begin(baseBytes, base.size(), input, resultSize) != PatchStatus::kOk) return false;
    Sha256 hash;
    std::vector<char> block(std::size_t{1} << 20);
    for (std::uint64_t remaining = resultSize; remaining > 0;) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        if (decoder.Read(block.data(), length) != PatchStatus::kOk) return false;
        hash.Update(block.data(), length);
        remaining -= length;
    }
    if (decoder.Finish() != PatchStatus::kOk) return false;
    const std::optional<Sha256Digest> digest = hash.Finish();
    return digest && *digest == resultHash;
}
