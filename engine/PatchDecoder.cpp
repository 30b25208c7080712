#include "engine/PatchDecoder.h"

#include <zstd.h>
#include <zstd_errors.h>

#include <cstring>
#include <optional>
#include <vector>

#include "package/ZstdLimits.h"

namespace {

constexpr std::uint32_t kZstdMagic = 0xFD2FB528;
constexpr std::size_t kMagicBytes = 4;

std::uint64_t LittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t value = 0;
    for (std::size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
    return value;
}

// The window a frame header asks for, as its descriptor byte gives it, or
// nothing for a single-segment frame (whose window is its content size).
// Read by hand so that a hostile window is refused before zstd sees it.
std::optional<std::uint64_t> DeclaredWindow(const std::uint8_t* header, std::size_t size) {
    const std::uint8_t descriptor = header[kMagicBytes];
    if ((descriptor & 0x20) != 0) return std::nullopt;
    if (size <= kMagicBytes + 1) return ~std::uint64_t{0};
    const std::uint8_t window = header[kMagicBytes + 1];
    const unsigned windowLog = 10u + (window >> 3);
    if (windowLog > 62) return ~std::uint64_t{0};
    const std::uint64_t windowBase = std::uint64_t{1} << windowLog;
    return windowBase + (windowBase / 8) * (window & 7);
}

PatchStatus StatusOfError(std::size_t result) {
    switch (ZSTD_getErrorCode(result)) {
    case ZSTD_error_frameParameter_windowTooLarge:
        return PatchStatus::kWindowTooLarge;
    case ZSTD_error_memory_allocation:
        return PatchStatus::kNoMemory;
    default:
        return PatchStatus::kCorrupt;
    }
}

}  // namespace

std::size_t MemoryPatchInput::Read(void* data, std::size_t size) {
    const std::size_t count = size < size_ - position_ ? size : size_ - position_;
    if (count != 0) std::memcpy(data, data_ + position_, count);
    position_ += count;
    return count;
}

struct PatchDecoder::State {
    ZSTD_DCtx* context = nullptr;
    PatchInput* input = nullptr;
    std::vector<std::uint8_t> buffer;
    ZSTD_inBuffer in{nullptr, 0, 0};
    bool inputEnded = false;
    bool frameEnded = false;
    int stalls = 0;  // calls in a row that moved nothing although input was there
    std::uint64_t remaining = 0;
    PatchStatus failure = PatchStatus::kOk;

    ~State() { ZSTD_freeDCtx(context); }

    // Refills the input buffer once it is used up; false at the end of input.
    bool Refill() {
        if (in.pos < in.size) return true;
        if (inputEnded) return false;
        const std::size_t got = input->Read(buffer.data(), buffer.size());
        if (got < buffer.size()) inputEnded = true;
        in = ZSTD_inBuffer{buffer.data(), got, 0};
        return got > 0;
    }

    // One step of decoding into out; kOk when it moved on.
    PatchStatus Step(ZSTD_outBuffer& out) {
        const bool hasInput = Refill();
        const std::size_t inBefore = in.pos;
        const std::size_t outBefore = out.pos;
        const std::size_t result = ZSTD_decompressStream(context, &out, &in);
        if (ZSTD_isError(result)) return StatusOfError(result);
        if (result == 0) frameEnded = true;
        const bool moved = in.pos != inBefore || out.pos != outBefore;
        if (frameEnded || moved) {
            stalls = 0;
            return PatchStatus::kOk;
        }
        if (!hasInput) return PatchStatus::kEndedEarly;
        // zstd moves on whenever it has input and room; never loop forever.
        return ++stalls < 4 ? PatchStatus::kOk : PatchStatus::kCorrupt;
    }

    PatchStatus Fail(PatchStatus status) {
        failure = status;
        return status;
    }
};

PatchDecoder::PatchDecoder() : state_(std::make_unique<State>()) {}
PatchDecoder::~PatchDecoder() = default;

PatchStatus PatchDecoder::Begin(const std::uint8_t* base, std::size_t baseSize, PatchInput& input,
                                std::uint64_t resultSize) {
    State& s = *state_;
    s.input = &input;
    s.remaining = resultSize;
    s.context = ZSTD_createDCtx();
    if (s.context == nullptr) return s.Fail(PatchStatus::kNoMemory);
    s.buffer.resize(ZSTD_DStreamInSize());
    if (!s.Refill()) return s.Fail(PatchStatus::kBadHeader);

    const auto* header = static_cast<const std::uint8_t*>(s.in.src);
    if (s.in.size <= kMagicBytes || LittleEndian(header, kMagicBytes) != kZstdMagic) {
        return s.Fail(PatchStatus::kBadHeader);
    }
    const std::uint64_t windowLimit = std::uint64_t{1} << kZstdMaxWindowLog;
    const std::optional<std::uint64_t> window = DeclaredWindow(header, s.in.size);
    if ((window && *window > windowLimit) || baseSize > windowLimit) return s.Fail(PatchStatus::kWindowTooLarge);
    const unsigned long long contentSize = ZSTD_getFrameContentSize(header, s.in.size);
    if (contentSize == ZSTD_CONTENTSIZE_ERROR) return s.Fail(PatchStatus::kBadHeader);
    if (contentSize == ZSTD_CONTENTSIZE_UNKNOWN || contentSize != resultSize) {
        return s.Fail(PatchStatus::kSizeMismatch);
    }
    if (!window && contentSize > windowLimit) return s.Fail(PatchStatus::kWindowTooLarge);
    if (ZSTD_isError(ZSTD_DCtx_setParameter(s.context, ZSTD_d_windowLogMax, kZstdMaxWindowLog)) ||
        ZSTD_isError(ZSTD_DCtx_refPrefix(s.context, base, baseSize))) {
        return s.Fail(PatchStatus::kNoMemory);
    }
    return PatchStatus::kOk;
}

PatchStatus PatchDecoder::Read(void* out, std::size_t size) {
    State& s = *state_;
    if (s.failure != PatchStatus::kOk) return s.failure;
    if (s.context == nullptr) return s.Fail(PatchStatus::kBadHeader);
    if (size > s.remaining) return s.Fail(PatchStatus::kEndedLate);
    ZSTD_outBuffer buffer{out, size, 0};
    while (buffer.pos < buffer.size) {
        if (s.frameEnded) return s.Fail(PatchStatus::kEndedEarly);
        const PatchStatus step = s.Step(buffer);
        if (step != PatchStatus::kOk) return s.Fail(step);
    }
    s.remaining -= size;
    return PatchStatus::kOk;
}

PatchStatus PatchDecoder::Finish() {
    State& s = *state_;
    if (s.failure != PatchStatus::kOk) return s.failure;
    if (s.context == nullptr) return s.Fail(PatchStatus::kBadHeader);
    if (s.remaining != 0) return s.Fail(PatchStatus::kEndedEarly);
    // The frame may still hold its last block's end or its checksum; one
    // byte of room shows any result beyond the declared size.
    std::uint8_t extra = 0;
    while (!s.frameEnded) {
        ZSTD_outBuffer buffer{&extra, 1, 0};
        const PatchStatus step = s.Step(buffer);
        if (step != PatchStatus::kOk) return s.Fail(step);
        if (buffer.pos != 0) return s.Fail(PatchStatus::kEndedLate);
    }
    if (s.in.pos < s.in.size) return s.Fail(PatchStatus::kEndedLate);
    if (!s.inputEnded) {
        std::uint8_t after = 0;
        if (s.input->Read(&after, 1) != 0) return s.Fail(PatchStatus::kEndedLate);
    }
    return PatchStatus::kOk;
}
