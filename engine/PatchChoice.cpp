#include "engine/PatchChoice.h"

AlternativeChoice ChooseAlternative(const std::optional<InstalledFile>& installed,
                                    const EntryAlternatives& alternatives) {
    if (installed) {
        for (std::size_t i = 0; i < alternatives.patches.size(); ++i) {
            const PatchBase& base = alternatives.patches[i];
            if (base.size == installed->size && base.hash == installed->hash) {
                return AlternativeChoice{AlternativeKind::kPatch, i};
            }
        }
    }
    if (alternatives.hasWholeCopy) return AlternativeChoice{AlternativeKind::kWholeCopy, 0};
    if (!installed) return AlternativeChoice{AlternativeKind::kTargetMissing, 0};
    return AlternativeChoice{AlternativeKind::kWrongBase, 0};
}
