// The interrupted extracts that touched a folder: those into the folder
// itself, into a folder above it (they wrote below it) and into a folder
// inside it (an extract into the folder would write over what they would put
// back). dvk extract recovers all of them before it changes a file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/dvk/FolderNesting.h"

struct PendingExtract {
    std::filesystem::path journals;  // its journal folder
    std::string root;                // the folder it wrote to, as its journal names it
    std::string rootText;            // the same as FolderText
    FolderNesting nesting;           // how that folder lies to the folder being extracted into
};

// Every journal folder of the state folder with a journal whose root overlaps
// folderText, outermost root first (a parent's before the folder's own, the
// folder's own before a child's). A journal in the folder's own journal folder
// that names another root (an older dvk wrote the folder as typed, relative)
// cannot be obeyed from here: it is set aside and its path added to setAside.
// Journals elsewhere that do not name the folder their journal folder is
// keyed by are no extract's into this folder and are left alone.
std::vector<PendingExtract> FindPendingExtracts(const std::filesystem::path& state, const std::string& folderText,
                                                bool foldCase, std::vector<std::string>& setAside);
