#include "package/PatchPackage.h"

#include <new>
#include <utility>

#include "package/PackageCheck.h"

bool PatchPackage::Open(const std::string& fileName, FileNameEncoding encoding) {
    if (stream_.IsOpen()) {
        stream_.SetFailed();
        return false;
    }
    // Damaged, unsafe or too large for the memory at hand: treated exactly
    // like a file that cannot be opened.
    auto refuse = [this] {
        stream_.Close();
        stream_.SetFailed();
        return false;
    };
    try {
        if (!stream_.Open(fileName, encoding)) return false;
        PackageContents contents;
        if (!CheckPackageFile(stream_, contents).IsSound()) return refuse();
        // The probe reads the file's last bytes; the stream goes back to
        // where the reader left it (.dvk: just after the last target name).
        const std::int64_t afterNames = stream_.Position();
        trailer_ = ReadSignatureTrailer(stream_, contents.readEnd);
        stream_.Seek(afterNames);
        format_ = contents.format;
        title_ = std::move(contents.title);
        registryKey_ = std::move(contents.registryKey);
        entryCount_ = contents.entryCount;
        // Moved, not copied: the table may be most of the memory the program uses.
        entries_ = std::move(contents.entries);
        return true;
    } catch (const std::bad_alloc&) {
        return refuse();
    }
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
