// libFuzzer target: arbitrary bytes as a package file. Open must either
// refuse them or produce an entry table whose every record and data lie in
// the file, with safe target names; reading all data must then succeed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/PatchPackage.h"
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

    // Read every entry's data the way the engine does.
    char block[4096];
    for (const PackageEntry& entry : package.GetEntries()) {
        Check(IsSafeTargetName(entry.targetName), "unsafe target accepted");
        PackageStream& stream = package.Stream();
        stream.Seek(entry.recordOffset);
        RecordHeader header;
        Check(ReadRecordHeader(stream, header) == RecordField::kComplete, "accepted record header unreadable");
        std::int64_t remaining = entry.dataSize > 0 ? entry.dataSize : 0;
        while (remaining > 0) {
            std::size_t want = remaining > 4096 ? 4096 : static_cast<std::size_t>(remaining);
            Check(stream.Read(block, want) == want, "accepted package has data past its end");
            remaining -= static_cast<std::int64_t>(want);
        }
        Check(!stream.Failed(), "stream failed inside an accepted package");
    }
    Check(package.Close(), "close");
    return 0;
}
