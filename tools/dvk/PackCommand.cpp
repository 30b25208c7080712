// dvk pack: makes a package from a folder or a file list.
#include <algorithm>
#include <cstdio>
#include <system_error>
#include <vector>

#include "package/DvxFormat.h"
#include "package/PackageEntry.h"
#include "package/PackageWriter.h"
#include "tools/dvk/DvxPackWriter.h"
#include "tools/dvk/AtomicFile.h"
#include "package/CodePage1252.h"
#include "tools/dvk/Command.h"
#include "tools/dvk/CommandLine.h"
#include "tools/dvk/PackPlan.h"
#include "tools/dvk/PackageSigner.h"
#include "tools/dvk/PatchMaker.h"
#include "tools/dvk/PatchPackWriter.h"
#include "tools/dvk/PatchPlan.h"
#include "tools/dvk/ProgressBar.h"
#include "tools/dvk/SourceFile.h"
#include "tools/dvk/SystemText.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "Usage: dvk pack OUT.dvk --title TEXT --key KEY DIR [--required GLOB]... [--sign KEYFILE] [--follow-links]\n"
    "       dvk pack OUT.dvk --title TEXT --key KEY --list FILE [--required GLOB]... [--sign KEYFILE]\n"
    "                [--follow-links]\n"
    "       dvk pack OUT.dvx --format dvx --title TEXT --key KEY (DIR | --list FILE) [--remove NAME]...\n"
    "                [--remove-list FILE] [--required GLOB]... [--sign KEYFILE] [--follow-links]\n"
    "       dvk pack OUT.dvx --format dvx --title TEXT --key KEY --from OLD [--from OLD]... DIR\n"
    "                [--no-whole] [--remove-obsolete] [--required GLOB]... [--sign KEYFILE]\n"
    "                [--follow-links]\n"
    "\n"
    "Makes a package. With DIR, every regular file below DIR becomes an entry\n"
    "whose target name is its path relative to DIR with '\\' separators; the\n"
    "entries are sorted by target name, so the same files always give the same\n"
    "bytes. With --list, FILE says what goes in, in its order, one entry a line:\n"
    "    source<TAB>target<TAB>flags\n"
    "flags is the entry's flags byte (0 to 255, decimal or 0x hex; 2 marks the\n"
    "file as required). Blank lines and lines starting with '#' are skipped; a\n"
    "relative source is found from the list's folder.\n"
    "\n"
    "  --format FORMAT  dvk (the default): every file stored whole, read by\n"
    "                   every version of the updater; dvx: each file compressed\n"
    "                   with zstd when that makes it smaller (stored otherwise),\n"
    "                   the SHA-256 of each file in the package, delete entries;\n"
    "                   only an updater that knows the format applies it, older\n"
    "                   ones do not list it. The format goes by the content, not\n"
    "                   by the name's extension; name the file .dvx\n"
    "  --title TEXT     the title the updater lists the package by\n"
    "  --key KEY        registry key below HKEY_LOCAL_MACHINE whose value Path\n"
    "                   names the install root, e.g. 'Software\\Maker\\Product'\n"
    "  --required GLOB  mark matching targets as required: the update stops\n"
    "                   unless they are already installed. '*' and '?' stay\n"
    "                   within a folder, '**' crosses folders, '/' and '\\' are\n"
    "                   the same, case is ignored. May be repeated.\n"
    "  --remove NAME    (dvx) a delete entry: the update removes this file\n"
    "                   below the install root. An explicit name, no wildcards;\n"
    "                   '/' and '\\' are the same. May be repeated\n"
    "  --remove-list FILE  (dvx) a delete entry for each line of FILE (one name\n"
    "                   a line; blank lines and lines starting with '#' skipped)\n"
    "  --from OLD       (dvx) a patch package: OLD is the folder of an earlier\n"
    "                   release, DIR the new one. A file of DIR with the same\n"
    "                   bytes in every OLD gets no entry; a changed file gets a\n"
    "                   patch from each distinct earlier version (the updater\n"
    "                   uses the one made from the installed file) and a whole\n"
    "                   zstd copy for any other installed file; a new file gets\n"
    "                   a whole entry. Every patch is applied once before it is\n"
    "                   written. May be repeated, once per release to update\n"
    "                   from (at most 64)\n"
    "  --no-whole       (--from) no whole copy beside the patches, unless a\n"
    "                   release lacks the file or a version of it is too large\n"
    "                   to patch (over 128 MiB): the updater then refuses a\n"
    "                   machine whose file matches no patch (exit code 1642)\n"
    "  --remove-obsolete  (--from) a delete entry for each file of an OLD that\n"
    "                   DIR does not have\n"
    "  --sign KEYFILE   sign the package with this private key (see dvk sign)\n"
    "  --follow-links   pack the file a source that is a link points to (each\n"
    "                   is named in the output); without it such a source stops\n"
    "                   the pack, so that no link puts an unrelated file in\n"
    "\n"
    "Titles and names are stored in code page 1252. A name with a character that\n"
    "has no cp1252 byte, a name the updater would refuse (absolute, '..', ':',\n"
    "a device name such as CON), a file over 2147483647 bytes, or two names that\n"
    "are one file on Windows (a file both packed and removed among them) stop the\n"
    "pack. In a dvx package the flags may only be 0 or 2. The package is written under a new,\n"
    "unguessable temporary name beside OUT.dvk and renamed when complete: a\n"
    "failed pack leaves nothing.\n";

// Whether path lies below folder (both existing or not).
bool IsInside(const fs::path& path, const fs::path& folder) {
    std::error_code code;
    fs::path full = fs::weakly_canonical(path, code);
    if (code) return false;
    fs::path base = fs::weakly_canonical(folder, code);
    if (code) return false;
    auto mismatch = std::mismatch(base.begin(), base.end(), full.begin(), full.end());
    return mismatch.first == base.end();
}

// Streams every file into the writer in entry order, opening none through
// a link that was not one when the plan was made.
bool WriteEntries(PackageWriter& writer, const PackPlan& plan, std::string& error) {
    ProgressBar progress("packing", plan.TotalBytes());
    std::vector<char> buffer(64 * 1024);
    for (const PackItem& item : plan.Items()) {
        UniqueStdioFile in = OpenSourceFile(item.source, item.linked);
        if (!in) {
            error = "'" + item.shownName + "': cannot read the file";
            return false;
        }
        std::int64_t remaining = item.size;
        while (remaining > 0) {
            std::size_t want = remaining < static_cast<std::int64_t>(buffer.size()) ? static_cast<std::size_t>(remaining)
                                                                                    : buffer.size();
            std::size_t got = std::fread(buffer.data(), 1, want, in.get());
            if (got != want) {
                error = "'" + item.shownName + "': the file got shorter while it was packed";
                return false;
            }
            if (!writer.WriteData(buffer.data(), got)) {
                error = "cannot write the package (disk full?)";
                return false;
            }
            remaining -= static_cast<std::int64_t>(got);
            progress.Advance(static_cast<std::int64_t>(got));
        }
        if (std::fgetc(in.get()) != EOF) {
            error = "'" + item.shownName + "': the file grew while it was packed";
            return false;
        }
    }
    return true;
}

int Fail(const std::string& message, int status = kExitFailed) {
    return ReportError("pack", message, status);
}

// Signs the complete temporary file when a key is given, then renames it.
bool SignAndCommit(AtomicFile& file, SigningKey* signingKey, std::string& error) {
    if (signingKey != nullptr) {
        std::error_code code;
        const std::uintmax_t written = fs::file_size(file.TempPath(), code);
        if (code) {
            error = "cannot read back '" + file.TempPath().u8string() + "'";
            return false;
        }
        if (!AppendSignature(file.TempPath(), static_cast<std::int64_t>(written), false, file.Stream(), *signingKey,
                             error)) {
            return false;
        }
    }
    return file.Commit(error);
}

// What came through a link is named, with where it came from.
void ReportLinks(const PackPlan& plan) {
    for (const PackItem& item : plan.Items()) {
        std::error_code code;
        if (item.linked) {
            PrintOut("'" + item.shownName + "': a link, packed from '" + PathToUtf8(fs::canonical(item.source, code)) +
                     "'\n");
        }
    }
}

std::string Count(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

int PackDvx(const std::string& out, const std::string& title, const std::string& key, const PackPlan& plan,
            SigningKey* signingKey) {
    std::string error;
    for (const PackItem& item : plan.Items()) {
        if ((item.flags & ~kRequiredFlag) != 0) {
            return Fail("'" + item.shownName + "': flags " + std::to_string(item.flags) +
                        " in a dvx package (only 0 and 2, required, exist there)");
        }
    }
    AtomicFile file(PathFromUtf8(out));
    if (!file.Create(error)) return Fail(error);
    DvxPackSummary summary;
    if (!WriteDvxPackage(file.Stream(), title, key, plan, summary, error)) return Fail(error);
    if (!file.Stream().flush()) return Fail("cannot write the package (disk full?)");
    if (!SignAndCommit(file, signingKey, error)) return Fail(error);
    ReportLinks(plan);
    PrintOut(out + ": " + Count(plan.Items().size(), "entry", "entries") + " (" + std::to_string(summary.zstd) +
             " zstd, " + std::to_string(summary.stored) + " stored, " + std::to_string(summary.deletes) + " delete), " +
             std::to_string(plan.TotalBytes()) + " bytes of data in " + std::to_string(summary.dataBytes) + "\n");
    return kExitOk;
}

// dvk pack --from: the new release against the earlier ones. Every folder is
// listed and hashed before the package is begun.
int PackPatches(const std::string& out, const std::string& title, const std::string& key, const PackPlan& newPlan,
                const std::vector<std::string>& oldDirs, bool followLinks, const PatchPlanOptions& options,
                SigningKey* signingKey) {
    std::string error;
    std::vector<ReleaseTree> olds(oldDirs.size());
    for (std::size_t i = 0; i < oldDirs.size(); ++i) {
        if (!ListReleaseTree(oldDirs[i], followLinks, olds[i], error)) return Fail(error);
    }
    ReleaseTree newTree;
    if (!HashReleaseFiles(newPlan, newTree, error)) return Fail(error);
    const std::vector<PlannedEntry> entries = PlanPatchPackage(olds, newTree, options);
    if (entries.empty()) return Fail("every file of the new release is the same in every earlier one: nothing to update");

    AtomicFile file(PathFromUtf8(out));
    if (!file.Create(error)) return Fail(error);
    PatchPackInput input;
    input.olds = &olds;
    input.newPlan = &newPlan;
    input.newTree = &newTree;
    input.entries = &entries;
    DvxPackSummary summary;
    if (!WritePatchPackage(file.Stream(), title, key, input, summary, error)) return Fail(error);
    if (!file.Stream().flush()) return Fail("cannot write the package (disk full?)");
    if (!SignAndCommit(file, signingKey, error)) return Fail(error);
    ReportLinks(newPlan);
    std::int64_t bytes = 0;
    for (const PlannedEntry& entry : entries) {
        if (entry.kind != PlannedKind::kDelete) bytes += static_cast<std::int64_t>(newTree[entry.newIndex].size);
    }
    PrintOut(out + ": " + Count(entries.size(), "entry", "entries") + " (" + std::to_string(summary.patchEntries) +
             " patch, " + std::to_string(summary.zstd) + " zstd, " + std::to_string(summary.stored) + " stored, " +
             std::to_string(summary.deletes) + " delete), " + std::to_string(bytes) + " bytes of data in " +
             std::to_string(summary.dataBytes) + "; " + Count(static_cast<std::size_t>(summary.patches), "patch",
                                                                 "patches") +
             " in " + std::to_string(summary.patchBytes) + " bytes\n");
    return kExitOk;
}

}  // namespace

int RunPack(const std::vector<std::string>& args) {
    CommandLine line({"help", "follow-links", "no-whole", "remove-obsolete"},
                     {"title", "key", "list", "required", "sign", "format", "remove", "remove-list", "from"},
                     {"required", "remove", "from"});
    std::string error;
    if (!line.Parse(args, error)) return Fail(error + " (see dvk pack --help)", kExitUsage);
    if (line.Has("help")) {
        PrintOut(kHelp);
        return kExitOk;
    }
    const std::vector<std::string>& operands = line.Operands();
    const bool fromList = line.Has("list");
    if (operands.empty()) return Fail("the package to write (OUT.dvk) is missing (see dvk pack --help)", kExitUsage);
    if (fromList && operands.size() != 1) return Fail("give either DIR or --list FILE, not both", kExitUsage);
    if (!fromList && operands.size() != 2) {
        return Fail(operands.size() < 2 ? "the folder to pack (DIR) or --list FILE is missing"
                                        : "too many operands: expected OUT.dvk and DIR",
                    kExitUsage);
    }
    if (!line.Has("title")) return Fail("--title is missing", kExitUsage);
    if (!line.Has("key")) return Fail("--key is missing", kExitUsage);
    const std::string format = line.Has("format") ? line.Value("format") : "dvk";
    if (format != "dvk" && format != "dvx") return Fail("--format is dvk or dvx, not '" + format + "'", kExitUsage);
    const bool dvx = format == "dvx";
    if (!dvx && (line.Has("remove") || line.Has("remove-list"))) {
        return Fail("--remove and --remove-list need --format dvx: a .dvk package cannot remove files", kExitUsage);
    }

    const bool patches = line.Has("from");
    if (!patches && (line.Has("no-whole") || line.Has("remove-obsolete"))) {
        return Fail("--no-whole and --remove-obsolete go with --from", kExitUsage);
    }
    if (patches && !dvx) return Fail("--from needs --format dvx: only a .dvx package carries patches", kExitUsage);
    if (patches && fromList) return Fail("--from takes the new release as a folder (DIR), not --list", kExitUsage);
    if (patches && (line.Has("remove") || line.Has("remove-list"))) {
        return Fail("with --from, --remove-obsolete removes what the new release no longer has; --remove and "
                    "--remove-list do not apply",
                    kExitUsage);
    }
    if (line.Values("from").size() > kDvxMaxPatches) {
        return Fail("at most " + std::to_string(kDvxMaxPatches) + " --from", kExitUsage);
    }

    const std::string out = operands[0];
    std::string title;
    std::string key;
    std::uint32_t bad = 0;
    if (line.Value("title").empty()) return Fail("the title is empty; the updater would list an empty line");
    if (!Utf8ToCp1252(line.Value("title"), title, &bad)) {
        return Fail("the title has a character with no code page 1252 byte (" + CodePointName(bad) + ")");
    }
    if (!Utf8ToCp1252(line.Value("key"), key, &bad)) {
        return Fail("the registry key has a character with no code page 1252 byte (" + CodePointName(bad) + ")");
    }
    if (key.empty() || key[0] == '\\') {
        return Fail("the registry key must be a path below HKEY_LOCAL_MACHINE such as 'Software\\Maker\\Product'");
    }

    // The key is read first: a missing or wrong key must not cost a whole pack.
    SigningKey signingKey;
    if (line.Has("sign") && !signingKey.Load(line.Value("sign"), error)) return Fail(error);

    PackPlan plan(line.Has("follow-links"));
    if (fromList) {
        if (!plan.AddList(line.Value("list"), error)) return Fail(error);
    } else {
        if (IsInside(PathFromUtf8(out), PathFromUtf8(operands[1]))) {
            return Fail("'" + out + "' lies inside the folder being packed; write it elsewhere");
        }
        if (!plan.AddDirectory(operands[1], error)) return Fail(error);
    }
    if (!plan.AddRemovals(line.Values("remove"), error)) return Fail(error);
    if (line.Has("remove-list") && !plan.AddRemoveList(line.Value("remove-list"), error)) return Fail(error);
    if (!plan.MarkRequired(line.Values("required"), error)) return Fail(error);
    if (!plan.CheckDistinctTargets(error)) return Fail(error);
    if (patches) {
        PatchPlanOptions options;
        options.wholeCopies = !line.Has("no-whole");
        options.removeObsolete = line.Has("remove-obsolete");
        options.maxPatchFileBytes = MaxPatchFileBytes();
        return PackPatches(out, title, key, plan, line.Values("from"), line.Has("follow-links"), options,
                           line.Has("sign") ? &signingKey : nullptr);
    }
    if (dvx) return PackDvx(out, title, key, plan, line.Has("sign") ? &signingKey : nullptr);

    std::vector<PackageWriterEntry> headers;
    for (const PackItem& item : plan.Items()) {
        headers.push_back({item.flags, static_cast<std::int32_t>(item.size), item.sourceName, item.targetName});
    }
    AtomicFile file(PathFromUtf8(out));
    if (!file.Create(error)) return Fail(error);
    PackageWriter writer(file.Stream());
    if (!writer.Begin(title, key, headers)) {
        return Fail(file.Stream() ? "too much data: every record must start below 2 GiB"
                                  : "cannot write the package (disk full?)");
    }
    if (!WriteEntries(writer, plan, error)) return Fail(error);
    if (!writer.Finish() || !file.Stream().flush()) return Fail("cannot write the package (disk full?)");
    if (!SignAndCommit(file, line.Has("sign") ? &signingKey : nullptr, error)) return Fail(error);
    ReportLinks(plan);
    const std::size_t count = plan.Items().size();
    PrintOut(out + ": " + std::to_string(count) + (count == 1 ? " entry, " : " entries, ") +
             std::to_string(plan.TotalBytes()) + " bytes of data\n");
    return kExitOk;
}
