// The structural and safety check of a .dvx package (DvxFormat.h), the
// counterpart of CheckPackage for the first format: the one place that
// decides whether a .dvx file may be read. Reads the header and the whole
// entry table (never the entry data) and stops at the first rule broken.
#pragma once

#include <cstdint>

#include "package/PackageCheck.h"

// Checks the .dvx package open in stream whose magic starts at headerOffset
// (FindDvxHeader). On a sound package fills contents (title, key, count,
// entries with kind, flags, name, dataSize, resultHash, dataOffset and
// storedSize; readEnd is the end of the last data) and leaves the stream
// unfailed; otherwise contents is unspecified. Every count, size and offset
// is checked before it is used; memory stays within kTableBudgetBytes.
PackageCheckResult CheckDvxPackage(PackageStream& stream, std::int64_t headerOffset, PackageContents& contents);
