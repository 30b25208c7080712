#include "engine/JournalValidation.h"

#include <string>
#include <unordered_set>

#include "package/TargetName.h"

namespace {

bool IsDigits(const std::string& text, std::size_t begin, std::size_t end) {
    if (begin >= end || text[begin] == '0') return false;
    for (std::size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// "<target>.~dvk<position>.<ending>" or "<target>.~dvk<position>-<n>.<ending>", n from 1.
bool IsStagingName(const std::string& name, const std::string& target, std::size_t position, const char* ending) {
    const std::string stem = target + ".~dvk" + std::to_string(position);
    const std::string tail = std::string(".") + ending;
    if (name.size() < stem.size() + tail.size() || name.compare(0, stem.size(), stem) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    const std::size_t end = name.size() - tail.size();
    if (end == stem.size()) return true;
    return name[stem.size()] == '-' && IsDigits(name, stem.size() + 1, end);
}

}  // namespace

const char* JournalProblem(const JournalState& state, TargetFileSystem& files) {
    if (!files.IsRealFolder(state.root)) return "sa racine n'est pas un dossier local absolu, ou c'est un lien";
    const std::string below = files.TargetPath(state.root, "");
    std::unordered_set<std::string> targets;
    std::unordered_set<std::string> staging;
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        const JournalEntry& entry = state.entries[i];
        if (entry.target.compare(0, below.size(), below) != 0 || !IsSafeTargetName(entry.target.substr(below.size()))) {
            return "il nomme un fichier hors de sa racine";
        }
        if (!IsStagingName(entry.staged, entry.target, i, "new") || !IsStagingName(entry.backup, entry.target, i, "old")) {
            return "il nomme un fichier de travail qui n'est pas celui de sa cible";
        }
        targets.insert(files.NameKey(entry.target));  // a target may be named twice
        if (!staging.insert(files.NameKey(entry.staged)).second || !staging.insert(files.NameKey(entry.backup)).second) {
            return "deux de ses fichiers de travail n'en font qu'un";
        }
    }
    for (const std::string& key : staging) {
        if (targets.count(key) != 0) return "un de ses fichiers de travail est une cible";
    }
    return nullptr;
}
