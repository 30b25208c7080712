#include "tools/dvk/DvxEntryPacker.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "engine/Crypto.h"
#include "tools/dvk/SourceFile.h"

const char kPackageWriteFailed[] = "cannot write the package (disk full?)";

namespace {

constexpr std::size_t kChunk = 256 * 1024;

bool Fail(std::string& error) {
    error = kPackageWriteFailed;
    return false;
}

bool Library(std::string& error) {
    error = "the zstd library failed (out of memory?)";
    return false;
}

bool Digest(Sha256& hash, EntryDigest& digest, std::string& error) {
    std::optional<Sha256Digest> done = hash.Finish();
    if (!done) {
        error = "the SHA-256 of a file could not be computed";
        return false;
    }
    digest = *done;
    return true;
}

}  // namespace

// One file's bytes from its start, in chunks, with the checks that it did
// not change size while it was read.
class DvxEntryPacker::SourceReader {
public:
    SourceReader(std::FILE* file, const PackItem& item) : file_(file), item_(item), buffer_(kChunk) {}

    // The next chunk (empty at the end), or false with a message.
    bool Next(const char*& data, std::size_t& size, std::string& error) {
        const std::int64_t left = item_.size - read_;
        size = left < static_cast<std::int64_t>(kChunk) ? static_cast<std::size_t>(left) : kChunk;
        data = buffer_.data();
        if (std::fread(buffer_.data(), 1, size, file_) != size) {
            error = "'" + item_.shownName + "': the file got shorter while it was packed";
            return false;
        }
        read_ += static_cast<std::int64_t>(size);
        if (read_ == item_.size && std::fgetc(file_) != EOF) {
            error = "'" + item_.shownName + "': the file grew while it was packed";
            return false;
        }
        return true;
    }
    bool AtEnd() const { return read_ == item_.size; }
    std::int64_t Read() const { return read_; }
    bool Rewind() {
        read_ = 0;
        return std::fseek(file_, 0, SEEK_SET) == 0;
    }

private:
    std::FILE* file_;
    const PackItem& item_;
    std::vector<char> buffer_;
    std::int64_t read_ = 0;
};

bool DvxEntryPacker::PackFile(const PackItem& item, std::string& error) {
    UniqueStdioFile in = OpenSourceFile(item.source, item.linked);
    if (!in) {
        error = "'" + item.shownName + "': cannot read the file";
        return false;
    }
    SourceReader reader(in.get(), item);
    counted_ = 0;
    bool smaller = false;
    EntryDigest digest{};
    if (!TryZstd(item, reader, smaller, digest, error)) return false;
    if (smaller) {
        ++summary_.zstd;
    } else {
        // The frame would be no smaller: the file is stored, read again.
        if (!reader.Rewind() || !writer_.RestartEntry(EntryKind::kStored)) return Fail(error);
        if (!Store(reader, digest, error)) return false;
        ++summary_.stored;
    }
    return writer_.EndEntry(item.size, digest) || Fail(error);
}

bool DvxEntryPacker::PackWholeCopy(const std::string& bytes, std::string& error) {
    if (!encoder_.Begin(static_cast<std::int64_t>(bytes.size()))) return Library(error);
    std::string out;
    std::size_t at = 0;
    do {  // at least once: an empty file still gets its frame
        const std::size_t size = bytes.size() - at < kChunk ? bytes.size() - at : kChunk;
        out.clear();
        if (!encoder_.Compress(bytes.data() + at, size, at + size == bytes.size(), out)) return Library(error);
        if (!writer_.WriteData(out.data(), out.size())) return Fail(error);
        at += size;
    } while (at < bytes.size());
    return writer_.EndAlternative() || Fail(error);
}

// Compresses while the frame stays smaller than the file; smaller says
// whether it did to the end (then digest is the file's).
bool DvxEntryPacker::TryZstd(const PackItem& item, SourceReader& reader, bool& smaller, EntryDigest& digest,
                             std::string& error) {
    smaller = false;
    if (item.size == 0) return true;  // no frame is smaller than nothing
    if (!encoder_.Begin(item.size)) return Library(error);
    Sha256 hash;
    std::int64_t frame = 0;
    std::string out;
    do {
        const char* data = nullptr;
        std::size_t size = 0;
        if (!reader.Next(data, size, error)) return false;
        hash.Update(data, size);
        Advance(reader.Read());
        out.clear();
        if (!encoder_.Compress(data, size, reader.AtEnd(), out)) return Library(error);
        frame += static_cast<std::int64_t>(out.size());
        if (frame >= item.size) return true;  // written so far stays below the file's size
        if (!writer_.WriteData(out.data(), out.size())) return Fail(error);
    } while (!reader.AtEnd());
    if (!Digest(hash, digest, error)) return false;
    smaller = true;
    return true;
}

bool DvxEntryPacker::Store(SourceReader& reader, EntryDigest& digest, std::string& error) {
    Sha256 hash;
    do {  // at least once: an empty file that grew is noticed too
        const char* data = nullptr;
        std::size_t size = 0;
        if (!reader.Next(data, size, error)) return false;
        hash.Update(data, size);
        if (!writer_.WriteData(data, size)) return Fail(error);
        Advance(reader.Read());
    } while (!reader.AtEnd());
    return Digest(hash, digest, error);
}

// Counts each byte of a file once, whichever pass reads it.
void DvxEntryPacker::Advance(std::int64_t read) {
    if (read > counted_) progress_.Advance(read - counted_);
    if (read > counted_) counted_ = read;
}
