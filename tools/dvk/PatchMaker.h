// Makes the patch of one file against one base: a zstd frame compressed with
// the base as its prefix ("patch from"), then applied once with the
// updater's own decoder and its result's SHA-256 compared, so that dvk never
// writes a patch the updater cannot apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "package/PackageEntry.h"
#include "package/ZstdLimits.h"

// How hard the compressor looks for matches. The defaults are what dvk
// uses, measured on a 26 MB server between two releases: a match chain of
// 2^25 (the level's is 2^24) gave 7.46 % of the file instead of 7.59 % in
// the same processor time; zstd shortens it again for small files.
struct PatchTuning {
    int level = kZstdPackLevel;
    int targetLength = 0;  // 0: the level's own
    int chainLog = 25;     // 0: the level's own
    int searchLog = 7;     // 0: the level's own
    int extraWindowLog = 0;  // added to the smallest window covering base and result, within the cap
};

enum class PatchMakeStatus {
    kMade,
    kTooLarge,         // the base or the result is beyond the decoder's window cap: store a whole copy
    kFailed,           // the compressor failed (memory)
    kSelfCheckFailed,  // the patch did not give the result back: never write it
};

struct MadePatch {
    PatchMakeStatus status = PatchMakeStatus::kFailed;
    std::string bytes;  // the frame, when kMade
};

// The largest base or result a patch may have: the decoder's window.
std::uint64_t MaxPatchFileBytes();

// resultHash is the SHA-256 of result, which the package table names; the
// self-check compares the decoded result against it.
[[nodiscard]] MadePatch MakePatch(const std::string& base, const std::string& result, const EntryDigest& resultHash,
                                  const PatchTuning& tuning = PatchTuning());

// The self-check on its own: whether patch applied to base gives exactly
// resultSize bytes with resultHash.
[[nodiscard]] bool PatchGivesResult(const std::string& patch, const std::string& base, std::uint64_t resultSize,
                                    const EntryDigest& resultHash);
