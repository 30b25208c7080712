#include "tools/dvk/ZstdEntryEncoder.h"

#include <zstd.h>

#include "package/ZstdLimits.h"

ZstdEntryEncoder::ZstdEntryEncoder() : context_(ZSTD_createCCtx()) {}

ZstdEntryEncoder::~ZstdEntryEncoder() {
    ZSTD_freeCCtx(context_);
}

int ZstdEntryEncoder::WindowLogFor(std::int64_t contentSize) {
    int log = 10;  // ZSTD_WINDOWLOG_MIN
    while (log < kZstdWholeFileWindowLog && (std::int64_t{1} << log) < contentSize) ++log;
    return log;
}

bool ZstdEntryEncoder::Begin(std::int64_t contentSize) {
    if (context_ == nullptr || contentSize < 0) return false;
    auto set = [this](ZSTD_cParameter parameter, int value) {
        return !ZSTD_isError(ZSTD_CCtx_setParameter(context_, parameter, value));
    };
    return !ZSTD_isError(ZSTD_CCtx_reset(context_, ZSTD_reset_session_and_parameters)) &&
           set(ZSTD_c_compressionLevel, kZstdPackLevel) && set(ZSTD_c_enableLongDistanceMatching, 1) &&
           set(ZSTD_c_windowLog, WindowLogFor(contentSize)) && set(ZSTD_c_contentSizeFlag, 1) &&
           set(ZSTD_c_checksumFlag, 0) &&
           !ZSTD_isError(ZSTD_CCtx_setPledgedSrcSize(context_, static_cast<unsigned long long>(contentSize)));
}

bool ZstdEntryEncoder::Compress(const void* data, std::size_t size, bool last, std::string& out) {
    if (context_ == nullptr) return false;
    ZSTD_inBuffer input = {data, size, 0};
    char chunk[64 * 1024];
    const ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
    for (;;) {
        ZSTD_outBuffer output = {chunk, sizeof chunk, 0};
        const std::size_t left = ZSTD_compressStream2(context_, &output, &input, mode);
        if (ZSTD_isError(left)) return false;
        out.append(chunk, output.pos);
        // Done when the input is taken and, at the end, the frame is flushed.
        if (last ? left == 0 : input.pos == input.size) return true;
    }
}
