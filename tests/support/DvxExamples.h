// A small .dvx package built by the writer, and where its fields lie, for
// tests that damage it byte by byte.
#pragma once

#include <cstdint>
#include <string>

// "Produit", "Soft\Prod"; entry 0 stored "a.txt" ("abc", required), entry 1
// zstd "bin\b.dll" (the 9 bytes "ZSTDFRAME" standing for a frame of a
// 100-byte result), entry 2 a delete of "old.txt". Digests: every byte of
// entry i's is 0x10 + i.
std::string ExampleDvxBytes();

// Offsets in ExampleDvxBytes.
struct ExampleDvxLayout {
    std::int64_t header;       // the magic
    std::int64_t version;      // u16
    std::int64_t level;        // u16
    std::int64_t title;        // u16 length of "Produit"
    std::int64_t key;          // u16 length of "Soft\Prod"
    std::int64_t count;        // u32
    std::int64_t record[3];    // each record's u32 length
    std::int64_t data[2];      // entry 0's and entry 1's data
    std::int64_t end;          // the file's size
    // Offset of a field (kDvxField*) of record i.
    std::int64_t Field(int i, std::int64_t field) const { return record[i] + 4 + field; }
};
ExampleDvxLayout ExampleDvxOffsets();

// Overwrites count bytes (at most 8) at an offset with a little-endian number.
void PutNumber(std::string& bytes, std::int64_t offset, std::uint64_t value, int count);
