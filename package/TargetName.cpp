#include "package/TargetName.h"

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows also takes the superscripts of code page 1252 as port numbers:
// "COM\xB9" is a port like "COM1".
bool IsPortDigit(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return (byte >= '1' && byte <= '9') || byte == 0xB9 || byte == 0xB2 || byte == 0xB3;
}

// Whether name[begin, end) is a name Windows maps to a device. Windows ignores
// the extension and trailing dots and spaces when it matches one, so
// "nul.txt", "CON .log" and "LPT1. " are devices too.
bool IsDeviceName(const std::string& name, std::size_t begin, std::size_t end) {
    std::size_t stem = begin;
    while (stem < end && name[stem] != '.') ++stem;
    while (stem > begin && name[stem - 1] == ' ') --stem;
    std::size_t length = stem - begin;
    if (length != 3 && length != 4) return false;
    char upper[4];
    for (std::size_t i = 0; i < length; ++i) upper[i] = UpperAscii(name[begin + i]);
    auto is = [&](const char* device) { return upper[0] == device[0] && upper[1] == device[1] && upper[2] == device[2]; };
    if (length == 3) return is("CON") || is("PRN") || is("AUX") || is("NUL");
    return (is("COM") || is("LPT")) && IsPortDigit(name[begin + 3]);
}

}  // namespace

bool IsSafeTargetName(const std::string& name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        char c = i < name.size() ? name[i] : '\\';
        if (c == ':') return false;
        if (c != '\\' && c != '/') continue;
        // [begin, i) is one component.
        if (i - begin == 2 && name[begin] == '.' && name[begin + 1] == '.') return false;
        if (IsDeviceName(name, begin, i)) return false;
        begin = i + 1;
    }
    return true;
}
