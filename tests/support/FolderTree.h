// A folder's contents as one value, for the Wine tests: read, compared with
// EXPECT_EQ (printed readably when they differ), and laid out afresh.
#pragma once

#include <map>
#include <ostream>
#include <string>

// Relative path ('\' separated, code page 1252 names) -> file bytes; a
// folder is "name\" -> "<dir>".
struct FolderTree : std::map<std::string, std::string> {
    using std::map<std::string, std::string>::map;
};

// GoogleTest's printer for failure messages: each entry with its size and
// the start of its bytes, non-ASCII bytes escaped.
void PrintTo(const FolderTree& tree, std::ostream* out);

// Code page 1252 text in quotes, bytes outside printable ASCII as \xNN.
std::string Printable(const std::string& text);

// Every file and folder below dir ("<unreadable>" for a file held without
// read sharing).
FolderTree ListTree(const std::string& dir);
// Deletes a file, or a folder and all it holds; true when it is gone.
bool RemoveTree(const std::string& path);
// Makes dir afresh, holding exactly tree; false when any part failed.
[[nodiscard]] bool ResetTree(const std::string& dir, const FolderTree& tree);
