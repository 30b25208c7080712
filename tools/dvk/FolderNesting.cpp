#include "tools/dvk/FolderNesting.h"

#include "tools/dvk/TargetGlob.h"

namespace {

// Where the part of a FolderText that no folder above it holds begins: after
// "/" or "C:/"; 0 for a text with no root.
std::string::size_type RootLength(const std::string& text) {
    if (!text.empty() && text[0] == '/') return 1;
    const std::string::size_type slash = text.find('/');
    if (slash != std::string::npos && slash > 0 && text[slash - 1] == ':') return slash + 1;
    return 0;
}

}  // namespace

std::string FolderText(const std::string& absolutePath, bool foldCase) {
    std::string path = foldCase ? TargetGlob::Fold(absolutePath) : absolutePath;
    std::string text;
    for (char c : path) {
        if (c == '\\') c = '/';
        // A network path keeps the two separators it starts with.
        if (c == '/' && !text.empty() && text.back() == '/' && text.size() > 1) continue;
        text += c;
    }
    while (text.size() > RootLength(text) && text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

bool IsAbsoluteFolderText(const std::string& folderText) {
    return RootLength(folderText) > 0;
}

std::vector<std::string> FolderAndAncestors(const std::string& folderText) {
    std::vector<std::string> folders;
    const std::string::size_type root = RootLength(folderText);
    if (root > 0) folders.push_back(folderText.substr(0, root));
    for (std::string::size_type at = folderText.find('/', root); at != std::string::npos;
         at = folderText.find('/', at + 1)) {
        if (at > root) folders.push_back(folderText.substr(0, at));
    }
    if (folders.empty() || folders.back() != folderText) folders.push_back(folderText);
    return folders;
}

FolderNesting CompareFolders(const std::string& a, const std::string& b) {
    if (a == b) return FolderNesting::kSame;
    // The shorter one holds the longer one when it is its start up to a separator.
    auto holds = [](const std::string& outer, const std::string& inner) {
        return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
               (outer.back() == '/' || inner[outer.size()] == '/');
    };
    if (holds(a, b)) return FolderNesting::kAbove;
    if (holds(b, a)) return FolderNesting::kInside;
    return FolderNesting::kApart;
}
