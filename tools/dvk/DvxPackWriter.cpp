#include "tools/dvk/DvxPackWriter.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "engine/Crypto.h"
#include "package/DvxWriter.h"
#include "tools/dvk/ProgressBar.h"
#include "tools/dvk/SourceFile.h"
#include "tools/dvk/ZstdEntryEncoder.h"

namespace {

constexpr std::size_t kChunk = 256 * 1024;

const char kWriteFailed[] = "cannot write the package (disk full?)";

// One file's bytes from its start, in chunks, with the checks that it did
// not change size while it was read.
class SourceReader {
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

class DvxPacker {
public:
    DvxPacker(DvxWriter& writer, ProgressBar& progress, DvxPackSummary& summary)
        : writer_(writer), progress_(progress), summary_(summary) {}

    bool PackFile(const PackItem& item, std::string& error) {
        UniqueSourceFile in = OpenSourceFile(item.source, item.linked);
        if (!in) {
            error = "'" + item.shownName + "': cannot read the file";
            return false;
        }
        SourceReader reader(in.get(), item);
        counted_ = 0;
        bool smaller = false;
        Sha256Digest digest{};
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

private:
    // Compresses while the frame stays smaller than the file; smaller says
    // whether it did to the end (then digest is the file's).
    bool TryZstd(const PackItem& item, SourceReader& reader, bool& smaller, Sha256Digest& digest, std::string& error) {
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

    bool Store(SourceReader& reader, Sha256Digest& digest, std::string& error) {
        Sha256 hash;
        while (!reader.AtEnd()) {
            const char* data = nullptr;
            std::size_t size = 0;
            if (!reader.Next(data, size, error)) return false;
            hash.Update(data, size);
            if (!writer_.WriteData(data, size)) return Fail(error);
            Advance(reader.Read());
        }
        return Digest(hash, digest, error);
    }

    static bool Digest(Sha256& hash, Sha256Digest& digest, std::string& error) {
        std::optional<Sha256Digest> done = hash.Finish();
        if (!done) {
            error = "the SHA-256 of a file could not be computed";
            return false;
        }
        digest = *done;
        return true;
    }

    // Counts each byte of a file once, whichever pass reads it.
    void Advance(std::int64_t read) {
        if (read > counted_) progress_.Advance(read - counted_);
        if (read > counted_) counted_ = read;
    }

    static bool Fail(std::string& error) {
        error = kWriteFailed;
        return false;
    }
    static bool Library(std::string& error) {
        error = "the zstd library failed (out of memory?)";
        return false;
    }

    DvxWriter& writer_;
    ProgressBar& progress_;
    DvxPackSummary& summary_;
    ZstdEntryEncoder encoder_;
    std::int64_t counted_ = 0;
};

}  // namespace

bool WriteDvxPackage(std::ostream& out, const std::string& title, const std::string& key, const PackPlan& plan,
                     DvxPackSummary& summary, std::string& error) {
    std::vector<DvxWriterEntry> headers;
    for (const PackItem& item : plan.Items()) {
        headers.push_back({item.remove ? EntryKind::kDelete : EntryKind::kZstd, item.flags, item.targetName});
    }
    DvxWriter writer(out);
    if (!writer.Begin(title, key, headers)) {
        error = out ? "a title, key or name is longer than 65535 bytes" : kWriteFailed;
        return false;
    }
    ProgressBar progress("packing", plan.TotalBytes());
    DvxPacker packer(writer, progress, summary);
    for (const PackItem& item : plan.Items()) {
        if (item.remove) {
            ++summary.deletes;
            continue;
        }
        if (!packer.PackFile(item, error)) return false;
    }
    if (!writer.Finish()) {
        error = kWriteFailed;
        return false;
    }
    summary.dataBytes = writer.DataBytes();
    return true;
}
