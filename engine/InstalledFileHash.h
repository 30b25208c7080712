// The Test stage's reading of an installed target that a patch needs as its
// base: its size and SHA-256, read through a view slice by slice.
#pragma once

#include <optional>
#include <string>

#include "engine/PatchChoice.h"
#include "engine/TargetFileSystem.h"

// Nothing when the file is absent, is a link, or cannot be read or hashed:
// then no patch can be applied to it.
[[nodiscard]] std::optional<InstalledFile> HashInstalledFile(TargetFileSystem& files, const std::string& path);
