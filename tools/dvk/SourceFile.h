// The files dvk pack reads: whether a name is a link (a symlink, or any
// reparse point on Windows), and opening one without following a link, so
// that a link put in place of a checked file is not read either.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>

struct SourceFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueSourceFile = std::unique_ptr<std::FILE, SourceFileCloser>;

// Whether the name itself is a link (a link to a file, a folder, or nowhere).
bool IsLink(const std::filesystem::path& path);

// The file opened for reading; with followLinks false, null when the name is
// a link (or cannot be opened).
UniqueSourceFile OpenSourceFile(const std::filesystem::path& path, bool followLinks);
