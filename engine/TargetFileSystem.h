// The file operations the engine needs below the install root, one
// implementation per platform. Paths are byte strings in the ANSI code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/MappedFile.h"

// A new file being written; closing flushes it.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    [[nodiscard]] virtual bool Write(const void* data, std::size_t size) = 0;
    // Puts what was written on the disk itself (fsync, FlushFileBuffers), so
    // that a power cut after this cannot leave the file empty or garbled.
    [[nodiscard]] virtual bool Sync() = 0;
    // Flushes and closes; false when anything written was not stored.
    [[nodiscard]] virtual bool Close() = 0;
};

// Keeps folders where they are while it lives (see HoldFolders).
class FolderHold {
public:
    virtual ~FolderHold() = default;
};

// Which file a name leads to, the same for all of its names (hard links,
// Windows' short 8.3 names, any case): its volume and its number there.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && file == other.file; }
    bool operator<(const FileIdentity& other) const {
        return volume != other.volume ? volume < other.volume : file < other.file;
    }
};

class TargetFileSystem {
public:
    virtual ~TargetFileSystem() = default;

    // The path of a target: the install root, one separator, the target name.
    virtual std::string TargetPath(const std::string& root, const std::string& targetName) const = 0;
    // Whether writing targetPath (made by TargetPath from root) stays below
    // root: every folder between root and the file is a real folder, and the
    // file, if there, is no link either (no symbolic link, junction or mount
    // point). The root itself may be reached through links.
    [[nodiscard]] virtual bool HasNoLinkBelowRoot(const std::string& root, const std::string& targetPath) = 0;
    // Holds every folder between root and each of paths (root itself not
    // included) so that none can be renamed, deleted or swapped for a link
    // until the hold goes. Windows: an open handle without delete sharing on
    // each folder; a folder with a handle open below it cannot be renamed
    // either. Null where the platform has no such hold: the check before each
    // step (HasNoLinkBelowRoot) then stands alone.
    virtual std::unique_ptr<FolderHold> HoldFolders(const std::string& root, const std::vector<std::string>& paths) {
        (void)root;
        (void)paths;
        return nullptr;
    }
    // Whether root is an absolute local folder (the platform's rule for an
    // install root) that exists and is itself no link: what a journal's root
    // must be before recovery acts below it.
    virtual bool IsRealFolder(const std::string& root) = 0;
    // Whether the file can be opened for reading (the required-file test).
    virtual bool CanOpenForReading(const std::string& path) = 0;
    virtual bool Exists(const std::string& path) = 0;
    // A read-only view of the file (MapFileForReading: no link at path
    // followed; on Windows nobody may write the file while the view lives);
    // null when there is none.
    virtual std::unique_ptr<MappedFile> MapForReading(const std::string& path) { return MapFileForReading(path); }
    // Creates a file that must not exist yet; null when it cannot be created.
    [[nodiscard]] virtual std::unique_ptr<OutputFile> CreateNew(const std::string& path) = 0;
    // Puts replacement in place of target, keeping target's old contents under
    // backup. target must exist; when this fails, target is as it was.
    [[nodiscard]] virtual bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                                                    const std::string& backup) = 0;
    // Moves a file to a name that may or may not be taken (the name is replaced).
    [[nodiscard]] virtual bool MoveReplacing(const std::string& from, const std::string& to) = 0;
    // Deletes a file; true when it is gone afterwards (also if it never was).
    [[nodiscard]] virtual bool Remove(const std::string& path) = 0;
    // The key under which two paths name the same file: the path without
    // "." and empty components where names differ by case, WindowsFileKey
    // on Windows (case, trailing dots and spaces), so that staging names
    // never meet a target under another spelling.
    virtual std::string NameKey(const std::string& path) const = 0;
    // The identity of the file at path itself (a link there is not
    // followed); nothing when there is none or the system cannot tell (a
    // volume that numbers no files), so names the key cannot tell apart
    // (short names) are told apart by what they open.
    virtual std::optional<FileIdentity> IdentityOf(const std::string& path) = 0;
    // Puts the directory entries of the folder holding path on disk (renames
    // and new names in it); true where the system does that by itself.
    [[nodiscard]] virtual bool SyncFolderOf(const std::string& path) = 0;
};

// The platform's own: Win32 calls on Windows, POSIX calls elsewhere (where
// the target name's backslashes become '/').
std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem();
// The same, calling pauseWhileInUse instead of waiting a tenth of a second
// between two attempts at a file that another program holds (Windows only:
// elsewhere nothing is tried twice). Tests let the file go there.
std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem(std::function<void()> pauseWhileInUse);
