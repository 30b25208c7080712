#include "tools/dvk/ExtractJournalFolder.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool MakeFolder(const fs::path& folder, std::string& error) {
    std::error_code code;
    fs::create_directories(folder, code);
    if (code || !fs::is_directory(folder, code)) {
        error = "cannot make the journal folder '" + folder.u8string() + "'";
        return false;
    }
    return true;
}

}  // namespace

std::uint64_t FolderHash(const std::string& folderText) {
    std::uint64_t hash = 1469598103934665603ull;  // FNV-1a over the text's bytes
    for (char c : folderText) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

std::string FolderKey(const std::string& folderText) {
    char key[17];
    std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(FolderHash(folderText)));
    return key;
}

bool ExtractStateFolder(fs::path& state, std::string& error) {
    fs::path base;
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    if (local != nullptr && local[0] != '\0') base = fs::u8path(local);
#else
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    if (stateHome != nullptr && stateHome[0] == '/') {
        base = stateHome;
    } else if (home != nullptr && home[0] != '\0') {
        base = fs::path(home) / ".local" / "state";
    }
#endif
    if (base.empty()) {
        error = "no folder for the journal (set XDG_STATE_HOME or HOME)";
        return false;
    }
    state = base / "dvk" / "extract";
    return MakeFolder(state, error);
}

bool ExtractJournalFolder(const fs::path& state, const std::string& folderText, fs::path& journals,
                          std::string& error) {
    journals = state / FolderKey(folderText);
    return MakeFolder(journals, error);
}
