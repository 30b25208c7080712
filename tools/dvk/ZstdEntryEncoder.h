// Compresses one file into one zstd frame the updater's decoder accepts:
// level kZstdPackLevel with long-distance matching, a window of at most
// 2^kZstdWholeFileWindowLog bytes (smaller for a smaller file), the content size in
// the frame header, no checksum (the package's table holds the SHA-256).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ZSTD_CCtx_s;

class ZstdEntryEncoder {
public:
    ZstdEntryEncoder();
    ~ZstdEntryEncoder();
    ZstdEntryEncoder(const ZstdEntryEncoder&) = delete;
    ZstdEntryEncoder& operator=(const ZstdEntryEncoder&) = delete;

    // Starts a frame for a file of contentSize bytes; false when the library
    // refuses (no memory).
    bool Begin(std::int64_t contentSize);
    // Compresses the next bytes of the file, appending what the frame gains to
    // out; last ends the frame. False when the library fails (then the frame
    // is unusable) or the bytes given pass the content size.
    bool Compress(const void* data, std::size_t size, bool last, std::string& out);

    // The window a file of this size gets: its size rounded up to a power of
    // two, between 2^10 and 2^kZstdWholeFileWindowLog.
    static int WindowLogFor(std::int64_t contentSize);

private:
    ZSTD_CCtx_s* context_;
};
