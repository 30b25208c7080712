#include "package/DvxCheck.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "package/DvxFormat.h"
#include "package/SignatureTrailer.h"
#include "package/TargetName.h"
#include "package/WindowsFileKey.h"

namespace {

std::uint64_t LittleEndian(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
}

// Reads count bytes (at most 8) as one number; false at the end of the file.
bool ReadNumber(PackageStream& stream, int count, std::uint64_t& value) {
    unsigned char bytes[8];
    if (stream.Read(bytes, static_cast<std::size_t>(count)) != static_cast<std::size_t>(count)) return false;
    value = LittleEndian(bytes, count);
    return true;
}

// A u16 length and its bytes. False at the end of the file; the caller
// knows the field's offset.
bool ReadText(PackageStream& stream, std::string& text) {
    std::uint64_t length = 0;
    if (!ReadNumber(stream, 2, length)) return false;
    text.resize(static_cast<std::size_t>(length));
    return stream.Read(&text[0], text.size()) == text.size();
}

bool HasNul(const std::string& text) {
    return text.find('\0') != std::string::npos;
}

// The fields of one record that the checks after the table need.
struct RecordPlace {
    std::int64_t fields = 0;  // offset of the record's first field (its kind)
};

class DvxChecker {
public:
    DvxChecker(PackageStream& stream, PackageContents& contents) : stream_(stream), contents_(contents) {}

    PackageCheckResult Check(std::int64_t headerOffset) {
        PackageCheckResult header = CheckHeader(headerOffset);
        if (!header.IsSound()) return header;
        for (std::int32_t index = 0; index < contents_.entryCount; ++index) {
            PackageCheckResult record = CheckRecord(index);
            if (!record.IsSound()) return record;
        }
        PackageCheckResult data = CheckDataPlaces();
        if (!data.IsSound()) return data;
        PackageCheckResult names = CheckDistinctTargets();
        if (!names.IsSound()) return names;
        return CheckEnd();
    }

private:
    PackageCheckResult CheckHeader(std::int64_t headerOffset) {
        const std::int64_t versionOffset = headerOffset + sizeof kDvxMagic;
        stream_.Seek(versionOffset);
        std::uint64_t version = 0;
        std::uint64_t level = 0;
        if (!ReadNumber(stream_, 2, version)) return PackageCheckResult::Broken(PackageRule::kHeaderCutOff, versionOffset);
        if (version != kDvxFormatVersion) return PackageCheckResult::Broken(PackageRule::kUnknownFormatVersion, versionOffset);
        if (!ReadNumber(stream_, 2, level)) return PackageCheckResult::Broken(PackageRule::kHeaderCutOff, versionOffset + 2);
        if (level > kUpdaterLevel) return PackageCheckResult::Broken(PackageRule::kNewerUpdaterNeeded, versionOffset + 2);

        const std::int64_t titleOffset = stream_.Position();
        if (!ReadText(stream_, contents_.title)) return PackageCheckResult::Broken(PackageRule::kTitleCutOff, titleOffset);
        if (HasNul(contents_.title)) return PackageCheckResult::Broken(PackageRule::kNulInText, titleOffset);
        const std::int64_t keyOffset = stream_.Position();
        if (!ReadText(stream_, contents_.registryKey)) return PackageCheckResult::Broken(PackageRule::kRegistryKeyCutOff, keyOffset);
        if (HasNul(contents_.registryKey)) return PackageCheckResult::Broken(PackageRule::kNulInText, keyOffset);

        const std::int64_t countOffset = stream_.Position();
        std::uint64_t count = 0;
        if (!ReadNumber(stream_, 4, count)) return PackageCheckResult::Broken(PackageRule::kEntryCountCutOff, countOffset);
        // The table must fit in what the file still holds, and in the memory
        // budget, before anything grows.
        const std::int64_t left = stream_.Size() - stream_.Position();
        const std::uint64_t smallestRecord = kDvxRecordLengthSize + kDvxRecordFixedSize + 1;
        if (count > static_cast<std::uint64_t>(left) / smallestRecord) {
            return PackageCheckResult::Broken(PackageRule::kTableTooLarge, countOffset);
        }
        charged_ = contents_.title.size() + contents_.registryKey.size();
        if (count * kDvxEntryCharge > kTableBudgetBytes - charged_) {
            return PackageCheckResult::Broken(PackageRule::kTooManyEntries, countOffset);
        }
        contents_.entryCount = static_cast<std::int32_t>(count);
        contents_.entries.clear();
        contents_.entries.reserve(static_cast<std::size_t>(count));
        places_.reserve(static_cast<std::size_t>(count));
        charged_ += count * kDvxEntryCharge;
        return PackageCheckResult();
    }

    PackageCheckResult CheckRecord(std::int32_t index) {
        const std::int64_t start = stream_.Position();
        const std::int64_t fields = start + kDvxRecordLengthSize;
        std::uint64_t length = 0;
        if (!ReadNumber(stream_, 4, length)) return PackageCheckResult::Broken(PackageRule::kRecordCutOff, start, index);
        if (length < kDvxRecordFixedSize) return PackageCheckResult::Broken(PackageRule::kRecordLength, start, index);
        if (length > static_cast<std::uint64_t>(stream_.Size() - fields)) {
            return PackageCheckResult::Broken(PackageRule::kRecordCutOff, start, index);
        }
        unsigned char fixed[kDvxRecordFixedSize];
        if (stream_.Read(fixed, sizeof fixed) != sizeof fixed) return PackageCheckResult::Broken(PackageRule::kRecordCutOff, fields, index);

        PackageEntry entry;
        const unsigned kind = fixed[kDvxFieldKind];
        if (kind < static_cast<unsigned>(EntryKind::kStored) || kind > static_cast<unsigned>(EntryKind::kPatch)) {
            return PackageCheckResult::Broken(PackageRule::kUnknownKind, fields + kDvxFieldKind, index);
        }
        entry.kind = static_cast<EntryKind>(kind);
        entry.flags = fixed[kDvxFieldFlags];
        if ((entry.flags & ~kRequiredFlag) != 0) return PackageCheckResult::Broken(PackageRule::kUnknownFlags, fields + kDvxFieldFlags, index);
        const std::uint64_t nameLength = LittleEndian(fixed + kDvxFieldNameLength, 2);
        // Only a patch entry has a part of its own, after the name.
        const std::uint64_t ownPart = length - kDvxRecordFixedSize;
        if (entry.kind != EntryKind::kPatch ? ownPart != nameLength
                                            : ownPart < nameLength + kDvxPatchCountSize + kDvxWholeCopySize) {
            return PackageCheckResult::Broken(PackageRule::kRecordLength, start, index);
        }

        const std::int64_t nameOffset = fields + kDvxFieldNameLength;
        entry.targetName.resize(static_cast<std::size_t>(nameLength));
        stream_.Read(&entry.targetName[0], entry.targetName.size());  // inside the record length checked above
        if (HasNul(entry.targetName)) return PackageCheckResult::Broken(PackageRule::kNulInText, nameOffset, index);
        if (!IsSafeTargetName(entry.targetName)) return PackageCheckResult::Broken(PackageRule::kUnsafeTargetName, nameOffset, index);
        charged_ += entry.targetName.size();
        if (charged_ > kTableBudgetBytes) return PackageCheckResult::Broken(PackageRule::kNamesTooLong, nameOffset, index);

        const std::uint64_t resultSize = LittleEndian(fixed + kDvxFieldResultSize, 8);
        const std::uint64_t dataOffset = LittleEndian(fixed + kDvxFieldDataOffset, 8);
        const std::uint64_t dataLength = LittleEndian(fixed + kDvxFieldDataLength, 8);
        if (resultSize > kDvxMaxEntrySize) return PackageCheckResult::Broken(PackageRule::kResultTooLarge, fields + kDvxFieldResultSize, index);
        std::memcpy(entry.resultHash.data(), fixed + kDvxFieldResultHash, entry.resultHash.size());
        PackageCheckResult fit = CheckDataFitsKind(entry, resultSize, dataOffset, dataLength, fields, index);
        if (!fit.IsSound()) return fit;
        if (entry.kind == EntryKind::kPatch) {
            PackageCheckResult patches = CheckPatchPart(entry, ownPart - nameLength, dataOffset, dataLength,
                                                        nameOffset + 2 + static_cast<std::int64_t>(nameLength), start, index);
            if (!patches.IsSound()) return patches;
        }

        entry.dataSize = static_cast<std::int32_t>(resultSize);
        entry.dataOffset = static_cast<std::int64_t>(dataOffset);
        entry.storedSize = static_cast<std::int64_t>(dataLength);
        entry.hasResultHash = !entry.IsDelete();
        contents_.entries.push_back(std::move(entry));
        places_.push_back({fields});
        return PackageCheckResult();
    }

    static PackageCheckResult CheckDataFitsKind(const PackageEntry& entry, std::uint64_t resultSize,
                                                std::uint64_t dataOffset, std::uint64_t dataLength,
                                                std::int64_t fields, std::int32_t index) {
        const std::int64_t lengthOffset = fields + kDvxFieldDataLength;
        switch (entry.kind) {
            case EntryKind::kStored:
                if (dataLength != resultSize) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, lengthOffset, index);
                break;
            case EntryKind::kZstd:
            case EntryKind::kPatch:
                if (dataLength == 0 || dataLength > kDvxMaxEntrySize) {
                    return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, lengthOffset, index);
                }
                break;
            case EntryKind::kDelete: {
                const EntryDigest none{};
                if (resultSize != 0) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, fields + kDvxFieldResultSize, index);
                if (entry.resultHash != none) {
                    return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, fields + kDvxFieldResultHash, index);
                }
                if (dataOffset != 0) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, fields + kDvxFieldDataOffset, index);
                if (dataLength != 0) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, lengthOffset, index);
                break;
            }
        }
        return PackageCheckResult();
    }

    // A patch entry's part: the count, the patches, the whole copy. The
    // patches' data and then the whole copy's fill the entry's data exactly,
    // in that order, so no alternative overlaps another or lies outside.
    PackageCheckResult CheckPatchPart(PackageEntry& entry, std::uint64_t partLength, std::uint64_t dataOffset,
                                      std::uint64_t dataLength, std::int64_t partOffset, std::int64_t start,
                                      std::int32_t index) {
        std::uint64_t count = 0;
        if (!ReadNumber(stream_, 2, count)) return PackageCheckResult::Broken(PackageRule::kRecordCutOff, partOffset, index);
        if (count == 0 || count > kDvxMaxPatches) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, partOffset, index);
        if (partLength != kDvxPatchCountSize + count * kDvxPatchSize + kDvxWholeCopySize) {
            return PackageCheckResult::Broken(PackageRule::kRecordLength, start, index);
        }
        charged_ += count * kDvxPatchCharge;
        if (charged_ > kTableBudgetBytes) return PackageCheckResult::Broken(PackageRule::kTooManyEntries, partOffset, index);
        if (dataOffset > static_cast<std::uint64_t>(stream_.Size())) {
            return PackageCheckResult::Broken(PackageRule::kDataPastEnd, start + kDvxRecordLengthSize + kDvxFieldDataOffset, index);
        }
        std::uint64_t next = dataOffset;
        const std::uint64_t end = dataOffset + dataLength;  // the length is at most kDvxMaxEntrySize
        entry.patches.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::int64_t at = partOffset + kDvxPatchCountSize + static_cast<std::int64_t>(i) * kDvxPatchSize;
            unsigned char bytes[kDvxPatchSize];
            stream_.Read(bytes, sizeof bytes);  // inside the record length checked above
            PatchAlternative patch;
            if (bytes[0] != static_cast<unsigned char>(PatchMethod::kZstdPrefix)) {
                return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, at, index);
            }
            patch.baseSize = LittleEndian(bytes + 1, 8);
            std::memcpy(patch.baseHash.data(), bytes + 9, patch.baseHash.size());
            const std::uint64_t offset = LittleEndian(bytes + 41, 8);
            const std::uint64_t length = LittleEndian(bytes + 49, 8);
            if (patch.baseSize > kDvxMaxEntrySize) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, at + 1, index);
            if (offset != next || length == 0 || length > end - next) {
                return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, at + 41, index);
            }
            patch.dataOffset = static_cast<std::int64_t>(offset);
            patch.dataLength = static_cast<std::int64_t>(length);
            entry.patches.push_back(patch);
            next += length;
        }
        const std::int64_t wholeAt = partOffset + kDvxPatchCountSize + static_cast<std::int64_t>(count) * kDvxPatchSize;
        unsigned char whole[kDvxWholeCopySize];
        stream_.Read(whole, sizeof whole);
        const std::uint64_t wholeOffset = LittleEndian(whole, 8);
        const std::uint64_t wholeLength = LittleEndian(whole + 8, 8);
        const bool none = wholeOffset == 0 && wholeLength == 0;
        if (!none && (wholeOffset != next || wholeLength == 0 || wholeLength > end - next)) {
            return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, wholeAt, index);
        }
        next += wholeLength;
        if (next != end) return PackageCheckResult::Broken(PackageRule::kDataDoesNotFitKind, start + kDvxRecordLengthSize + kDvxFieldDataLength, index);
        entry.wholeOffset = static_cast<std::int64_t>(wholeOffset);
        entry.wholeLength = static_cast<std::int64_t>(wholeLength);
        return PackageCheckResult();
    }

    // The data lies back to back from the end of the table, in table order:
    // nothing overlaps the header, the table or other data, and no byte
    // before the trailer goes unaccounted.
    PackageCheckResult CheckDataPlaces() {
        std::int64_t next = stream_.Position();
        for (std::size_t i = 0; i < contents_.entries.size(); ++i) {
            const PackageEntry& entry = contents_.entries[i];
            if (entry.IsDelete()) continue;
            const std::int32_t index = static_cast<std::int32_t>(i);
            if (entry.dataOffset != next) {
                return PackageCheckResult::Broken(PackageRule::kDataOutOfPlace, places_[i].fields + kDvxFieldDataOffset, index);
            }
            if (entry.storedSize > stream_.Size() - next) {
                return PackageCheckResult::Broken(PackageRule::kDataPastEnd, places_[i].fields + kDvxFieldDataLength, index);
            }
            next += entry.storedSize;
        }
        contents_.readEnd = next;
        return PackageCheckResult();
    }

    // Two entries for one file (a copy and a delete, two copies) would make
    // the result depend on the order they are applied in.
    PackageCheckResult CheckDistinctTargets() {
        std::vector<std::pair<std::uint64_t, std::int32_t>> sorted;
        sorted.reserve(contents_.entries.size());
        for (std::size_t i = 0; i < contents_.entries.size(); ++i) {
            sorted.emplace_back(KeyHash(WindowsFileKey(contents_.entries[i].targetName)), static_cast<std::int32_t>(i));
        }
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t first = 0; first < sorted.size();) {
            std::size_t end = first + 1;
            while (end < sorted.size() && sorted[end].first == sorted[first].first) ++end;
            // Equal hashes: the keys themselves decide, sorted so that names
            // made to collide cost no more than sorting them.
            if (end - first > 1) {
                std::vector<std::pair<std::string, std::int32_t>> keys;
                for (std::size_t i = first; i < end; ++i) {
                    keys.emplace_back(WindowsFileKey(Name(sorted[i].second)), sorted[i].second);
                }
                std::sort(keys.begin(), keys.end());
                for (std::size_t i = 1; i < keys.size(); ++i) {
                    if (keys[i].first != keys[i - 1].first) continue;
                    const std::int32_t later = keys[i].second;  // the larger index of the two
                    return PackageCheckResult::Broken(PackageRule::kDuplicateTarget,
                                  places_[static_cast<std::size_t>(later)].fields + kDvxFieldNameLength, later);
                }
            }
            first = end;
        }
        return PackageCheckResult();
    }

    // After the data: the end of the file, or exactly a signature trailer.
    PackageCheckResult CheckEnd() {
        const std::int64_t left = stream_.Size() - contents_.readEnd;
        if (left == 0) return PackageCheckResult();
        if (left == kTrailerSize) {
            unsigned char magic[8];
            stream_.Seek(contents_.readEnd);
            if (stream_.Read(magic, sizeof magic) == sizeof magic && std::memcmp(magic, kTrailerMagic, 8) == 0) {
                return PackageCheckResult();
            }
        }
        return PackageCheckResult::Broken(PackageRule::kTrailingBytes, contents_.readEnd);
    }

    const std::string& Name(std::int32_t index) const {
        return contents_.entries[static_cast<std::size_t>(index)].targetName;
    }

    // FNV-1a: spreads names that differ in a byte; collisions only cost a compare.
    static std::uint64_t KeyHash(const std::string& key) {
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
        return hash;
    }

    PackageStream& stream_;
    PackageContents& contents_;
    std::vector<RecordPlace> places_;
    std::uint64_t charged_ = 0;
};

}  // namespace

PackageCheckResult CheckDvxPackage(PackageStream& stream, std::int64_t headerOffset, PackageContents& contents) {
    try {
        return DvxChecker(stream, contents).Check(headerOffset);
    } catch (const std::bad_alloc&) {
        contents.entries.clear();
        contents.entries.shrink_to_fit();
        return PackageCheckResult::Broken(PackageRule::kOutOfMemory, 0);
    }
}
