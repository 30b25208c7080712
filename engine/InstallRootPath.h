// Which "Path" values may name an install root.
#pragma once

#include <string>

// True for an absolute Windows folder: a drive letter, a colon and a
// backslash ("C:\...", the drive's root included), or a network share
// ("\\server\share..."). Everything else would make the targets depend on the
// current folder or drive ("Prog", "\", "C:", "C:Prog"), name a device
// ("\\.\", "\\?\") or be no path at all ("%SystemDrive%\x" left unexpanded).
bool IsUsableInstallRoot(const std::string& path);
