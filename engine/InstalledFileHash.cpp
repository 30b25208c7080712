#include "engine/InstalledFileHash.h"

#include <algorithm>

#include "engine/Crypto.h"

namespace {

// The hash takes the view in slices so that pages already hashed can be
// dropped by the system: private memory stays flat in the file's size.
constexpr std::size_t kSliceBytes = std::size_t{1} << 20;

}  // namespace

std::optional<InstalledFile> HashInstalledFile(TargetFileSystem& files, const std::string& path) {
    std::unique_ptr<MappedFile> view = files.MapForReading(path);
    if (!view) return std::nullopt;
    Sha256 hash;
    for (std::size_t done = 0; done < view->Size();) {
        const std::size_t slice = std::min(kSliceBytes, view->Size() - done);
        hash.Update(view->Data() + done, slice);
        done += slice;
    }
    std::optional<Sha256Digest> digest = hash.Finish();
    if (!digest) return std::nullopt;
    return InstalledFile{static_cast<std::uint64_t>(view->Size()), *digest};
}
