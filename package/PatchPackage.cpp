#include "package/PatchPackage.h"

#include <utility>

#include "package/PackageCheck.h"

bool PatchPackage::Open(const std::string& fileName) {
    if (stream_.IsOpen()) {
        stream_.SetFailed();
        return false;
    }
    if (!stream_.Open(fileName)) return false;

    PackageContents contents;
    if (!CheckPackage(stream_, contents).IsSound()) {
        // Damaged or unsafe: treated exactly like a file that cannot be opened.
        stream_.Close();
        stream_.SetFailed();
        return false;
    }
    trailer_ = ReadSignatureTrailer(stream_, contents.readEnd);
    title_ = std::move(contents.title);
    registryKey_ = std::move(contents.registryKey);
    entryCount_ = contents.entryCount;
    for (PackageEntry& entry : contents.entries) entries_.push_back(std::move(entry));
    return true;
}

bool PatchPackage::Close() {
    if (!stream_.Close()) return false;
    entries_.clear();
    entries_.shrink_to_fit();
    trailer_.reset();
    entryCount_ = 0;
    return true;
}

std::int32_t PatchPackage::ReadInt32() {
    return stream_.ReadInt32();
}

std::string PatchPackage::ReadString() {
    return stream_.ReadString();
}
