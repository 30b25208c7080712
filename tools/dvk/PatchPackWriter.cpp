#include "tools/dvk/PatchPackWriter.h"

#include <cstdio>
#include <limits>
#include <map>

#include "engine/Crypto.h"
#include "package/DvxWriter.h"
#include "package/WindowsFileKey.h"
#include "tools/dvk/ProgressBar.h"
#include "tools/dvk/SourceFile.h"
#include "tools/dvk/SystemText.h"

namespace {

using TreeIndex = std::map<std::string, const ReleaseFile*>;

std::string Shown(const ReleaseFile& file) { return "'" + PathToUtf8(file.source) + "'"; }

// A file's bytes whole, checked against the size and SHA-256 it had when
// its folder was listed: the table names those, and the patch a base gets
// must be made from exactly the bytes the table says.
bool ReadListed(const ReleaseFile& file, std::string& bytes, std::string& error) {
    UniqueStdioFile in = OpenSourceFile(file.source, file.linked);
    if (!in || file.size > std::numeric_limits<std::size_t>::max() / 2) {
        error = Shown(file) + ": cannot read the file";
        return false;
    }
    bytes.assign(static_cast<std::size_t>(file.size), '\0');
    const bool whole = std::fread(&bytes[0], 1, bytes.size(), in.get()) == bytes.size() && std::fgetc(in.get()) == EOF;
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    const std::optional<Sha256Digest> digest = hash.Finish();
    if (!whole || !digest || *digest != file.hash) {
        error = Shown(file) + ": the file changed while it was packed";
        return false;
    }
    return true;
}

class PatchPacker {
public:
    PatchPacker(const PatchPackInput& input, DvxWriter& writer, ProgressBar& progress, DvxPackSummary& summary)
        : input_(input), writer_(writer), progress_(progress), summary_(summary),
          packer_(writer, progress, summary) {
        for (const ReleaseTree& tree : *input.olds) {
            TreeIndex index;
            for (const ReleaseFile& file : tree) index.emplace(WindowsFileKey(file.targetName), &file);
            oldIndexes_.push_back(std::move(index));
        }
    }

    bool Pack(const PlannedEntry& entry, std::string& error) {
        switch (entry.kind) {
            case PlannedKind::kDelete:
                ++summary_.deletes;
                return true;
            case PlannedKind::kWhole:
                return packer_.PackFile(input_.newPlan->Items()[entry.newIndex], error);
            case PlannedKind::kPatched:
                return PackPatched(entry, error);
        }
        return false;
    }

private:
    bool PackPatched(const PlannedEntry& entry, std::string& error) {
        const ReleaseFile& file = (*input_.newTree)[entry.newIndex];
        std::string result;
        if (!ReadListed(file, result, error)) return false;
        for (const PlannedBase& planned : entry.bases) {
            const auto found = oldIndexes_[planned.oldIndex].find(WindowsFileKey(entry.targetName));
            if (found == oldIndexes_[planned.oldIndex].end()) {
                error = Shown(file) + ": no earlier version to make a patch from";
                return false;
            }
            if (!PackPatch(file, result, *found->second, error)) return false;
        }
        if (entry.wholeCopy && !packer_.PackWholeCopy(result, error)) return false;
        progress_.Advance(static_cast<std::int64_t>(result.size()));
        ++summary_.patchEntries;
        if (!writer_.EndEntry(static_cast<std::int64_t>(file.size), file.hash)) {
            error = kPackageWriteFailed;
            return false;
        }
        return true;
    }

    // The base is read here and let go before the next one.
    bool PackPatch(const ReleaseFile& file, const std::string& result, const ReleaseFile& base, std::string& error) {
        std::string baseBytes;
        if (!ReadListed(base, baseBytes, error)) return false;
        const MadePatch made = MakePatch(baseBytes, result, file.hash, input_.tuning);
        const std::string against = Shown(file) + ": the patch from " + Shown(base);
        switch (made.status) {
            case PatchMakeStatus::kMade:
                break;
            case PatchMakeStatus::kTooLarge:  // the plan gives such a base no patch
                error = against + " cannot be made: a file is larger than " + std::to_string(MaxPatchFileBytes()) +
                        " bytes";
                return false;
            case PatchMakeStatus::kFailed:
                error = against + " could not be made (the zstd library failed: out of memory?)";
                return false;
            case PatchMakeStatus::kSelfCheckFailed:
                error = against + " did not give the new file back when applied; no package was written";
                return false;
        }
        if (!writer_.WriteData(made.bytes.data(), made.bytes.size()) || !writer_.EndAlternative()) {
            error = kPackageWriteFailed;
            return false;
        }
        ++summary_.patches;
        summary_.patchBytes += static_cast<std::int64_t>(made.bytes.size());
        return true;
    }

    const PatchPackInput& input_;
    DvxWriter& writer_;
    ProgressBar& progress_;
    DvxPackSummary& summary_;
    DvxEntryPacker packer_;
    std::vector<TreeIndex> oldIndexes_;
};

}  // namespace

bool WritePatchPackage(std::ostream& out, const std::string& title, const std::string& key,
                       const PatchPackInput& input, DvxPackSummary& summary, std::string& error) {
    std::vector<DvxWriterEntry> headers;
    std::vector<DvxPatchPart> parts;
    std::int64_t total = 0;
    for (const PlannedEntry& entry : *input.entries) {
        if (entry.kind == PlannedKind::kDelete) {
            headers.push_back({EntryKind::kDelete, 0, entry.targetName});
            continue;
        }
        const PackItem& item = input.newPlan->Items()[entry.newIndex];
        total += item.size;
        if (entry.kind == PlannedKind::kWhole) {
            headers.push_back({EntryKind::kZstd, item.flags, entry.targetName});
            continue;
        }
        headers.push_back({EntryKind::kPatch, item.flags, entry.targetName});
        DvxPatchPart part;
        for (const PlannedBase& base : entry.bases) {
            PatchAlternative alternative;
            alternative.method = PatchMethod::kZstdPrefix;
            alternative.baseSize = base.size;
            alternative.baseHash = base.hash;
            part.patches.push_back(alternative);
        }
        part.hasWholeCopy = entry.wholeCopy;
        parts.push_back(std::move(part));
    }
    DvxWriter writer(out);
    if (!writer.Begin(title, key, headers, parts)) {
        error = out ? "a title, key or name is longer than 65535 bytes" : kPackageWriteFailed;
        return false;
    }
    ProgressBar progress("packing", total);
    PatchPacker packer(input, writer, progress, summary);
    for (const PlannedEntry& entry : *input.entries) {
        if (!packer.Pack(entry, error)) return false;
    }
    if (!writer.Finish()) {
        error = kPackageWriteFailed;
        return false;
    }
    summary.dataBytes = writer.DataBytes();
    return true;
}
