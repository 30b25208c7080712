#include "package/WindowsFileKey.h"

std::string FoldWindowsCase(const std::string& cp1252) {
    std::string out = cp1252;
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

std::string WindowsFileKey(const std::string& path) {
    const std::string folded = FoldWindowsCase(path);
    std::string key;
    std::string::size_type start = 0;
    // "\x" is not "x", nor "\\server\x": the lead stays as it is.
    while (start < folded.size() && start < 2 && folded[start] == '\\') key += folded[start++];
    const std::string::size_type lead = key.size();
    while (start <= folded.size()) {
        std::string::size_type end = folded.find('\\', start);
        if (end == std::string::npos) end = folded.size();
        std::string component = folded.substr(start, end - start);
        while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.pop_back();
        if (!component.empty()) key += (key.size() == lead ? "" : "\\") + component;
        start = end + 1;
    }
    return key;
}
