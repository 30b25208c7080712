// Where dvk extract keeps its state: below the user's state folder, a folder
// of its own per target folder for the journals, so that the target folder
// holds nothing but its files and two folders never share one, and the lock
// file of every extract (see FolderLock).
//   Linux:   $XDG_STATE_HOME/dvk/extract/ ($HOME/.local/state when unset)
//   Windows: %LOCALAPPDATA%\dvk\extract\ (dvk.exe)
// A target folder's journals lie in <key>/, <key> 16 hex digits of a hash of
// its FolderText: its absolute path with every link resolved.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// A hash of a FolderText, and the same as 16 hex digits.
std::uint64_t FolderHash(const std::string& folderText);
std::string FolderKey(const std::string& folderText);

// The state folder of dvk extract, made when missing; false (with the reason
// in error) when it cannot be found or made.
[[nodiscard]] bool ExtractStateFolder(std::filesystem::path& state, std::string& error);

// The journal folder for extracts into the folder, made when missing.
[[nodiscard]] bool ExtractJournalFolder(const std::filesystem::path& state, const std::string& folderText,
                                        std::filesystem::path& journals, std::string& error);
