// What dvk pack --from puts in a package, decided from the file lists of the
// earlier releases (OLD) and the new one (NEW) alone: which files need an
// entry, from which bases a patch is made, when a whole copy goes with it,
// and which files an update removes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "package/PackageEntry.h"

class PackPlan;

// One file of a release tree.
struct ReleaseFile {
    std::string targetName;  // path below the install root, '\' separated (cp1252)
    std::uint64_t size = 0;
    EntryDigest hash{};      // SHA-256 of its bytes
    std::filesystem::path source;  // where dvk reads it; the plan never looks
    bool linked = false;           // source is a link that --follow-links allowed
};

using ReleaseTree = std::vector<ReleaseFile>;

struct PatchPlanOptions {
    bool wholeCopies = true;      // off with --no-whole
    bool removeObsolete = false;  // --remove-obsolete
    std::uint64_t maxPatchFileBytes = 0;  // a base or result beyond this gets no patch
};

// A base to make a patch from: the file as release oldIndex has it (the
// first of the releases that have these bytes).
struct PlannedBase {
    std::size_t oldIndex = 0;
    std::uint64_t size = 0;
    EntryDigest hash{};
    bool operator==(const PlannedBase& other) const {
        return oldIndex == other.oldIndex && size == other.size && hash == other.hash;
    }
};

enum class PlannedKind { kPatched, kWhole, kDelete };

struct PlannedEntry {
    PlannedKind kind = PlannedKind::kWhole;
    std::string targetName;
    std::size_t newIndex = 0;         // the NEW file (kPatched, kWhole)
    std::vector<PlannedBase> bases;   // kPatched: one per distinct base
    bool wholeCopy = false;           // kPatched: a whole copy goes with the patches
};

// Files are matched by their Windows name key (case, trailing dots). NEW's
// order is kept; delete entries follow, in the order of the releases.
// A file in every OLD with NEW's bytes needs no entry. Otherwise every
// distinct earlier version becomes a base (NEW's own bytes too, when some
// release already has them, so that machines on that release match a
// base). A whole copy goes with the patches unless --no-whole, and always
// when a release lacks the file or a version of it is too large to patch:
// machines there would have no base.
[[nodiscard]] std::vector<PlannedEntry> PlanPatchPackage(const std::vector<ReleaseTree>& olds,
                                                         const ReleaseTree& newTree,
                                                         const PatchPlanOptions& options);

// Every file of a release folder, as dvk pack lists a folder (PackPlan:
// same names, same order, the same refusal of links), with its size and
// SHA-256 read in a stream. False, with error, when the folder cannot be
// listed or a file read.
[[nodiscard]] bool ListReleaseTree(const std::string& dirUtf8, bool followLinks, ReleaseTree& tree,
                                   std::string& error);
// The same for the files a plan already listed, in its order (the release
// dvk pack --from writes, whose plan also carries the flags).
[[nodiscard]] bool HashReleaseFiles(const PackPlan& plan, ReleaseTree& tree, std::string& error);
