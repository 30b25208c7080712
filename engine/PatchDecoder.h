// The decoder of a patch: one zstd frame made against a base (the installed
// file) that decodes to the new file. The base is read in place through a
// view (MappedFile) as the frame refers to it; the result comes out in
// blocks of the caller's size, so the engine can write and report it block
// by block exactly as it copies a stored entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Where the patch bytes come from: the package stream limited to the
// entry's stored size.
class PatchInput {
public:
    virtual ~PatchInput() = default;
    // Up to size bytes into data; fewer only at the end of the entry's data
    // or on a read failure, which then shows as a stream ending early.
    virtual std::size_t Read(void* data, std::size_t size) = 0;
};

// Patch bytes already in memory (dvk's self-check of a patch it just made).
class MemoryPatchInput : public PatchInput {
public:
    MemoryPatchInput(const void* data, std::size_t size) : data_(static_cast<const char*>(data)), size_(size) {}
    std::size_t Read(void* data, std::size_t size) override;

private:
    const char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

enum class PatchStatus {
    kOk,
    kNoMemory,       // the decoder could not be made
    kBadHeader,      // not one zstd frame, or its header is cut off or damaged
    kSizeMismatch,   // the frame declares no content size, or not the result's
    kWindowTooLarge, // the frame needs a window beyond kZstdMaxWindowLog
    kCorrupt,        // the frame's data is damaged or refers outside the base
    kEndedEarly,     // the patch bytes end before the result is complete
    kEndedLate,      // more result, or more bytes after the frame, than declared
};

class PatchDecoder {
public:
    PatchDecoder();
    ~PatchDecoder();
    PatchDecoder(const PatchDecoder&) = delete;
    PatchDecoder& operator=(const PatchDecoder&) = delete;

    // Reads the frame header from input and checks it before anything is
    // decoded: a zstd frame whose declared content size is resultSize.
    // base (baseSize bytes, null when empty) and input must outlive the
    // decoding; the decoder never writes to base.
    [[nodiscard]] PatchStatus Begin(const std::uint8_t* base, std::size_t baseSize, PatchInput& input,
                                    std::uint64_t resultSize);
    // Exactly size more bytes of the result into out; more than the result
    // has left is kEndedLate. After a failure every call fails the same way.
    [[nodiscard]] PatchStatus Read(void* out, std::size_t size);
    // Once the whole result has been read: kOk only when the frame ends
    // exactly there and no patch byte follows it.
    [[nodiscard]] PatchStatus Finish();

    struct State;

private:
    std::unique_ptr<State> state_;
};
