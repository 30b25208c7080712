#include "engine/FolderOverlap.h"

#include <vector>

namespace {

bool StartsWithNoCase(const std::string& text, std::size_t at, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (at + i >= text.size()) return false;
        char c = text[at + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Capitals for ASCII and for the letters of code page 1252 (as UTF-8): the
// names a registry value read through the ANSI API can hold.
std::string Capitals(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const unsigned char next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c - 'a' + 'A');
        } else if (c == 0xC3 && next >= 0xA0 && next <= 0xBE && next != 0xB7) {  // à..þ but ÷
            out += static_cast<char>(0xC3);
            out += static_cast<char>(next - 0x20);
            ++i;
        } else if (c == 0xC3 && next == 0xBF) {  // ÿ, Ÿ
            out += "\xC5\xB8";
            ++i;
        } else if (c == 0xC5 && (next == 0x93 || next == 0xA1 || next == 0xBE)) {  // œ š ž
            out += static_cast<char>(0xC5);
            out += static_cast<char>(next == 0xBE ? 0xBD : next - 1);
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

std::string FolderCompareKey(const std::string& path) {
    std::string text = path;
    for (char& c : text) {
        if (c == '/') c = '\\';
    }
    std::string lead;
    std::size_t at = 0;
    if (text.compare(0, 4, "\\\\?\\") == 0 || text.compare(0, 4, "\\??\\") == 0 || text.compare(0, 4, "\\\\.\\") == 0) {
        at = 4;
        if (StartsWithNoCase(text, at, "UNC\\")) {
            lead = "\\\\";
            at += 4;
        }
    } else if (text.compare(0, 2, "\\\\") == 0) {
        lead = "\\\\";
        at = 2;
    }
    // A drive path keeps its drive, a network path its server and share.
    const std::size_t kept = lead.empty() ? 1 : 2;
    std::vector<std::string> names;
    while (at <= text.size()) {
        std::size_t end = text.find('\\', at);
        if (end == std::string::npos) end = text.size();
        std::string name = text.substr(at, end - at);
        at = end + 1;
        if (name == "..") {
            if (names.size() > kept) names.pop_back();
            continue;
        }
        while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
        if (!name.empty()) names.push_back(Capitals(name));
    }
    std::string key = lead;
    for (std::size_t i = 0; i < names.size(); ++i) key += (i == 0 ? "" : "\\") + names[i];
    return key;
}

bool FoldersOverlap(const std::string& a, const std::string& b) {
    const std::string keyA = FolderCompareKey(a);
    const std::string keyB = FolderCompareKey(b);
    if (keyA.empty() || keyA == "\\\\" || keyB.empty() || keyB == "\\\\") return true;
    const std::string& shorter = keyA.size() < keyB.size() ? keyA : keyB;
    const std::string& longer = keyA.size() < keyB.size() ? keyB : keyA;
    return longer.compare(0, shorter.size(), shorter) == 0 &&
           (longer.size() == shorter.size() || longer[shorter.size()] == '\\');
}
