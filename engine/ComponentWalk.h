// The walk both link checks make (engine/platform/{posix,win32}/*TargetFileSystem.cpp):
// every component of a target path below the install root, from the top
// down, each looked at by the platform's own call.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

// One component as the walk meets it.
struct PathComponent {
    std::string upTo;    // the path up to this component, itself included
    std::string folder;  // the path of the folder holding it, its separator included
    bool last = false;   // the path's last component: the file itself
};

// Whether every component of targetPath after rootPath (the root and its
// separator) passes look; false when targetPath does not start with
// rootPath. separators lists the characters that end a component. Empty
// and "." components name nothing new and are passed over. look returns
// nothing to go on, or the walk's answer.
template <typename Look>
bool EveryComponentBelowRoot(const std::string& rootPath, const std::string& targetPath, const char* separators,
                             Look look) {
    if (targetPath.compare(0, rootPath.size(), rootPath) != 0) return false;
    std::size_t start = rootPath.size();
    while (start < targetPath.size()) {
        const std::size_t begin = start;
        std::size_t end = targetPath.find_first_of(separators, begin);
        const bool last = end == std::string::npos;
        if (last) end = targetPath.size();
        start = end + 1;
        if (end == begin || (end == begin + 1 && targetPath[begin] == '.')) continue;
        const PathComponent component{targetPath.substr(0, end), targetPath.substr(0, begin), last};
        if (const std::optional<bool> answer = look(component)) return *answer;
    }
    return true;
}
