#include "package/TargetName.h"

namespace {

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether name[begin, end) is a name Windows maps to a device. Windows ignores
// the extension and trailing spaces when it matches one, so "nul.txt" and
// "CON .log" are devices too.
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
    return (is("COM") || is("LPT")) && upper[3] >= '1' && upper[3] <= '9';
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
