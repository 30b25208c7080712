#include "engine/ZstdEntrySource.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader: the header is checked before decoding
#include <zstd.h>

#include <algorithm>
#include <cstring>

#include "package/ZstdLimits.h"

void ZstdDecoderDeleter::operator()(ZSTD_DCtx_s* context) const { ZSTD_freeDCtx(context); }

namespace {

constexpr std::size_t kOutputSliceSize = 128 * 1024;

}  // namespace

ZstdEntrySource::ZstdEntrySource(PackageStream& stream, std::int64_t storedSize, std::int64_t resultSize)
    : stream_(stream),
      unread_(storedSize),
      context_(ZSTD_createDCtx()),
      input_(ZSTD_DStreamInSize()),
      output_(kOutputSliceSize),
      resultLeft_(resultSize) {}

std::unique_ptr<ZstdEntrySource> ZstdEntrySource::Open(PackageStream& stream, std::int64_t dataOffset,
                                                       std::int64_t storedSize, std::int64_t resultSize) {
    if (dataOffset < 0 || storedSize < 0 || resultSize < 0) return nullptr;
    stream.DiscardBuffer();
    if (!stream.Failed()) stream.Seek(dataOffset);
    std::unique_ptr<ZstdEntrySource> source(new ZstdEntrySource(stream, storedSize, resultSize));
    if (!source->context_ || !source->Refill()) return nullptr;

    // The whole header is within the first buffer (it is at most 18 bytes);
    // a frame that needs more than that, or more than the data holds, is cut.
    ZSTD_frameHeader header;
    if (ZSTD_getFrameHeader(&header, source->input_.data(), source->inputLength_) != 0) return nullptr;
    // A skippable frame, a frame of unknown size or of another size, a
    // window above the limit: refused before anything is allocated for it.
    if (header.frameType != ZSTD_frame || header.frameContentSize != static_cast<unsigned long long>(resultSize) ||
        header.windowSize > (1ull << kZstdWholeFileWindowLog)) {
        return nullptr;
    }
    if (ZSTD_isError(ZSTD_DCtx_setParameter(source->context_.get(), ZSTD_d_windowLogMax, kZstdWholeFileWindowLog))) {
        return nullptr;
    }
    return source;
}

bool ZstdEntrySource::Refill() {
    if (unread_ <= 0 || stream_.Failed()) return false;
    const std::size_t length =
        unread_ < static_cast<std::int64_t>(input_.size()) ? static_cast<std::size_t>(unread_) : input_.size();
    if (stream_.Read(input_.data(), length) != length) return false;
    unread_ -= static_cast<std::int64_t>(length);
    inputUsed_ = 0;
    inputLength_ = length;
    return true;
}

bool ZstdEntrySource::Step(char* out, std::size_t size, std::size_t& produced) {
    // An empty input buffer is refilled; the decoder may still owe output
    // from what it holds once the data has all been read.
    if (inputUsed_ == inputLength_ && unread_ > 0 && !Refill()) return false;
    ZSTD_outBuffer output{out, size, produced};
    ZSTD_inBuffer input{input_.data(), inputLength_, inputUsed_};
    const std::size_t left = ZSTD_decompressStream(context_.get(), &output, &input);
    const bool moved = input.pos != inputUsed_ || output.pos != produced;
    inputUsed_ = input.pos;
    produced = output.pos;
    if (ZSTD_isError(left)) return false;
    if (left == 0) frameEnded_ = true;
    // No step forward with nothing more to read: the frame was cut short.
    return moved || frameEnded_;
}

bool ZstdEntrySource::Decode() {
    const std::size_t want = resultLeft_ < static_cast<std::int64_t>(output_.size())
                                 ? static_cast<std::size_t>(resultLeft_)
                                 : output_.size();
    std::size_t produced = 0;
    while (produced < want) {
        // The frame ended before the result was whole.
        if (frameEnded_ || !Step(output_.data(), want, produced)) return false;
    }
    resultLeft_ -= static_cast<std::int64_t>(want);
    outputUsed_ = 0;
    outputLength_ = want;
    return want > 0;
}

bool ZstdEntrySource::ReadResult(char* buffer, std::size_t size) {
    std::size_t copied = 0;
    while (!failed_ && copied < size) {
        if (outputUsed_ == outputLength_ && !Decode()) {
            failed_ = true;
            break;
        }
        const std::size_t take = std::min(size - copied, outputLength_ - outputUsed_);
        std::memcpy(buffer + copied, output_.data() + outputUsed_, take);
        outputUsed_ += take;
        copied += take;
    }
    return !failed_;
}

bool ZstdEntrySource::EndsHere() {
    // The decoder may still owe the frame's last block end or checksum: not
    // one byte more may come out of it.
    char extra = 0;
    while (!failed_ && !frameEnded_) {
        std::size_t produced = 0;
        if (!Step(&extra, 1, produced) || produced != 0) failed_ = true;
    }
    // Anything after the frame (bytes, a second frame) is not this entry's.
    return !failed_ && resultLeft_ == 0 && outputUsed_ == outputLength_ && inputUsed_ == inputLength_ && unread_ == 0;
}
