// How two folders given by their absolute paths lie to each other, decided
// on their text alone so that both builds share one rule: dvk extract uses it
// to keep extracts into a folder, its parent and its child apart, and to find
// the interrupted extracts that touched a folder.
#pragma once

#include <string>
#include <vector>

enum class [[nodiscard]] FolderNesting {
    kApart,   // neither holds the other
    kSame,
    kAbove,   // the first holds the second
    kInside,  // the second holds the first
};

// The one text of an absolute folder path that keys and comparisons use: '\'
// made '/', doubled and trailing separators dropped (a root keeps its own:
// "/", "C:/"), and with foldCase (Windows) letters folded as Windows folds
// the ANSI code page 1252 ("C:\Été\" and "c:/éTÉ" give one text).
std::string FolderText(const std::string& absolutePath, bool foldCase);

// Whether a FolderText starts at a root ("/", "C:/", "//server").
bool IsAbsoluteFolderText(const std::string& folderText);

// The folder and every folder above it, outermost first, each as FolderText:
// "/a/b" gives "/", "/a", "/a/b"; "C:/a" gives "C:/", "C:/a".
std::vector<std::string> FolderAndAncestors(const std::string& folderText);

// How folder a lies to folder b, both FolderText; "/a/bc" is not inside "/a/b".
FolderNesting CompareFolders(const std::string& a, const std::string& b);
