// Folder trees for the dvk tests: made from a map, read back into one.
#pragma once

#include <map>
#include <string>
#include <vector>

// Relative path ('/' separated, UTF-8) -> file contents.
using FileTree = std::map<std::string, std::string>;

// Writes every file below root, making the folders it needs.
void WriteTree(const std::string& root, const FileTree& tree);
// Makes, below root, every folder that the files of tree lie in (as an
// installed product already has them).
void MakeFolders(const std::string& root, const FileTree& tree);
// Every regular file below root.
FileTree ReadTree(const std::string& root);
// The names directly in a folder, sorted.
std::vector<std::string> ListNames(const std::string& folder);

// A tree with what authors ship: accented and typographic names, an empty
// file, nested folders and a 5 MiB file.
FileTree SampleTree();
