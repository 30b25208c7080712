// Which of the two package formats a file holds, told by its content alone,
// whatever its name ends with.
#pragma once

#include <cstdint>
#include <optional>

#include "package/PackageStream.h"

enum class PackageFormat {
    kDvk,  // the first format: title, key, offset table, records
    kDvx,  // the .dvx format: a refused .dvk prefix, then DvxFormat.h's layout
};

// Where the .dvx magic starts when the open file begins with the .dvx prefix
// (a string of at most kDvxMaxPrefixTitle bytes, an empty key, count 1,
// record offset -1) followed by the magic; nothing otherwise. The prefix's
// title may say anything. A file it finds is one every .dvk reader refuses
// (its only record offset is negative), so no .dvk that opens is read as a
// .dvx. Leaves the stream's position unspecified. A read cut short (the
// file shrank since it was opened) leaves the stream failed: such a file is
// refused by either reader.
std::optional<std::int64_t> FindDvxHeader(PackageStream& stream);
