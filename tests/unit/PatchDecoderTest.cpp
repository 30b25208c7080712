// The patch decoder against frames made here with zstd, whole and damaged:
// every bad frame gets its own clear failure and never more output than
// declared.
#include <gtest/gtest.h>
#include <zstd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/PatchDecoder.h"
#include "tests/support/TestFiles.h"

namespace {

class BytesInput : public PatchInput {
public:
    explicit BytesInput(std::string bytes) : bytes_(std::move(bytes)) {}
    std::size_t Read(void* data, std::size_t size) override {
        const std::size_t count = std::min(size, bytes_.size() - position_);
        std::memcpy(data, bytes_.data() + position_, count);
        position_ += count;
        return count;
    }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

// A frame of result against base, as dvk makes one unless told otherwise.
std::string Frame(const std::string& base, const std::string& result, bool contentSize = true, int windowLog = 20) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
    ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, windowLog);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, contentSize ? 1 : 0);
    ZSTD_CCtx_refPrefix(context, base.data(), base.size());
    std::string frame(ZSTD_compressBound(result.size()), '\0');
    ZSTD_inBuffer in{result.data(), result.size(), 0};
    ZSTD_outBuffer out{&frame[0], frame.size(), 0};
    // Streamed without a pledged size, so that contentSize off really leaves it out.
    if (contentSize) ZSTD_CCtx_setPledgedSrcSize(context, result.size());
    while (ZSTD_compressStream2(context, &out, &in, ZSTD_e_end) != 0) {
    }
    ZSTD_freeCCtx(context);
    frame.resize(out.pos);
    return frame;
}

// A frame header alone asking for a window of 2^windowLog (no single
// segment) and declaring a content size.
std::string HeaderWithWindow(int windowLog, std::uint32_t contentSize) {
    std::string header("\x28\xB5\x2F\xFD", 4);
    header += '\x80';  // four bytes of content size, window descriptor present
    header += static_cast<char>((windowLog - 10) << 3);
    for (int i = 0; i < 4; ++i) header += static_cast<char>((contentSize >> (8 * i)) & 0xFF);
    return header + std::string(16, '\0');
}

struct Outcome {
    PatchStatus begin = PatchStatus::kOk;
    PatchStatus read = PatchStatus::kOk;
    PatchStatus finish = PatchStatus::kOk;
};

// Begin, the result in blocks of blockSize, Finish: where it stops and how.
Outcome Decode(const std::string& base, const std::string& frame, std::uint64_t declared, std::string& output,
               std::size_t blockSize = 4096) {
    BytesInput input(frame);
    PatchDecoder decoder;
    Outcome outcome;
    outcome.begin = decoder.Begin(reinterpret_cast<const std::uint8_t*>(base.data()), base.size(), input, declared);
    if (outcome.begin != PatchStatus::kOk) return outcome;
    std::vector<char> block(blockSize);
    for (std::uint64_t remaining = declared; remaining > 0;) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, blockSize));
        outcome.read = decoder.Read(block.data(), length);
        if (outcome.read != PatchStatus::kOk) return outcome;
        output.append(block.data(), length);
        remaining -= length;
    }
    outcome.finish = decoder.Finish();
    return outcome;
}

TEST(PatchDecoderTest, GivesTheResultExactlyOrSaysWhyNot) {
    const std::string base = PatternData(70000, 1);
    std::string result = base.substr(5000, 40000) + PatternData(9000, 2) + base.substr(100, 20000);
    const std::string frame = Frame(base, result);
    const std::string otherBase = PatternData(base.size(), 3);
    std::string flipped = frame;
    flipped[frame.size() / 2] = static_cast<char>(flipped[frame.size() / 2] ^ 0x55);
    std::string skippable("\x50\x2A\x4D\x18\x00\x00\x00\x00", 8);
    const PatchStatus ok = PatchStatus::kOk;
    const struct {
        const char* name;
        std::string base;
        std::string frame;
        std::uint64_t declared;
        Outcome expected;
    } cases[] = {
        {"the frame as made", base, frame, result.size(), {}},
        {"no patch bytes at all", base, "", result.size(), {PatchStatus::kBadHeader}},
        {"a header cut off", base, frame.substr(0, 5), result.size(), {PatchStatus::kBadHeader}},
        {"not a zstd frame", base, "DVK!" + frame.substr(4), result.size(), {PatchStatus::kBadHeader}},
        {"a skippable frame", base, skippable, 0, {PatchStatus::kBadHeader}},
        {"declared one byte more", base, frame, result.size() + 1, {PatchStatus::kSizeMismatch}},
        {"declared one byte less", base, frame, result.size() - 1, {PatchStatus::kSizeMismatch}},
        {"no content size in the frame", base, Frame(base, result, false), result.size(), {PatchStatus::kSizeMismatch}},
        {"a window of 2^28", base, HeaderWithWindow(28, 100), 100, {PatchStatus::kWindowTooLarge}},
        {"a window of 2^41", base, HeaderWithWindow(41, 100), 100, {PatchStatus::kWindowTooLarge}},
        {"a single segment beyond the cap", base, "\x28\xB5\x2F\xFD\xA0" + std::string("\x01\x00\x00\x08", 4),
         (std::uint64_t{1} << 27) + 1, {PatchStatus::kWindowTooLarge}},
        {"the frame cut in its data", base, frame.substr(0, frame.size() / 2), result.size(),
         {ok, PatchStatus::kEndedEarly}},
        {"the checksum cut off", base, frame.substr(0, frame.size() - 4), result.size(), {ok, ok, PatchStatus::kEndedEarly}},
        {"a byte after the frame", base, frame + "x", result.size(), {ok, ok, PatchStatus::kEndedLate}},
        {"a second frame after it", base, frame + frame, result.size(), {ok, ok, PatchStatus::kEndedLate}},
        {"another base of the same size", otherBase, frame, result.size(), {ok, PatchStatus::kCorrupt}},
    };
    for (const auto& c : cases) {
        std::string output;
        const Outcome outcome = Decode(c.base, c.frame, c.declared, output);
        EXPECT_EQ(outcome.begin, c.expected.begin) << c.name;
        EXPECT_EQ(outcome.read, c.expected.read) << c.name;
        EXPECT_EQ(outcome.finish, c.expected.finish) << c.name;
        EXPECT_LE(output.size(), c.declared) << c.name;
        if (c.expected.finish == ok && c.expected.read == ok && c.expected.begin == ok) {
            EXPECT_EQ(output, result) << c.name;
        }
    }
    // A damaged byte in the data: any failure, never success.
    std::string output;
    const Outcome damaged = Decode(base, flipped, result.size(), output);
    EXPECT_FALSE(damaged.begin == ok && damaged.read == ok && damaged.finish == ok);
}

TEST(PatchDecoderTest, TakesAnyBlockSizeAndRefusesToReadPastTheResult) {
    const std::string base = PatternData(20000, 4);
    const std::string result = PatternData(3000, 5) + base + PatternData(1, 6);
    const std::string frame = Frame(base, result);
    for (std::size_t blockSize : {std::size_t{1}, std::size_t{4096}, std::size_t{7777}, result.size()}) {
        std::string output;
        const Outcome outcome = Decode(base, frame, result.size(), output, blockSize);
        EXPECT_EQ(outcome.finish, PatchStatus::kOk) << blockSize;
        EXPECT_EQ(output, result) << blockSize;
    }
    BytesInput input(frame);
    PatchDecoder decoder;
    ASSERT_EQ(decoder.Begin(reinterpret_cast<const std::uint8_t*>(base.data()), base.size(), input, result.size()),
              PatchStatus::kOk);
    std::vector<char> all(result.size() + 1);
    EXPECT_EQ(decoder.Read(all.data(), all.size()), PatchStatus::kEndedLate);
    EXPECT_EQ(decoder.Read(all.data(), 1), PatchStatus::kEndedLate);  // a failure stays
}

TEST(PatchDecoderTest, RefusesABaseBeyondTheWindowCapBeforeReadingIt) {
    const std::string frame = Frame(std::string(), "abc");
    BytesInput input(frame);
    PatchDecoder decoder;
    // The size alone is refused: none of those bytes is ever touched.
    const std::uint8_t one = 0;
    EXPECT_EQ(decoder.Begin(&one, (std::size_t{1} << 27) + 1, input, 3), PatchStatus::kWindowTooLarge);
}

TEST(PatchDecoderTest, AnEmptyBaseAndAnEmptyResultWork) {
    for (const auto& pair : {std::make_pair(std::string(), PatternData(5000, 7)),
                             std::make_pair(PatternData(5000, 8), std::string())}) {
        std::string output;
        const Outcome outcome = Decode(pair.first, Frame(pair.first, pair.second), pair.second.size(), output);
        EXPECT_EQ(outcome.finish, PatchStatus::kOk);
        EXPECT_EQ(output, pair.second);
    }
}

}  // namespace
