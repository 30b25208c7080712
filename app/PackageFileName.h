// Which names in the updater's folder are offered as packages.
#pragma once

#include <string>

// The wildcards the folder is searched with, one search each.
extern const char* const kPackagePatterns[2];

// Whether a long file name ends in ".dvk" or ".dvx", in any case, and in
// nothing more. FindFirstFileA's "*.dvk" also matches through a file's 8.3
// short name ("x.dvkz" is "X~1.DVK"), so every name it returns is asked
// again here.
bool IsPackageFileName(const std::string& fileName);
