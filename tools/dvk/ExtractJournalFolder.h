// Where dvk extract keeps the journal of an extract into a folder: a folder
// of its own per target folder, below the user's state folder, so that the
// target folder holds nothing but its files and two folders never share one.
//   Linux:   $XDG_STATE_HOME/dvk/extract/<key>/ ($HOME/.local/state when unset)
//   Windows: %LOCALAPPDATA%\dvk\extract\<key>\ (dvk.exe)
// <key> is 16 hex digits of a hash of the folder's absolute, canonical path.
#pragma once

#include <filesystem>
#include <string>

// The key of a folder given by its canonical path.
std::string FolderKey(const std::filesystem::path& canonicalFolder);

// The journal folder for extracts into canonicalFolder, made when missing.
// False (with the reason in error) when it cannot be found or made.
bool ExtractJournalFolder(const std::filesystem::path& canonicalFolder, std::filesystem::path& journals,
                          std::string& error);
