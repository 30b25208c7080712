// The bounds every zstd frame of a package keeps, shared by the writer (dvk)
// and the updater's decoder so that nothing dvk writes is refused and nothing
// hostile makes the decoder allocate more.
#pragma once

#include <cstdint>

// The largest window a frame may ask for: 2^27 bytes (128 MiB). The decoder
// refuses a frame that needs more; dvk never writes one. A frame must also
// declare its content size, equal to the entry's result size, so the window
// actually allocated never exceeds the file it makes.
constexpr int kZstdMaxWindowLog = 27;

// The largest window of a whole file's frame: 2^23 bytes (8 MiB), so that
// the updater's memory stays flat however large the file. Over real
// executables a larger window saves less than 0.1 % of the size.
constexpr int kZstdWholeFileWindowLog = 23;

// The compression level and long-distance matching dvk uses for a whole file.
constexpr int kZstdPackLevel = 19;
