// Writes a patch package in the .dvx format from a plan of PlanPatchPackage:
// a patch entry per changed file (a patch from each base, then the whole
// zstd copy when planned), a whole entry per new file (zstd when smaller,
// stored otherwise), a delete entry per file the update removes.
//
// Every patch is applied once by the updater's own decoder before it is
// written; a patch that does not give the new file back stops the pack.
// One file is in memory at a time: its new bytes, one base and one patch.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/dvk/DvxEntryPacker.h"
#include "tools/dvk/PackPlan.h"
#include "tools/dvk/PatchMaker.h"
#include "tools/dvk/PatchPlan.h"

struct PatchPackInput {
    const std::vector<ReleaseTree>* olds = nullptr;  // the earlier releases, as --from gave them
    const PackPlan* newPlan = nullptr;               // the new release, with its flags
    const ReleaseTree* newTree = nullptr;            // the same files, in the same order, with their hashes
    const std::vector<PlannedEntry>* entries = nullptr;
    PatchTuning tuning;
};

// Writes the whole package to out (which must be able to seek back). False
// with a message for people when a file cannot be read or changed since it
// was listed, a patch fails its check, or out fails.
bool WritePatchPackage(std::ostream& out, const std::string& title, const std::string& key,
                       const PatchPackInput& input, DvxPackSummary& summary, std::string& error);
