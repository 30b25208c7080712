#include "package/PackageCheck.h"

#include <new>
#include <utility>

#include "package/DvxCheck.h"
#include "package/RecordHeader.h"
#include "package/TargetName.h"

namespace {

// Reads one record header into entry; the first rule it breaks, or kSound.
PackageCheckResult CheckRecord(PackageStream& stream, std::int32_t index, std::int64_t slotOffset,
                               PackageEntry& entry) {
    if (entry.recordOffset < 0) return PackageCheckResult::Broken(PackageRule::kNegativeRecordOffset, slotOffset, index);
    stream.Seek(entry.recordOffset);
    RecordHeader header;
    RecordField cutOff = ReadRecordHeader(stream, header);
    if (cutOff == RecordField::kFlags) return PackageCheckResult::Broken(PackageRule::kRecordOutsideFile, slotOffset, index);
    if (cutOff != RecordField::kComplete) {
        return PackageCheckResult::Broken(PackageRule::kRecordCutOff, entry.recordOffset + RecordFieldOffset(header, cutOff), index);
    }
    const std::int64_t sizeOffset = entry.recordOffset + RecordFieldOffset(header, RecordField::kDataSize);
    const std::int64_t targetOffset = entry.recordOffset + RecordFieldOffset(header, RecordField::kTargetName);
    entry.flags = header.flags;
    entry.dataSize = header.dataSize;
    entry.sourceName = std::move(header.sourceName);
    entry.targetName = std::move(header.targetName);

    if (entry.dataSize > 0 && stream.Position() + entry.dataSize > stream.Size()) {
        return PackageCheckResult::Broken(PackageRule::kDataPastEnd, sizeOffset, index);
    }
    if (!IsSafeTargetName(entry.targetName)) return PackageCheckResult::Broken(PackageRule::kUnsafeTargetName, targetOffset, index);
    return PackageCheckResult();
}

// Many offset-table slots may name one record with long names: the budget
// counts every slot's copy of them.
PackageCheckResult CheckWithinBudget(PackageStream& stream, PackageContents& contents) {
    const std::int64_t fileSize = stream.Size();
    stream.Seek(0);

    contents.title = stream.ReadString();
    if (stream.Failed()) return PackageCheckResult::Broken(PackageRule::kTitleCutOff, 0);
    const std::int64_t keyOffset = stream.Position();
    contents.registryKey = stream.ReadString();
    if (stream.Failed()) return PackageCheckResult::Broken(PackageRule::kRegistryKeyCutOff, keyOffset);
    const std::int64_t countOffset = stream.Position();
    contents.entryCount = stream.ReadInt32();
    if (stream.Failed()) return PackageCheckResult::Broken(PackageRule::kEntryCountCutOff, countOffset);

    contents.entries.clear();
    const std::int64_t tableOffset = stream.Position();
    if (contents.entryCount > 0) {
        // The table must fit in what the file still holds before it may grow.
        if (contents.entryCount > (fileSize - tableOffset) / 4) {
            return PackageCheckResult::Broken(PackageRule::kTableTooLarge, countOffset);
        }
        if (static_cast<std::uint64_t>(contents.entryCount) * kEntryCharge > kTableBudgetBytes) {
            return PackageCheckResult::Broken(PackageRule::kTooManyEntries, countOffset);
        }
        contents.entries.resize(static_cast<std::size_t>(contents.entryCount));
        for (PackageEntry& entry : contents.entries) entry.recordOffset = stream.ReadInt32();
        if (stream.Failed()) return PackageCheckResult::Broken(PackageRule::kTableTooLarge, countOffset);
    }

    contents.readEnd = stream.Position();
    // Every slot is read before any record is visited.
    std::uint64_t charged = contents.title.size() + contents.registryKey.size() +
                            contents.entries.size() * kEntryCharge;
    for (std::int32_t index = 0; index < static_cast<std::int32_t>(contents.entries.size()); ++index) {
        PackageEntry& entry = contents.entries[static_cast<std::size_t>(index)];
        const std::int64_t slotOffset = tableOffset + 4 * static_cast<std::int64_t>(index);
        PackageCheckResult record = CheckRecord(stream, index, slotOffset, entry);
        if (!record.IsSound()) return record;
        const std::int64_t recordEnd = stream.Position() + (entry.dataSize > 0 ? entry.dataSize : 0);
        if (recordEnd > contents.readEnd) contents.readEnd = recordEnd;
        charged += entry.sourceName.size() + entry.targetName.size();
        if (charged > kTableBudgetBytes) {
            const std::int64_t namesOffset = RecordFieldOffset(RecordHeader(), RecordField::kSourceName);
            return PackageCheckResult::Broken(PackageRule::kNamesTooLong, entry.recordOffset + namesOffset, index);
        }
    }
    return PackageCheckResult();
}

}  // namespace

PackageCheckResult CheckPackageFile(PackageStream& stream, PackageContents& contents) {
    const std::optional<std::int64_t> dvxHeader = FindDvxHeader(stream);
    contents.format = dvxHeader ? PackageFormat::kDvx : PackageFormat::kDvk;
    if (dvxHeader) return CheckDvxPackage(stream, *dvxHeader, contents);
    return CheckPackage(stream, contents);
}

PackageCheckResult CheckPackage(PackageStream& stream, PackageContents& contents) {
    try {
        return CheckWithinBudget(stream, contents);
    } catch (const std::bad_alloc&) {
        // Within the budget, but the process had less to give: the package
        // cannot be used here, which must not end the program.
        contents.entries.clear();
        contents.entries.shrink_to_fit();
        return PackageCheckResult::Broken(PackageRule::kOutOfMemory, 0);
    }
}

const char* PackageRuleText(PackageRule rule) {
    switch (rule) {
        case PackageRule::kSound: return "the package is sound";
        case PackageRule::kTitleCutOff: return "title is cut off by the end of the file";
        case PackageRule::kRegistryKeyCutOff: return "registry key is cut off by the end of the file";
        case PackageRule::kEntryCountCutOff: return "entry count is cut off by the end of the file";
        case PackageRule::kTableTooLarge: return "entry count is larger than the offset table the file can hold";
        case PackageRule::kNegativeRecordOffset: return "record offset is negative";
        case PackageRule::kRecordOutsideFile: return "record offset lies at or past the end of the file";
        case PackageRule::kRecordCutOff: return "record is cut off by the end of the file";
        case PackageRule::kDataPastEnd: return "data runs past the end of the file";
        case PackageRule::kUnsafeTargetName: return "target name is not a safe relative path";
        case PackageRule::kTooManyEntries: return "entry count is larger than the reader will hold";
        case PackageRule::kNamesTooLong: return "names are longer than the reader will hold";
        case PackageRule::kOutOfMemory: return "not enough memory to read the entry table";
        case PackageRule::kHeaderCutOff: return "header is cut off by the end of the file";
        case PackageRule::kUnknownFormatVersion: return "format version is not 1";
        case PackageRule::kNewerUpdaterNeeded: return "package needs a newer updater";
        case PackageRule::kNulInText: return "text holds a NUL byte";
        case PackageRule::kRecordLength: return "record length does not fit the entry";
        case PackageRule::kUnknownKind: return "entry kind is unknown";
        case PackageRule::kUnknownFlags: return "flags hold an unknown bit";
        case PackageRule::kResultTooLarge: return "result size is larger than 2147483647";
        case PackageRule::kDataDoesNotFitKind: return "data does not fit the entry kind";
        case PackageRule::kDataOutOfPlace: return "data does not start where the previous data ends";
        case PackageRule::kDuplicateTarget: return "target name names the file of an earlier entry";
        case PackageRule::kTrailingBytes: return "bytes after the data are not a signature trailer";
    }
    return "unknown rule";
}

std::string DescribePackageCheck(const PackageCheckResult& result) {
    std::string text;
    if (result.entryIndex >= 0) text = "entry " + std::to_string(result.entryIndex) + ": ";
    text += PackageRuleText(result.rule);
    if (!result.IsSound()) text += " (byte " + std::to_string(result.offset) + ")";
    return text;
}
