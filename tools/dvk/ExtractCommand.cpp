// dvk extract: applies a package to a folder with the updater's own engine.
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/GuardedApply.h"
#include "app/JournalRecovery.h"
#include "engine/ApplyEngine.h"
#include "engine/InstallRootLookup.h"
#include "engine/MessageStrings.h"
#include "package/CodePage1252.h"
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"
#include "tools/dvk/ExtractJournalFolder.h"
#include "tools/dvk/FolderLock.h"
#include "tools/dvk/FolderNesting.h"
#include "tools/dvk/LocaleTargetFileSystem.h"
#include "tools/dvk/PendingExtracts.h"
#include "tools/dvk/SystemText.h"

namespace {

const char kHelp[] =
    "Usage: dvk extract PKG --to DIR [--quiet] [--trust PUBFILE]...\n"
    "\n"
    "Applies the package to DIR exactly as the updater applies it to the\n"
    "install root that the registry names: every required file must already be\n"
    "in DIR, then every entry is written, and the files change all together or\n"
    "not at all, even when dvk is killed: the next dvk extract into DIR, a\n"
    "folder above it or one inside it first puts back what an interrupted one\n"
    "left, from its journal (kept below $XDG_STATE_HOME/dvk/extract/, naming\n"
    "DIR by its full path with links resolved, so it may run from any folder).\n"
    "A dvk extract into a folder, a folder above it or one inside it while\n"
    "another is at work there fails at once. No folder is created, as the updater\n"
    "creates none: DIR must already hold every folder the targets need. Every\n"
    "status line the updater would show is printed; the exit status is 0 when\n"
    "the update is complete.\n"
    "\n"
    "  --to DIR   the folder that stands in for the install root\n"
    "  --quiet    print only the last status line\n"
    "  --trust PUBFILE\n"
    "             act as for a product whose PublicKey value holds this key\n"
    "             (PEM, or the base64 line): only a package signed by one of\n"
    "             the keys given is applied. May be repeated. A signed package\n"
    "             is always checked first, with or without --trust.\n";

// Prints the updater's status lines as they come, or keeps only the last one.
class PrintingSink : public StatusSink {
public:
    explicit PrintingSink(bool quiet) : quiet_(quiet) {}
    void SetStatusLine(const std::string& text) override {
        last_ = text;
        if (!quiet_) PrintOut(Cp1252ToUtf8(text) + "\n");
    }
    const std::string& Last() const { return last_; }

private:
    bool quiet_;
    std::string last_;
};

int Fail(const std::string& message, int status = kExitFailed) {
    return ReportError("extract", message, status);
}

// Windows opens a folder by any case of its name.
#ifdef _WIN32
constexpr bool kFoldCase = true;
#else
constexpr bool kFoldCase = false;
#endif

}  // namespace

int RunExtract(const std::vector<std::string>& args) {
    CommandLine line({"help", "quiet"}, {"to", "trust"}, {"trust"});
    std::string error;
    if (!line.Parse(args, error)) return Fail(error + " (see dvk extract --help)", kExitUsage);
    if (line.Has("help")) {
        PrintOut(kHelp);
        return kExitOk;
    }
    if (line.Operands().size() != 1) return Fail("give exactly one package (see dvk extract --help)", kExitUsage);
    if (!line.Has("to")) return Fail("--to DIR is missing", kExitUsage);

    const std::string& file = line.Operands()[0];
    const std::string dir = line.Value("to");
    std::error_code code;
    if (dir.empty() || !std::filesystem::is_directory(PathFromUtf8(dir), code)) {
        return Fail("'" + dir + "': no such folder");
    }
    std::string packagePath;
    // The journal names the folder by its absolute path, every link resolved,
    // so that whichever folder the next dvk extract is started in, recovery
    // acts on this folder's files and finds the journal by the same key.
    const std::filesystem::path folder = std::filesystem::canonical(PathFromUtf8(dir), code);
    std::string root;
    if (code) return Fail("'" + dir + "': cannot find the folder's full path (" + code.message() + ")");
    if (!NarrowSystemPath(PathToUtf8(folder), root)) {
        return Fail("'" + dir + "': the path has a character the system cannot pass on");
    }
    const std::string folderText = FolderText(root, kFoldCase);
    std::filesystem::path state;
    if (!ExtractStateFolder(state, error)) return Fail(error);

    // Another extract at work in the folder, above it or inside it is never
    // disturbed, not even by the recovery below.
    FolderLock lock;
    if (!lock.Open(state / "lock", error)) return Fail(error);
    const std::string busy = "'" + dir + "' is in use by another dvk extract (into it, a folder above it or one "
                             "inside it); nothing was changed";
    if (!lock.TryLock(FolderAndAncestors(folderText))) return Fail(busy);
    std::vector<std::string> setAside;
    const std::vector<PendingExtract> pending = FindPendingExtracts(state, folderText, kFoldCase, setAside);
    if (!setAside.empty()) {
        return Fail("the journal '" + setAside.front() + "' does not name '" + dir +
                    "' by its full path (an older dvk wrote it): set aside, not obeyed; check the folder by hand, "
                    "then run dvk extract again");
    }
    // An extract into a folder above this one is recovered under its own
    // exclusive lock: another extract beside this one may share that folder.
    for (const PendingExtract& extract : pending) {
        if (extract.nesting == FolderNesting::kAbove && !lock.TryMakeExclusive(extract.rootText)) return Fail(busy);
    }
    std::filesystem::path journalPath;
    std::string journalPathNarrow;
    if (!ExtractJournalFolder(state, folderText, journalPath, error)) return Fail(error);
    // Declared after the lock, so it runs while the lock is still held.
    struct RemoveWhenEmpty {
        std::filesystem::path path;
        ~RemoveWhenEmpty() {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);  // only an empty folder goes
        }
    } tidy{journalPath};
    if (!NarrowSystemPath(PathToUtf8(journalPath), journalPathNarrow)) {
        return Fail("'" + PathToUtf8(journalPath) + "': the path has a character the system cannot pass on");
    }
    std::unique_ptr<JournalFolder> journals = OpenJournalFolder(journalPathNarrow);
#ifdef _WIN32
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
#else
    std::unique_ptr<TargetFileSystem> files =
        std::make_unique<LocaleTargetFileSystem>(CreateSystemTargetFileSystem());
#endif
    // Outermost first: what a parent's extract put back may be what this
    // folder's own journal then finds.
    for (const PendingExtract& extract : pending) {
        const std::string shown =
            extract.nesting == FolderNesting::kSame ? dir : Utf8FromNarrowSystemPath(extract.root);
        std::string narrow;
        if (!NarrowSystemPath(PathToUtf8(extract.journals), narrow)) continue;  // not found then either
        std::unique_ptr<JournalFolder> others = OpenJournalFolder(narrow);
        JournalFolder& folderJournals = extract.nesting == FolderNesting::kSame ? *journals : *others;
        // dvk keeps no log: what was set aside is told by the outcome alone.
        std::vector<std::string> notes;
        switch (RecoverJournals(&folderJournals, *files, notes)) {
            case RecoveryOutcome::kNothingFound:
                break;
            case RecoveryOutcome::kCompleted:
                ReportError("extract", "an interrupted extract into '" + shown + "' had written every file: finished it",
                            0);
                break;
            case RecoveryOutcome::kUndone:
                ReportError("extract", "an interrupted extract into '" + shown + "' was undone: its files are as before it",
                            0);
                break;
            case RecoveryOutcome::kIncomplete:
            case RecoveryOutcome::kNotExamined:
                return Fail("an interrupted extract into '" + shown +
                            "' could not be undone wholly (a file in use? a journal set aside?); nothing more was done");
        }
        if (extract.nesting != FolderNesting::kSame) {
            std::error_code ignored;
            std::filesystem::remove(extract.journals, ignored);  // only an empty folder goes
        }
    }
    std::vector<std::string> trusted;
    if (!ReadTrustedKeys(line.Values("trust"), trusted, error)) return Fail(error);

    PatchPackage package;
    if (!NarrowSystemPath(file, packagePath) || !package.Open(packagePath)) {
        // The reader only says no; the check says why.
        PackageStream stream;
        PackageContents contents;
        PackageCheckResult result;
        if (!InspectPackage(file, stream, contents, result, error)) return Fail(error);
        if (result.IsSound()) return Fail("'" + file + "': cannot read the file");  // changed meanwhile
        return Fail("'" + file + "' is damaged: " + DescribePackageCheck(result));
    }

    FixedInstallRootLookup lookup;
    lookup.Set(package.GetRegistryKey(), root);
    if (line.Has("trust")) lookup.SetTrustedKeys(package.GetRegistryKey(), trusted);
    PrintingSink sink(line.Has("quiet"));
    const ApplyResult result =
        ApplyGuarded([&] { return ApplyPackage(package, sink, lookup, *files, *journals); }, sink);
    const bool applied = result == ApplyResult::kApplied;
    if (line.Has("quiet")) PrintOut(Cp1252ToUtf8(sink.Last()) + "\n");
    if (!applied && sink.Last() == LoadMessageString(IDS_UNDO_INCOMPLETE)) {
        return Fail("the package was not applied and '" + dir +
                    "' could not be put back wholly (a file in use?); the next dvk extract into it finishes that");
    }
    if (!applied) return Fail("the package was not applied; '" + dir + "' is unchanged");
    return kExitOk;
}
