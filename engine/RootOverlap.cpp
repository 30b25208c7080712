#include "engine/RootOverlap.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && IsSeparator(path.back())) path.pop_back();
    return path;
}

}  // namespace

bool RootsOverlap(const std::string& a, const std::string& b) {
    const std::string x = WithoutTrailingSeparators(a);
    const std::string y = WithoutTrailingSeparators(b);
    const std::string& shorter = x.size() <= y.size() ? x : y;
    const std::string& longer = x.size() <= y.size() ? y : x;
    if (longer.compare(0, shorter.size(), shorter) != 0) return false;
    return longer.size() == shorter.size() || IsSeparator(longer[shorter.size()]);
}
