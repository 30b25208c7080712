#include "tools/dvk/TargetGlob.h"

namespace {

// Folds ASCII and cp1252 Latin letters to lower case and '/' to '\'.
std::string Normalize(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte == '/') {
            byte = '\\';
        } else if (byte >= 'A' && byte <= 'Z') {
            byte = static_cast<unsigned char>(byte + 0x20);
        } else if (byte >= 0xC0 && byte <= 0xDE && byte != 0xD7) {
            byte = static_cast<unsigned char>(byte + 0x20);  // À-Þ except ×
        } else if (byte == 0x8A || byte == 0x8C || byte == 0x8E) {
            byte = static_cast<unsigned char>(byte + 0x10);  // Š Œ Ž
        } else if (byte == 0x9F) {
            byte = 0xFF;  // Ÿ
        }
        c = static_cast<char>(byte);
    }
    return out;
}

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

TargetGlob::TargetGlob(const std::string& pattern) : pattern_(pattern), normalized_(Normalize(pattern)) {}

std::string TargetGlob::Fold(const std::string& targetName) {
    return Normalize(targetName);
}

bool TargetGlob::Matches(const std::string& targetName) const {
    return Match(normalized_.c_str(), Normalize(targetName).c_str());
}
