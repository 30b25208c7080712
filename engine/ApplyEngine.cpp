#include "engine/ApplyEngine.h"

#include <vector>

#include "engine/MessageStrings.h"
#include "engine/Recovery.h"
#include "engine/SignatureCheck.h"
#include "engine/StagedCommit.h"
#include "engine/StatusLines.h"
#include "package/RecordHeader.h"

namespace {

constexpr std::int32_t kBlockSize = 4096;

// Positions the stream at the entry's record and reads past its header. False
// when the stream fails or the header no longer says what it said when the
// package was opened (the file changed since).
bool SkipToData(PatchPackage& package, const PackageEntry& entry) {
    PackageStream& stream = package.Stream();
    stream.DiscardBuffer();
    if (!stream.Failed()) stream.Seek(entry.recordOffset);
    RecordHeader header;
    return ReadRecordHeader(stream, header) == RecordField::kComplete && header.flags == entry.flags &&
           header.dataSize == entry.dataSize && header.sourceName == entry.sourceName &&
           header.targetName == entry.targetName;
}

enum class CopyOutcome { kCopied, kReadFailed, kWriteFailed };

// Copies the entry's data through the one block buffer, showing a progress
// line after every block.
CopyOutcome CopyBlocks(PatchPackage& package, const PackageEntry& entry, OutputFile& out, std::vector<char>& block,
                       StatusSink& sink) {
    const std::int32_t size = entry.dataSize;
    std::int32_t remaining = size;
    std::int32_t length = remaining > kBlockSize ? kBlockSize : remaining;
    while (remaining > 0) {
        std::size_t got = package.Stream().Read(block.data(), static_cast<std::size_t>(length));
        if (got != static_cast<std::size_t>(length)) return CopyOutcome::kReadFailed;
        if (!out.Write(block.data(), got)) return CopyOutcome::kWriteFailed;
        remaining -= length;
        length = remaining > kBlockSize ? kBlockSize : remaining;
        sink.SetStatusLine(ProgressLine(entry.targetName, CopiedPercentage(size, remaining)));
    }
    return CopyOutcome::kCopied;
}

bool Fail(StatusSink& sink, const std::string& line) {
    sink.SetStatusLine(line);
    return false;
}

}  // namespace

namespace {

// Stages every entry beside its target and commits them. A failure undoes the
// staging before its line is shown; should the undo itself fail, that is
// what the last line says instead.
bool StageAndCommit(PatchPackage& package, StatusSink& sink, const std::string& root, TargetFileSystem& files,
                    StagedCommit& commit) {
    const std::vector<PackageEntry>& entries = package.GetEntries();
    auto abandon = [&](const std::string& line) {
        return Fail(sink, commit.Rollback() ? line : LoadMessageString(IDS_UNDO_INCOMPLETE));
    };
    std::vector<std::string> targets;
    targets.reserve(entries.size());
    for (const PackageEntry& entry : entries) targets.push_back(files.TargetPath(root, entry.targetName));
    if (!commit.Begin(root, targets)) return Fail(sink, LoadMessageString(IDS_START_FAILED));
    targets = std::vector<std::string>();

    std::vector<char> block(kBlockSize);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& entry = entries[i];
        sink.SetStatusLine(NamedStatusLine(IDS_EXTRACTING, entry.targetName));
        if (!SkipToData(package, entry)) return abandon(LoadMessageString(IDS_PACKAGE_DAMAGED));
        if (!files.HasNoLinkBelowRoot(root, files.TargetPath(root, entry.targetName))) {
            return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
        }
        OutputFile* out = commit.Stage(i);
        if (out == nullptr) return abandon(NamedStatusLine(IDS_WRITE_FAILED, entry.targetName));
        switch (CopyBlocks(package, entry, *out, block, sink)) {
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

bool ApplyPackage(PatchPackage& package, StatusSink& sink, InstallRootLookup& lookup, TargetFileSystem& files,
                  JournalFolder& journals) {
    // A package that could not be opened has nothing to apply.
    if (!package.IsOpen()) return Fail(sink, LoadMessageString(IDS_PACKAGE_DAMAGED));

    std::optional<std::string> root = lookup.FindInstallRoot(package.GetRegistryKey());
    if (!root) return Fail(sink, LoadMessageString(IDS_NOT_INSTALLED));
    // An earlier update of these files that could not be undone whole comes
    // first: a new one on top of it would mix the two. Other products update.
    if (HasPendingJournalOverlapping(journals, *root)) return Fail(sink, LoadMessageString(IDS_UNDO_INCOMPLETE));
    if (!PassSignatureStep(package, sink, lookup, *root)) return false;

    for (const PackageEntry& entry : package.GetEntries()) {
        sink.SetStatusLine(NamedStatusLine(IDS_TESTING, entry.targetName));
        if (entry.IsRequired() && !files.CanOpenForReading(files.TargetPath(*root, entry.targetName))) {
            return Fail(sink, NamedStatusLine(IDS_REQUIRED_FILE_MISSING, entry.targetName));
        }
    }

    // Made before anything is staged, so that the line is at hand even when
    // memory has run out.
    const std::string undoIncomplete = LoadMessageString(IDS_UNDO_INCOMPLETE);
    StagedCommit commit(files, journals);
    bool undone = false;
    try {
        return StageAndCommit(package, sink, *root, files, commit);
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
    return Fail(sink, undoIncomplete);
}

bool ApplyPackage(PatchPackage& package, StatusSink& sink) {
    std::unique_ptr<InstallRootLookup> lookup = CreateSystemInstallRootLookup();
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    // The product first: for one that is not installed the only line is that
    // one, whatever the state of the journal folder.
    if (package.IsOpen() && !lookup->FindInstallRoot(package.GetRegistryKey())) {
        return Fail(sink, LoadMessageString(IDS_NOT_INSTALLED));
    }
    std::vector<std::string> notes;  // the run's recovery has logged the same already
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
    if (!journals) return Fail(sink, LoadMessageString(IDS_START_FAILED));
    return ApplyPackage(package, sink, *lookup, *files, *journals);
}
