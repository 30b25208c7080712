// The result of a patch: the decoder over a read-only view of the installed
// file and the patch bytes of the package. The view lives as long as the
// source, so the engine drops it (with the source) before the commit renames
// anything over that file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/EntrySource.h"
#include "engine/MappedFile.h"
#include "engine/PatchDecoder.h"
#include "package/PackageEntry.h"
#include "package/PackageStream.h"

class PatchEntrySource : public EntrySource {
public:
    // Null when the installed file cannot be mapped, is no longer the
    // patch's base size, or the patch's header does not fit the result.
    static std::unique_ptr<PatchEntrySource> Open(PackageStream& stream, const PatchAlternative& patch,
                                                  const std::string& basePath, std::int64_t resultSize);

    bool ReadResult(char* buffer, std::size_t size) override;
    bool EndsHere() override;

private:
    // The patch bytes: the package stream, limited to the patch's data.
    class StreamInput : public PatchInput {
    public:
        StreamInput(PackageStream& stream, std::int64_t length) : stream_(stream), unread_(length) {}
        std::size_t Read(void* data, std::size_t size) override;

    private:
        PackageStream& stream_;
        std::int64_t unread_;
    };

    PatchEntrySource(PackageStream& stream, std::int64_t length, std::unique_ptr<MappedFile> base)
        : input_(stream, length), base_(std::move(base)) {}

    StreamInput input_;
    std::unique_ptr<MappedFile> base_;  // declared before the decoder, which reads it until it goes
    PatchDecoder decoder_;
};
