// The one rule by which two names of a cp1252 path open the same file on
// Windows: dvk pack refuses two targets with one key, and the engine keeps
// its staging names off every key a target has.
#pragma once

#include <string>

// The letters of a cp1252 text in the one case Windows compares file names
// in (A-Z, À-Þ but ×, Š Œ Ž Ÿ to lower case), and '/' as '\'.
std::string FoldWindowsCase(const std::string& cp1252);

// The key of a cp1252 path (a target name, or a whole path below an install
// root): case folded; per component the trailing dots and spaces dropped;
// "." and empty components (doubled separators) left out; one leading
// separator, or two (a network path), kept. "A.txt.", ".\a.txt " and
// "sub\\a" have the keys of "a.txt" and "sub\a". Windows drops the same
// characters when it makes a name absolute, and compares the rest without case.
std::string WindowsFileKey(const std::string& path);
