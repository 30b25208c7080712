#include "package/TargetName.h"

#include <cctype>

namespace {

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool IsDeviceName(const std::string& component) {
    // Windows ignores the extension and trailing spaces when it matches a
    // device name, so "nul.txt" and "CON .log" are devices too.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    base = UpperAscii(base);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        return base[3] >= '1' && base[3] <= '9';
    }
    return false;
}

}  // namespace

bool IsSafeTargetName(const std::string& name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return false;
    if (name.find(':') != std::string::npos) return false;
    std::string::size_type start = 0;
    while (start <= name.size()) {
        std::string::size_type end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        std::string component = name.substr(start, end - start);
        if (component == ".." || IsDeviceName(component)) return false;
        start = end + 1;
    }
    return true;
}
