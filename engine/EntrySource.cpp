#include "engine/EntrySource.h"

#include "engine/ZstdEntrySource.h"
#include "package/RecordHeader.h"

namespace {

// The entry's bytes as they are in the package.
class StoredEntrySource : public EntrySource {
public:
    explicit StoredEntrySource(PackageStream& stream) : stream_(stream) {}

    bool ReadResult(char* buffer, std::size_t size) override { return stream_.Read(buffer, size) == size; }
    // The table gives the data's length: there is nothing after it to check.
    bool EndsHere() override { return true; }

private:
    PackageStream& stream_;
};

// Positions the stream at a .dvk entry's record and reads past its header.
// False when the stream fails or the header no longer says what it said when
// the package was opened (the file changed since).
bool SkipToRecordData(PackageStream& stream, const PackageEntry& entry) {
    stream.DiscardBuffer();
    if (!stream.Failed()) stream.Seek(entry.recordOffset);
    RecordHeader header;
    return ReadRecordHeader(stream, header) == RecordField::kComplete && header.flags == entry.flags &&
           header.dataSize == entry.dataSize && header.sourceName == entry.sourceName &&
           header.targetName == entry.targetName;
}

}  // namespace

std::unique_ptr<EntrySource> OpenEntrySource(PatchPackage& package, const PackageEntry& entry) {
    PackageStream& stream = package.Stream();
    switch (entry.kind) {
        case EntryKind::kStored:
            // A .dvk entry's data follows its record; a .dvx entry says
            // where its data lies.
            if (package.GetFormat() == PackageFormat::kDvk) {
                if (!SkipToRecordData(stream, entry)) return nullptr;
            } else {
                if (entry.storedSize != entry.dataSize || entry.dataOffset < 0) return nullptr;
                stream.DiscardBuffer();
                if (!stream.Failed()) stream.Seek(entry.dataOffset);
            }
            return std::make_unique<StoredEntrySource>(stream);
        case EntryKind::kZstd:
            return ZstdEntrySource::Open(stream, entry.dataOffset, entry.storedSize, entry.dataSize);
        case EntryKind::kDelete:
            break;  // no data to read
        case EntryKind::kPatch:
            break;  // opened through the alternative the Test stage chose
    }
    return nullptr;
}
