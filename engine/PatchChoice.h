// Which alternative of an entry the updater applies, decided in the Test
// stage from the installed target's size and SHA-256, before anything
// changes: the patch made from exactly those bytes, else the whole copy,
// else nothing can be applied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "package/PackageEntry.h"

// The installed file as the Test stage read it.
struct InstalledFile {
    std::uint64_t size = 0;
    EntryDigest hash{};
};

// The base one patch of an entry was made from.
struct PatchBase {
    std::uint64_t size = 0;
    EntryDigest hash{};
};

struct EntryAlternatives {
    std::vector<PatchBase> patches;
    bool hasWholeCopy = false;
};

enum class AlternativeKind {
    kPatch,          // apply patches[patchIndex] to the installed file
    kWholeCopy,      // write the whole copy
    kWrongBase,      // the installed file matches no base and there is no whole copy
    kTargetMissing,  // no installed file (or none that can be read) and no whole copy
};

struct AlternativeChoice {
    AlternativeKind kind = AlternativeKind::kWrongBase;
    std::size_t patchIndex = 0;  // for kPatch
    bool operator==(const AlternativeChoice& other) const {
        return kind == other.kind && (kind != AlternativeKind::kPatch || patchIndex == other.patchIndex);
    }
};

// installed is empty when the target is absent or cannot be read. The
// first patch whose base has the installed size and hash wins; an absent
// target with a whole copy gets the whole copy (whether the entry requires
// its file is the required check's business, not this one's).
[[nodiscard]] AlternativeChoice ChooseAlternative(const std::optional<InstalledFile>& installed,
                                                  const EntryAlternatives& alternatives);
