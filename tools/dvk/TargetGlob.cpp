#include "tools/dvk/TargetGlob.h"

#include "package/WindowsFileKey.h"

namespace {

// Plain backtracking match; patterns are short and typed by people.
bool Match(const char* pattern, const char* name) {
    for (;;) {
        if (*pattern == '\0') return *name == '\0';
        if (pattern[0] == '*' && pattern[1] == '*') {
            const char* rest = pattern + 2;
            // "**\" also matches no folder at all, so "**\*.dll" finds top-level files.
            if (*rest == '\\' && Match(rest + 1, name)) return true;
            for (const char* at = name;; ++at) {
                if (Match(rest, at)) return true;
                if (*at == '\0') return false;
            }
        }
        if (*pattern == '*') {
            for (const char* at = name;; ++at) {
                if (Match(pattern + 1, at)) return true;
                if (*at == '\0' || *at == '\\') return false;
            }
        }
        if (*name == '\0') return false;
        if (*pattern == '?') {
            if (*name == '\\') return false;
        } else if (*pattern != *name) {
            return false;
        }
        ++pattern;
        ++name;
    }
}

}  // namespace

TargetGlob::TargetGlob(const std::string& pattern) : pattern_(pattern), normalized_(FoldWindowsCase(pattern)) {}

std::string TargetGlob::Fold(const std::string& targetName) {
    return FoldWindowsCase(targetName);
}

bool TargetGlob::Matches(const std::string& targetName) const {
    return Match(normalized_.c_str(), FoldWindowsCase(targetName).c_str());
}
