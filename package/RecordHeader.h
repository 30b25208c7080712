// The header of an entry's record, the one place that knows its layout:
// the flags byte, the data size (int32, little-endian), the source name and
// the target name (each NUL-terminated); the entry's data follows at once.
//
// The structural check and the engine read headers with ReadRecordHeader;
// the writer writes them with WriteRecordHeader and sizes them with
// RecordHeaderSize.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "package/PackageStream.h"

struct RecordHeader {
    std::uint8_t flags = 0;
    std::int32_t dataSize = 0;
    std::string sourceName;
    std::string targetName;
};

// The header's fields in file order; kComplete when none is missing.
enum class RecordField { kFlags, kDataSize, kSourceName, kTargetName, kComplete };

// Where a field starts, counted from the record's first byte; the names'
// offsets depend on the source name already read into header.
std::int64_t RecordFieldOffset(const RecordHeader& header, RecordField field);

// The bytes a header with these names takes: where the data starts past the record.
std::int64_t RecordHeaderSize(const std::string& sourceName, const std::string& targetName);

// Reads the header at the stream's position into header. Returns the first
// field the end of the file cut off (the stream is then failed and the
// fields from that one on are unspecified), or kComplete with the stream at
// the first byte of the data.
RecordField ReadRecordHeader(PackageStream& stream, RecordHeader& header);

void WriteRecordHeader(std::ostream& out, const RecordHeader& header);
