// One package file opened for reading.
//
// Open reads the header and every entry record into memory and keeps the
// file open so that Apply can later read each entry's data through the same
// stream. Calling order on one object: any number of rounds of Open, then
// GetTitle and/or applying it, then Close. Destruction closes an open file.
// Applying is the engine's job, a layer above: ApplyPackage in
// engine/ApplyEngine.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/PackageEntry.h"
#include "package/PackageFormat.h"
#include "package/PackageStream.h"
#include "package/SignatureTrailer.h"

class PatchPackage {
public:
    PatchPackage() = default;
    virtual ~PatchPackage() = default;
    PatchPackage(const PatchPackage&) = delete;
    PatchPackage& operator=(const PatchPackage&) = delete;

    // Opens a package of either format, told by its content whatever the
    // file's name, and checks its whole structure (CheckPackageFile) before
    // taking anything.
    // Returns false, with no file left open and the title, registry key, entry
    // count and entry table as they were, when the file cannot be opened, is
    // damaged (header or a record cut off, an offset outside the file, more
    // slots than the file can hold) or names an unsafe target. Returns false
    // and puts the stream in the failed state when a file is already open.
    bool Open(const std::string& fileName, FileNameEncoding encoding = FileNameEncoding::kAnsi);
    // Closes the file and empties the entry table; the title and registry key
    // stay. False when no file was open.
    bool Close();

    // The title of the last package opened successfully on this object.
    const std::string& GetTitle() const { return title_; }
    // The format of the last package opened successfully on this object.
    PackageFormat GetFormat() const { return format_; }
    const std::string& GetRegistryKey() const { return registryKey_; }
    std::int32_t GetEntryCount() const { return entryCount_; }
    const std::vector<PackageEntry>& GetEntries() const { return entries_; }
    bool IsOpen() const { return stream_.IsOpen(); }
    // The signature trailer of the open package, or nothing when it is unsigned.
    const std::optional<SignatureTrailer>& GetSignatureTrailer() const { return trailer_; }

    // Next four bytes of the stream, little-endian. At the end of the file the
    // bytes still there become the low-order bytes; while failed, 0.
    std::int32_t ReadInt32();
    // Next NUL-terminated string without its NUL; stops at the end of the file.
    std::string ReadString();

    // The stream the engine reads entry data from.
    PackageStream& Stream() { return stream_; }

private:
    std::string title_;
    std::string registryKey_;
    std::int32_t entryCount_ = 0;
    PackageFormat format_ = PackageFormat::kDvk;
    std::vector<PackageEntry> entries_;
    std::optional<SignatureTrailer> trailer_;
    PackageStream stream_;
};
