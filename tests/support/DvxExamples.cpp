#include "tests/support/DvxExamples.h"

#include <vector>

#include "package/DvxFormat.h"
#include "package/DvxWriter.h"

namespace {

EntryDigest Filled(std::uint8_t byte) {
    EntryDigest digest;
    digest.fill(byte);
    return digest;
}

}  // namespace

std::string ExampleDvxBytes() {
    std::vector<DvxContent> entries = {
        {EntryKind::kStored, kRequiredFlag, "a.txt", "abc", 3, Filled(0x10)},
        {EntryKind::kZstd, 0, "bin\\b.dll", "ZSTDFRAME", 100, Filled(0x11)},
        {EntryKind::kDelete, 0, "old.txt", "", 0, EntryDigest{}},
    };
    return BuildDvxBytes("Produit", "Soft\\Prod", entries);
}

ExampleDvxLayout ExampleDvxOffsets() {
    ExampleDvxLayout at;
    at.header = static_cast<std::int64_t>(sizeof kDvxPrefixTitle) + 1 + 8;
    at.version = at.header + 8;
    at.level = at.version + 2;
    at.title = at.level + 2;
    at.key = at.title + 2 + 7;
    at.count = at.key + 2 + 9;
    at.record[0] = at.count + 4;
    at.record[1] = at.record[0] + 4 + kDvxRecordFixedSize + 5;
    at.record[2] = at.record[1] + 4 + kDvxRecordFixedSize + 9;
    at.data[0] = at.record[2] + 4 + kDvxRecordFixedSize + 7;
    at.data[1] = at.data[0] + 3;
    at.end = at.data[1] + 9;
    return at;
}

void PutNumber(std::string& bytes, std::int64_t offset, std::uint64_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes[static_cast<std::size_t>(offset + i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}
