// The result of a zstd entry, decoded while it is read.
//
// Before a byte is decoded the frame header must declare a content size equal
// to the entry's result size and a window no larger than kZstdWholeFileWindowLog;
// the decoder is held to that window too. Memory stays the decoder's window
// and two buffers, whatever the entry's size. A stream that ends early, one
// frame followed by anything (bytes, a second frame) or output beyond the
// declared size make the package damaged.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/EntrySource.h"
#include "package/PackageStream.h"

struct ZSTD_DCtx_s;

struct ZstdDecoderDeleter {
    void operator()(ZSTD_DCtx_s* context) const;
};

class ZstdEntrySource : public EntrySource {
public:
    // Null when the header is not one of a frame of resultSize bytes within
    // the limits. Reads storedSize bytes from dataOffset on.
    static std::unique_ptr<ZstdEntrySource> Open(PackageStream& stream, std::int64_t dataOffset,
                                                 std::int64_t storedSize, std::int64_t resultSize);

    bool ReadResult(char* buffer, std::size_t size) override;
    bool EndsHere() override;

private:
    ZstdEntrySource(PackageStream& stream, std::int64_t storedSize, std::int64_t resultSize);
    // Decodes the next slice of the result into the output buffer, never
    // more than the result has left; false when the frame cannot give it.
    bool Decode();
    // Reads more of the entry's data into the input buffer; false at its end.
    bool Refill();
    // One step of the decoder into [out, out + size); false on a decoder
    // error or when it can go no further (the data has ended).
    bool Step(char* out, std::size_t size, std::size_t& produced);

    PackageStream& stream_;
    std::int64_t unread_;  // bytes of the entry's data not yet in the input buffer
    std::unique_ptr<ZSTD_DCtx_s, ZstdDecoderDeleter> context_;
    std::vector<char> input_;
    std::size_t inputUsed_ = 0;
    std::size_t inputLength_ = 0;
    // The decoder fills this in large slices (decoding 4096 bytes at a time
    // costs it half its speed); ReadResult hands it out in the caller's blocks.
    std::vector<char> output_;
    std::size_t outputUsed_ = 0;
    std::size_t outputLength_ = 0;
    std::int64_t resultLeft_;  // bytes of the result not yet decoded
    bool frameEnded_ = false;
    bool failed_ = false;
};
