// Whether two folders, named as Windows names them, are one folder or one
// holds the other: the test that binds a publisher's key to its folder.
#pragma once

#include <string>

// The form under which Windows takes two spellings of a path (UTF-8) for the
// same one: the "\\?\", "\??\" and "\\.\" prefixes of final and device paths
// dropped ("\\?\UNC\server\share" is "\\server\share"), '/' read as '\',
// empty and "." names dropped, ".." taking the name before it away (never the
// drive or the share), trailing dots and spaces of every name dropped, and
// the letters of code page 1252 in capitals.
std::string FolderCompareKey(const std::string& path);

// True when a and b name the same folder, or one is inside the other. A path
// that names nothing at all ("", "\\?\") overlaps everything.
bool FoldersOverlap(const std::string& a, const std::string& b);
