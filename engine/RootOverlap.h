// Whether two install roots share files: the same folder, or one inside the
// other.
#pragma once

#include <string>

// a and b are folder paths as the file system's name rule keys them
// (TargetFileSystem::NameKey: without case on Windows). Separators are '\'
// or '/'; trailing ones do not count.
bool RootsOverlap(const std::string& a, const std::string& b);
