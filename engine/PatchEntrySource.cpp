#include "engine/PatchEntrySource.h"

std::size_t PatchEntrySource::StreamInput::Read(void* data, std::size_t size) {
    if (unread_ <= 0) return 0;
    if (static_cast<std::uint64_t>(size) > static_cast<std::uint64_t>(unread_)) size = static_cast<std::size_t>(unread_);
    const std::size_t got = stream_.Read(data, size);
    unread_ -= static_cast<std::int64_t>(got);
    return got;
}

std::unique_ptr<PatchEntrySource> PatchEntrySource::Open(PackageStream& stream, const PatchAlternative& patch,
                                                         const std::string& basePath, std::int64_t resultSize) {
    if (patch.method != PatchMethod::kZstdPrefix || patch.dataOffset < 0 || resultSize < 0) return nullptr;
    std::unique_ptr<MappedFile> base = MapFileForReading(basePath);
    // The Test stage hashed this file; one that changed size since is not
    // the base any more (a change of its bytes shows in the result's hash).
    if (!base || base->Size() != patch.baseSize) return nullptr;
    stream.DiscardBuffer();
    if (!stream.Failed()) stream.Seek(patch.dataOffset);
    if (stream.Failed()) return nullptr;
    std::unique_ptr<PatchEntrySource> source(new PatchEntrySource(stream, patch.dataLength, std::move(base)));
    const std::uint8_t* bytes = source->base_->Size() > 0 ? source->base_->Data() : nullptr;
    if (source->decoder_.Begin(bytes, source->base_->Size(), source->input_, static_cast<std::uint64_t>(resultSize)) !=
        PatchStatus::kOk) {
        return nullptr;
    }
    return source;
}

bool PatchEntrySource::ReadResult(char* buffer, std::size_t size) {
    return decoder_.Read(buffer, size) == PatchStatus::kOk;
}

bool PatchEntrySource::EndsHere() {
    return decoder_.Finish() == PatchStatus::kOk;
}
