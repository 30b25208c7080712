#include "tools/dvk/ExtractJournalFolder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

std::string FolderKey(const fs::path& canonicalFolder) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a over the path's bytes
    for (char c : canonicalFolder.generic_u8string()) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char key[17];
    std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
    return key;
}

bool ExtractJournalFolder(const fs::path& canonicalFolder, fs::path& journals, std::string& error) {
    fs::path base;
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    if (local != nullptr && local[0] != '\0') base = fs::u8path(local);
#else
    const char* state = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (state != nullptr && state[0] == '/') {
        base = state;
    } else if (home != nullptr && home[0] != '\0') {
        base = fs::path(home) / ".local" / "state";
    }
#endif
    if (base.empty()) {
        error = "no folder for the journal (set XDG_STATE_HOME or HOME)";
        return false;
    }
    journals = base / "dvk" / "extract" / FolderKey(canonicalFolder);
    std::error_code code;
    fs::create_directories(journals, code);
    if (code || !fs::is_directory(journals, code)) {
        error = "cannot make the journal folder '" + journals.u8string() + "'";
        return false;
    }
    return true;
}
