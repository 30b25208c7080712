// A file's bytes seen through a read-only view of it, the way a patch reads
// its base: the system pages the file in as the decoder reaches it, so a
// large base costs no private memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class MappedFile {
public:
    virtual ~MappedFile() = default;
    // The file's bytes; null for an empty file.
    virtual const std::uint8_t* Data() const = 0;
    virtual std::size_t Size() const = 0;
};

// Maps the regular file at path (a path as the platform's TargetFileSystem
// makes it) read-only. A link at path itself is not followed, so an
// elevated reader never takes a base from a file a link points at. On
// Windows the file stays open without write or delete sharing while the
// view lives: nobody can change, truncate or replace the bytes between the
// check of their hash and their use. Null when the file is absent, a link,
// not a regular file or cannot be mapped. The view must be gone before the
// file itself is replaced: while it lives, the file cannot be renamed.
std::unique_ptr<MappedFile> MapFileForReading(const std::string& path);
