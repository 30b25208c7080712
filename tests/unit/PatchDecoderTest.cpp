// The patch decoder against frames made here with zstd, whole and damaged:
// every bad frame gets its own failure, never more output than declared.
#include <gtest/gtest.h>
#include <zstd.h>

#include <vector>

#include "engine/PatchDecoder.h"
#include "tests/support/TestFiles.h"

namespace {

// A frame of result against base, with or without its content size.
std::string Frame(const std::string& base, const std::string& result, bool contentSize = true) {
    ZSTD_CCtx* context = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, contentSize ? 1 : 0);
    ZSTD_CCtx_refPrefix(context, base.data(), base.size());
    std::string frame(ZSTD_compressBound(result.size()), '\0');
    frame.resize(ZSTD_compress2(context, &frame[0], frame.size(), result.data(), result.size()));
    ZSTD_freeCCtx(context);
    return frame;
}

// A header asking for a window of 2^windowLog and declaring 100 bytes.
std::string HeaderWithWindow(int windowLog) {
    return std::string("\x28\xB5\x2F\xFD\x80", 5) + static_cast<char>((windowLog - 10) << 3) +
           std::string("\x64\0\0\0", 4) + std::string(16, '\0');
}

struct Outcome {
    PatchStatus begin = PatchStatus::kOk, read = PatchStatus::kOk, finish = PatchStatus::kOk;
};

// Begin, the result in blocks, Finish: where it stops and how.
Outcome Decode(const std::string& base, const std::string& frame, std::uint64_t declared, std::string& output,
               std::size_t blockSize = 4096) {
    MemoryPatchInput input(frame.data(), frame.size());
    PatchDecoder decoder;
    Outcome outcome;
    outcome.begin = decoder.Begin(reinterpret_cast<const std::uint8_t*>(base.data()), base.size(), input, declared);
    std::vector<char> block(blockSize);
    for (std::uint64_t left = declared; outcome.begin == PatchStatus::kOk && left > 0;) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(left, blockSize));
        if ((outcome.read = decoder.Read(block.data(), length)) != PatchStatus::kOk) return outcome;
        output.append(block.data(), length);
        left -= length;
    }
    if (outcome.begin == PatchStatus::kOk) outcome.finish = decoder.Finish();
    return outcome;
}

TEST(PatchDecoderTest, GivesTheResultExactlyOrSaysWhyNot) {
    const std::string base = PatternData(70000, 1);
    const std::string result = base.substr(5000, 40000) + PatternData(9000, 2) + base.substr(100, 20000);
    const std::string frame = Frame(base, result);
    const std::uint64_t size = result.size();
    const PatchStatus ok = PatchStatus::kOk;
    const struct {
        const char* name;
        std::string base, frame;
        std::uint64_t declared;
        Outcome expected;
    } cases[] = {
        {"the frame as made", base, frame, size, {}},
        {"no patch bytes at all", base, "", size, {PatchStatus::kBadHeader}},
        {"a header cut off", base, frame.substr(0, 5), size, {PatchStatus::kBadHeader}},
        {"not a zstd frame", base, "DVK!" + frame.substr(4), size, {PatchStatus::kBadHeader}},
        {"a skippable frame", base, std::string("\x50\x2A\x4D\x18\0\0\0\0", 8), 0, {PatchStatus::kBadHeader}},
        {"declared one byte more", base, frame, size + 1, {PatchStatus::kSizeMismatch}},
        {"no content size in the frame", base, Frame(base, result, false), size, {PatchStatus::kSizeMismatch}},
        {"a window of 2^28", base, HeaderWithWindow(28), 100, {PatchStatus::kWindowTooLarge}},
        {"a window of 2^41", base, HeaderWithWindow(41), 100, {PatchStatus::kWindowTooLarge}},
        {"a single segment beyond the cap", base, std::string("\x28\xB5\x2F\xFD\xA0\x01\0\0\x08", 9),
         (1u << 27) + 1, {PatchStatus::kWindowTooLarge}},
        {"the frame cut in its data", base, frame.substr(0, frame.size() / 2), size, {ok, PatchStatus::kEndedEarly}},
        {"the checksum cut off", base, frame.substr(0, frame.size() - 4), size, {ok, ok, PatchStatus::kEndedEarly}},
        {"a byte after the frame", base, frame + "x", size, {ok, ok, PatchStatus::kEndedLate}},
        {"a second frame after it", base, frame + frame, size, {ok, ok, PatchStatus::kEndedLate}},
        {"another base of the same size", PatternData(base.size(), 3), frame, size, {ok, PatchStatus::kCorrupt}},
        {"an empty base", "", Frame("", result), size, {}},
        {"an empty result", base, Frame(base, ""), 0, {}},
    };
    for (const auto& c : cases) {
        std::string output;
        const Outcome outcome = Decode(c.base, c.frame, c.declared, output);
        EXPECT_EQ(outcome.begin, c.expected.begin) << c.name;
        EXPECT_EQ(outcome.read, c.expected.read) << c.name;
        EXPECT_EQ(outcome.finish, c.expected.finish) << c.name;
        EXPECT_LE(output.size(), c.declared) << c.name;
        if (outcome.finish == ok && outcome.read == ok && outcome.begin == ok) {
            EXPECT_EQ(output.size(), c.declared) << c.name;
        }
    }
    for (std::size_t blockSize : {std::size_t{1}, std::size_t{7777}}) {
        std::string output;
        EXPECT_EQ(Decode(base, frame, size, output, blockSize).finish, ok);
        EXPECT_EQ(output, result);
    }
}

TEST(PatchDecoderTest, NeverReadsPastTheResultNorTouchesABaseBeyondTheCap) {
    const std::string frame = Frame("", "abc");
    MemoryPatchInput input(frame.data(), frame.size());
    PatchDecoder decoder;
    ASSERT_EQ(decoder.Begin(nullptr, 0, input, 3), PatchStatus::kOk);
    char four[4];
    EXPECT_EQ(decoder.Read(four, 4), PatchStatus::kEndedLate);
    EXPECT_EQ(decoder.Read(four, 1), PatchStatus::kEndedLate);  // a failure stays
    const std::uint8_t one = 0;  // the size alone is refused: no byte of it is read
    MemoryPatchInput again(frame.data(), frame.size());
    EXPECT_EQ(PatchDecoder().Begin(&one, (std::size_t{1} << 27) + 1, again, 3), PatchStatus::kWindowTooLarge);
}

}  // namespace
