#include "package/RecordHeader.h"

namespace {

constexpr std::int64_t kFlagsSize = 1;
constexpr std::int64_t kDataSizeSize = 4;

}  // namespace

std::int64_t RecordFieldOffset(const RecordHeader& header, RecordField field) {
    switch (field) {
        case RecordField::kFlags: return 0;
        case RecordField::kDataSize: return kFlagsSize;
        case RecordField::kSourceName: return kFlagsSize + kDataSizeSize;
        case RecordField::kTargetName:
            return kFlagsSize + kDataSizeSize + static_cast<std::int64_t>(header.sourceName.size()) + 1;
        case RecordField::kComplete: break;
    }
    return RecordHeaderSize(header.sourceName, header.targetName);
}

std::int64_t RecordHeaderSize(const std::string& sourceName, const std::string& targetName) {
    return kFlagsSize + kDataSizeSize + static_cast<std::int64_t>(sourceName.size()) + 1 +
           static_cast<std::int64_t>(targetName.size()) + 1;
}

RecordField ReadRecordHeader(PackageStream& stream, RecordHeader& header) {
    int flags = stream.ReadByte();
    if (stream.Failed()) return RecordField::kFlags;
    header.flags = static_cast<std::uint8_t>(flags);
    header.dataSize = stream.ReadInt32();
    if (stream.Failed()) return RecordField::kDataSize;
    header.sourceName = stream.ReadString();
    if (stream.Failed()) return RecordField::kSourceName;
    header.targetName = stream.ReadString();
    if (stream.Failed()) return RecordField::kTargetName;
    return RecordField::kComplete;
}

void WriteRecordHeader(std::ostream& out, const RecordHeader& header) {
    out.put(static_cast<char>(header.flags));
    const std::uint32_t bits = static_cast<std::uint32_t>(header.dataSize);
    for (int i = 0; i < 4; ++i) out.put(static_cast<char>((bits >> (8 * i)) & 0xFF));
    out.write(header.sourceName.data(), static_cast<std::streamsize>(header.sourceName.size()));
    out.put('\0');
    out.write(header.targetName.data(), static_cast<std::streamsize>(header.targetName.size()));
    out.put('\0');
}
