// The files dvk pack reads: whether a name is a link (a symlink, or any
// reparse point on Windows), and opening one without following a link, so
// that a link put in place of a checked file is not read either.
#pragma once

#include <filesystem>

#include "package/UniqueStdioFile.h"

// Whether the name itself is a link (a link to a file, a folder, or nowhere).
bool IsLink(const std::filesystem::path& path);

// The file opened for reading; with followLinks false, null when the name is
// a link (or cannot be opened).
UniqueStdioFile OpenSourceFile(const std::filesystem::path& path, bool followLinks);
