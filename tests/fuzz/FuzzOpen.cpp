// libFuzzer target: arbitrary bytes as a package file of either format. Open
// must either refuse them or produce an entry table whose every record and
// data lie in the file, with safe target names; reading all data must then
// succeed. A .dvx's data must also lie after its table, in table order,
// without overlap, and no two of its entries may name one file; a patch
// entry's alternatives must fill its data exactly, in order.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <set>

#include "package/DvxFormat.h"
#include "package/PatchPackage.h"
#include "package/WindowsFileKey.h"
#include "package/RecordHeader.h"
#include "package/TargetName.h"
#include "package/UniqueStdioFile.h"

namespace {

// In memory where the system offers it: a file is written for every input.
std::string ScratchFile() {
    std::string directory = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return directory + "/dvk-fuzz-open-" + std::to_string(getpid()) + ".dvk";
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Reads count bytes from the stream's position; they must all be there.
void ReadAll(PackageStream& stream, std::int64_t count) {
    char block[4096];
    while (count > 0) {
        std::size_t want = count > 4096 ? 4096 : static_cast<std::size_t>(count);
        Check(stream.Read(block, want) == want, "accepted package has data past its end");
        count -= static_cast<std::int64_t>(want);
    }
    Check(!stream.Failed(), "stream failed inside an accepted package");
}

// The patches, then the whole copy, fill the entry's data back to back.
void CheckPatchAlternatives(const PackageEntry& entry) {
    Check(!entry.patches.empty() && entry.patches.size() <= kDvxMaxPatches, "patch count");
    Check(entry.storedSize > 0 && entry.storedSize <= static_cast<std::int64_t>(kDvxMaxEntrySize), "patch data size");
    std::int64_t next = entry.dataOffset;
    for (const PatchAlternative& patch : entry.patches) {
        Check(patch.method == PatchMethod::kZstdPrefix, "unknown patch method accepted");
        Check(patch.baseSize <= kDvxMaxEntrySize, "base size");
        Check(patch.dataOffset == next && patch.dataLength > 0, "a patch out of place");
        next += patch.dataLength;
    }
    Check(entry.HasWholeCopy() ? entry.wholeOffset == next : entry.wholeOffset == 0 && entry.wholeLength == 0,
          "the whole copy out of place");
    Check(next + entry.wholeLength == entry.dataOffset + entry.storedSize, "alternatives do not fill the data");
}

void CheckDvxEntries(PatchPackage& package) {
    PackageStream& stream = package.Stream();
    std::int64_t previousEnd = 0;
    std::set<std::string> keys;
    for (const PackageEntry& entry : package.GetEntries()) {
        Check(keys.insert(WindowsFileKey(entry.targetName)).second, "two entries for one file");
        Check(entry.dataSize >= 0, "negative result size");
        Check(entry.hasResultHash == !entry.IsDelete(), "digest of an entry");
        switch (entry.kind) {
            case EntryKind::kDelete:
                Check(entry.dataSize == 0 && entry.storedSize == 0 && entry.dataOffset == 0, "a delete with data");
                continue;
            case EntryKind::kStored:
                Check(entry.storedSize == entry.dataSize, "stored data of another size");
                break;
            case EntryKind::kZstd:
                Check(entry.storedSize > 0 && entry.storedSize <= static_cast<std::int64_t>(kDvxMaxEntrySize),
                      "zstd data size");
                break;
            case EntryKind::kPatch:
                CheckPatchAlternatives(entry);
                break;
            default:
                Check(false, "unknown kind accepted");
        }
        Check(entry.dataOffset >= previousEnd, "data overlaps earlier data");
        Check(entry.dataOffset + entry.storedSize <= stream.Size(), "data past the end");
        previousEnd = entry.dataOffset + entry.storedSize;
        stream.Seek(entry.dataOffset);
        ReadAll(stream, entry.storedSize);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = ScratchFile();
    UniqueStdioFile file(std::fopen(path.c_str(), "wb"));
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file.get());
    file.reset();  // written out before the package reads it

    PatchPackage package;
    if (!package.Open(path)) {
        Check(!package.IsOpen(), "a refused package left its file open");
        Check(package.GetEntries().empty(), "a refused package filled the table");
        return 0;
    }
    std::int32_t count = package.GetEntryCount();
    Check(package.GetEntries().size() == static_cast<std::size_t>(count > 0 ? count : 0), "table size");

    for (const PackageEntry& entry : package.GetEntries()) {
        Check(IsSafeTargetName(entry.targetName), "unsafe target accepted");
    }
    if (package.GetFormat() == PackageFormat::kDvx) {
        CheckDvxEntries(package);
        Check(package.Close(), "close");
        return 0;
    }
    // Read every entry's data the way the engine does.
    for (const PackageEntry& entry : package.GetEntries()) {
        PackageStream& stream = package.Stream();
        stream.Seek(entry.recordOffset);
        RecordHeader header;
        Check(ReadRecordHeader(stream, header) == RecordField::kComplete, "accepted record header unreadable");
        ReadAll(stream, entry.dataSize > 0 ? entry.dataSize : 0);
    }
    Check(package.Close(), "close");
    return 0;
}
