#include "engine/ApplyEngine.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/Crypto.h"
#include "engine/EntrySource.h"
#include "engine/InstalledFileHash.h"
#include "engine/PatchChoice.h"
#include "engine/PatchEntrySource.h"
#include "engine/ZstdEntrySource.h"
#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "engine/SignatureCheck.h"
#include "engine/StagedCommit.h"
#include "engine/StatusLines.h"

namespace {

constexpr std::int32_t kBlockSize = 4096;

enum class CopyOutcome { kCopied, kReadFailed, kWriteFailed };

// Copies the entry's result through the one block buffer, showing a progress
// line after every block, and hashing it when the table gives its hash: a
// result that is not the table's, or whose data goes on past it, is damaged.
CopyOutcome CopyBlocks(EntrySource& source, const PackageEntry& entry, OutputFile& out, std::vector<char>& block,
                       StatusSink& sink) {
    std::optional<Sha256> hash;
    if (entry.hasResultHash) hash.emplace();
    const std::int32_t size = entry.dataSize;
    std::int32_t remaining = size;
    std::int32_t length = remaining > kBlockSize ? kBlockSize : remaining;
    while (remaining > 0) {
        if (!source.ReadResult(block.data(), static_cast<std::size_t>(length))) return CopyOutcome::kReadFailed;
        if (hash) hash->Update(block.data(), static_cast<std::size_t>(length));
        if (!out.Write(block.data(), static_cast<std::size_t>(length))) return CopyOutcome::kWriteFailed;
        remaining -= length;
        length = remaining > kBlockSize ? kBlockSize : remaining;
        sink.SetStatusLine(ProgressLine(entry.targetName, CopiedPercentage(size, remaining)));
    }
    if (!source.EndsHere()) return CopyOutcome::kReadFailed;
    if (hash) {
        const std::optional<Sha256Digest> digest = hash->Finish();
        if (!digest || !std::equal(digest->begin(), digest->end(), entry.resultHash.begin())) {
            return CopyOutcome::kReadFailed;
        }
    }
    return CopyOutcome::kCopied;
}

bool Fail(StatusSink& sink, const std::string& line) {
    sink.SetStatusLine(line);
    return false;
}

ApplyResult Refuse(StatusSink& sink, const std::string& line, ApplyResult why = ApplyResult::kFailed) {
    sink.SetStatusLine(line);
    return why;
}

EntryAlternatives AlternativesOf(const PackageEntry& entry) {
    EntryAlternatives alternatives;
    for (const PatchAlternative& patch : entry.patches) alternatives.patches.push_back({patch.baseSize, patch.baseHash});
    alternatives.hasWholeCopy = entry.HasWholeCopy();
    return alternatives;
}

// The source of an entry's result: for a patch entry, the alternative the
// Test stage chose.
std::unique_ptr<EntrySource> OpenChosenSource(PatchPackage& package, const PackageEntry& entry,
                                              const AlternativeChoice& choice, const std::string& target) {
    if (entry.kind != EntryKind::kPatch) return OpenEntrySource(package, entry);
    if (choice.kind == AlternativeKind::kWholeCopy) {
        return ZstdEntrySource::Open(package.Stream(), entry.wholeOffset, entry.wholeLength, entry.dataSize);
    }
    if (choice.kind != AlternativeKind::kPatch || choice.patchIndex >= entry.patches.size()) return nullptr;
    return PatchEntrySource::Open(package.Stream(), entry.patches[choice.patchIndex], target, entry.dataSize);
}

}  // namespace

namespace {

// Stages every entry beside its target and commits them. A failure undoes the
// staging before its line is shown; should the undo itself fail, that is
// what the last line says instead.
bool StageAndCommit(PatchPackage& package, StatusSink& sink, const std::string& root, TargetFileSystem& files,
                    StagedCommit& commit, const std::vector<AlternativeChoice>& choices) {
    const std::vector<PackageEntry>& entries = package.GetEntries();
    auto abandon = [&](const std::string& line) {
        return Fail(sink, commit.Rollback() ? line : LoadMessageString(IDS_UNDO_INCOMPLETE));
    };
    std::vector<std::string> targets;
    std::vector<bool> deletes;
    targets.reserve(entries.size());
    for (const PackageEntry& entry : entries) {
        targets.push_back(files.TargetPath(root, entry.targetName));
        deletes.push_back(entry.IsDelete());
    }
    if (!commit.Begin(root, targets, deletes)) return Fail(sink, LoadMessageString(IDS_START_FAILED));
    targets = std::vector<std::string>();

    std::vector<char> block(kBlockSize);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& entry = entries[i];
        const std::string target = files.TargetPath(root, entry.targetName);
        if (entry.IsDelete()) {
            sink.SetStatusLine(NamedStatusLine(IDS_DELETING, entry.targetName));
            // A target that is not there is nothing to do. Only a file is
            // deleted: one that is there but cannot be read (a folder) is not.
            const bool there = files.Exists(target);
            if ((there && (!files.HasNoLinkBelowRoot(root, target) || !files.CanOpenForReading(target))) ||
                !commit.StageDelete(i)) {
                return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
            }
            continue;
        }
        sink.SetStatusLine(NamedStatusLine(IDS_EXTRACTING, entry.targetName));
        // Nothing is decoded before the signature step has passed (ApplyPackage).
        // A patch's source holds a view of its target: it goes at the end of
        // this iteration, before the commit renames anything.
        std::unique_ptr<EntrySource> source = OpenChosenSource(package, entry, choices[i], target);
        if (!source) return abandon(LoadMessageString(IDS_PACKAGE_DAMAGED));
        if (!files.HasNoLinkBelowRoot(root, target)) {
            return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
        }
        OutputFile* out = commit.Stage(i);
        if (out == nullptr) return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
        switch (CopyBlocks(*source, entry, *out, block, sink)) {
            case CopyOutcome::kReadFailed:
                return abandon(LoadMessageString(IDS_PACKAGE_DAMAGED));
            case CopyOutcome::kWriteFailed:
                return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
            case CopyOutcome::kCopied:
                break;
        }
        if (!out->Close()) return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
    }

    // Each replacement checks the path below the root right before it is made.
    StagedCommit::Result result = commit.Commit();
    if (result.undoIncomplete) return Fail(sink, LoadMessageString(IDS_UNDO_INCOMPLETE));
    if (result.journalFailed) return Fail(sink, LoadMessageString(IDS_START_FAILED));
    if (!result.ok) return Fail(sink, NamedStatusLine(IDS_WRITE_FAILED, entries[result.failedIndex].targetName));

    sink.SetStatusLine(LoadMessageString(IDS_UPDATE_COMPLETE));
    return true;
}

}  // namespace

ApplyResult ApplyPackage(PatchPackage& package, StatusSink& sink, InstallRootLookup& lookup, TargetFileSystem& files,
                  JournalFolder& journals) {
    // A package that could not be opened has nothing to apply.
    if (!package.IsOpen()) return Refuse(sink, LoadMessageString(IDS_PACKAGE_DAMAGED));

    std::optional<std::string> root = lookup.FindInstallRoot(package.GetRegistryKey());
    if (!root) return Refuse(sink, LoadMessageString(IDS_NOT_INSTALLED));
    // An earlier update of these files that could not be undone whole comes
    // first: a new one on top of it would mix the two. Other products update.
    if (HasPendingJournalOverlapping(journals, *root)) return Refuse(sink, LoadMessageString(IDS_UNDO_INCOMPLETE));
    if (!PassSignatureStep(package, sink, lookup, *root)) return ApplyResult::kFailed;

    // Every target a patch needs as its base is hashed here, before anything
    // changes: the alternative is chosen from what is installed.
    std::vector<AlternativeChoice> choices(package.GetEntries().size());
    for (std::size_t i = 0; i < package.GetEntries().size(); ++i) {
        const PackageEntry& entry = package.GetEntries()[i];
        sink.SetStatusLine(NamedStatusLine(IDS_TESTING, entry.targetName));
        const std::string target = files.TargetPath(*root, entry.targetName);
        if (entry.IsRequired() && !files.CanOpenForReading(target)) {
            return Refuse(sink, NamedStatusLine(IDS_REQUIRED_FILE_MISSING, entry.targetName));
        }
        if (entry.kind != EntryKind::kPatch) continue;
        std::optional<InstalledFile> installed;
        if (files.HasNoLinkBelowRoot(*root, target)) installed = HashInstalledFile(files, target);
        choices[i] = ChooseAlternative(installed, AlternativesOf(entry));
        if (choices[i].kind == AlternativeKind::kTargetMissing) {
            return Refuse(sink, NamedStatusLine(IDS_REQUIRED_FILE_MISSING, entry.targetName));
        }
        if (choices[i].kind == AlternativeKind::kWrongBase) {
            return Refuse(sink, NamedStatusLine(IDS_WRONG_BASE, entry.targetName), ApplyResult::kWrongBase);
        }
    }

    // Made before anything is staged, so that the line is at hand even when
    // memory has run out.
    const std::string undoIncomplete = LoadMessageString(IDS_UNDO_INCOMPLETE);
    StagedCommit commit(files, journals);
    bool undone = false;
    try {
        const bool applied = StageAndCommit(package, sink, *root, files, commit, choices);
        return applied ? ApplyResult::kApplied : ApplyResult::kFailed;
    } catch (...) {
        // Undone here, so that the line can tell whether the root is as it
        // was: the caller's barrier says so when the exception goes on.
        try {
            undone = commit.Rollback();
        } catch (...) {
            undone = false;
        }
        if (undone) throw;
    }
    return Refuse(sink, undoIncomplete);
}

ApplyResult ApplyPackage(PatchPackage& package, StatusSink& sink) {
    std::unique_ptr<InstallRootLookup> lookup = CreateSystemInstallRootLookup();
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    // The product first: for one that is not installed the only line is that
    // one, whatever the state of the journal folder.
    if (package.IsOpen() && !lookup->FindInstallRoot(package.GetRegistryKey())) {
        return Refuse(sink, LoadMessageString(IDS_NOT_INSTALLED));
    }
    std::vector<std::string> notes;  // the run's recovery has logged the same already
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
    if (!journals) return Refuse(sink, LoadMessageString(IDS_START_FAILED));
    return ApplyPackage(package, sink, *lookup, *files, *journals);
}
