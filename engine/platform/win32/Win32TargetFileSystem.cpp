// Target files on Windows. Target names are ANSI bytes; they reach the system
// through the wide API in the "\\?\" form, so that a path longer than
// MAX_PATH is written like any other.
#include <windows.h>

#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "engine/ComponentWalk.h"
#include "engine/InstallRootPath.h"
#include "engine/TargetFileSystem.h"
#include "engine/platform/win32/Win32FileSecurity.h"
#include "engine/platform/win32/Win32WidePath.h"
#include "engine/platform/win32/Win32WriteAll.h"
#include "package/WindowsFileKey.h"
#include "win32/Handles.h"

namespace {

// A file that another program holds open (an antivirus scan, the product
// itself closing down) is usually released within a moment, so a replace
// that meets one is tried again for about a second before it counts as failed.
constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceRetryDelayMs = 100;
constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

bool IsTransientError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

void PauseBeforeNextAttempt() {
    Sleep(kReplaceRetryDelayMs);
}

template <typename Operation>
bool RetryWhileInUse(Operation operation, const std::function<void()>& pause) {
    for (int attempt = 1;; ++attempt) {
        if (operation()) return true;
        if (attempt == kReplaceAttempts || !IsTransientError(GetLastError())) return false;
        pause();
    }
}

class Win32OutputFile : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}

    bool Write(const void* data, std::size_t size) override { return WriteAll(handle_.Get(), data, size); }

    bool Sync() override { return handle_.IsValid() && FlushFileBuffers(handle_.Get()) != 0; }

    bool Close() override { return handle_.IsValid() && handle_.Reset(); }

private:
    UniqueFileHandle handle_;
};

// One attempt at putting replacement in place of target. Preferred: keep the
// old contents under the backup name as a second link, then rename the new
// file over the target in one step, so that the target is never missing, even
// if the process is killed in between. On a volume without hard links (FAT),
// ReplaceFile does it in two steps: target to backup, then the new file in.
bool ReplaceOnce(const std::wstring& replacement, const std::wstring& target, const std::wstring& backup) {
    // A program that holds the target open without delete sharing blocks the
    // rename, and the removal of a second link too: find out before making one.
    UniqueFileHandle probe(CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe) return false;
    probe.Reset();

    if (CreateHardLinkW(backup.c_str(), target.c_str(), nullptr)) {
        if (MoveFileExW(replacement.c_str(), target.c_str(), kMoveFlags)) return true;
        DWORD error = GetLastError();
        DeleteFileW(backup.c_str());
        SetLastError(error);
        return false;
    }
    DWORD linkError = GetLastError();
    if (linkError != ERROR_INVALID_FUNCTION && linkError != ERROR_NOT_SUPPORTED) return false;

    if (ReplaceFileW(target.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr, nullptr)) return true;
    DWORD error = GetLastError();
    // The old file already went to the backup name but the new one could not
    // take its place: put the old one back.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(backup.c_str(), target.c_str(), kMoveFlags);
    SetLastError(error);
    return false;
}

// Where the system puts an existing file or folder once every link is
// followed ("\\?\C:\..."), without a trailing backslash; "" when it cannot say.
// Wine cannot name a path longer than MAX_PATH there (ERROR_MORE_DATA, and
// no size): tooLong then tells so.
std::wstring FinalPath(const std::string& path, bool& tooLong) {
    tooLong = false;
    UniqueFileHandle handle(CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle) return std::wstring();
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle.Get(), &final[0], static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleW(handle.Get(), &final[0], static_cast<DWORD>(final.size()), 0);
    }
    tooLong = length == 0 && GetLastError() == ERROR_MORE_DATA;
    if (length == 0 || length >= final.size()) return std::wstring();
    final.resize(length);
    if (final.back() == L'\\') final.pop_back();
    return final;
}

// Whether the existing file at path lies, links followed, in folder. Under
// Wine a Unix symbolic link to a file looks like a plain file, but the
// system still resolves it to where it points.
bool ResolvesInto(const std::string& path, const std::string& folder) {
    bool tooLong = false;
    const std::wstring file = FinalPath(path, tooLong);
    // Only Wine fails so, and only its Unix links escape the attribute check
    // that comes before this; a Windows link never does.
    if (file.empty() && tooLong) return true;
    const std::wstring parent = FinalPath(folder, tooLong);
    if (parent.empty() && tooLong) return true;
    const std::size_t separator = file.rfind(L'\\');
    return !parent.empty() && separator != std::wstring::npos && file.compare(0, separator, parent) == 0 &&
           separator == parent.size();
}

// Open handles on folders, without delete sharing: while they are open no
// other program can rename or delete those folders (or the folders above
// them), so none can be swapped for a link.
class Win32FolderHold : public FolderHold {
public:
    void Hold(const std::string& folder) {
        if (!held_.insert(folder).second) return;
        UniqueFileHandle handle(CreateFileW(WidePath(folder).c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        // A folder that is not there holds nothing; the step's own check
        // refuses what lies below it.
        if (handle) handles_.push_back(std::move(handle));
    }

private:
    std::set<std::string> held_;
    std::vector<UniqueFileHandle> handles_;
};

class Win32TargetFileSystem : public TargetFileSystem {
public:
    explicit Win32TargetFileSystem(std::function<void()> pauseWhileInUse) : pauseWhileInUse_(std::move(pauseWhileInUse)) {}

    std::unique_ptr<FolderHold> HoldFolders(const std::string& root, const std::vector<std::string>& paths) override {
        auto hold = std::make_unique<Win32FolderHold>();
        const std::string rootPath = TargetPath(root, "");
        for (const std::string& path : paths) {
            if (path.compare(0, rootPath.size(), rootPath) != 0) continue;
            // Every folder from the root's first one down to the file's own.
            for (std::size_t end = path.find_first_of("\\/", rootPath.size()); end != std::string::npos;
                 end = path.find_first_of("\\/", end + 1)) {
                hold->Hold(path.substr(0, end));
            }
        }
        return hold;
    }

    std::string TargetPath(const std::string& root, const std::string& targetName) const override {
        return root + "\\" + targetName;
    }

    // Every folder below the root a real folder, the file no link. A
    // junction, a symbolic link or a mount point carries
    // FILE_ATTRIBUTE_REPARSE_POINT, and GetFileAttributesW reports the link's
    // own attributes without following it (under Wine a Unix symbolic link
    // to a folder shows the same way).
    bool HasNoLinkBelowRoot(const std::string& root, const std::string& targetPath) override {
        return EveryComponentBelowRoot(
            TargetPath(root, ""), targetPath, "\\/", [&](const PathComponent& component) -> std::optional<bool> {
                const DWORD attributes = GetFileAttributesW(WidePath(component.upTo).c_str());
                if (attributes == INVALID_FILE_ATTRIBUTES) {
                    const DWORD error = GetLastError();
                    return component.last && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
                }
                if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                    (!component.last && !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
                    return false;
                }
                if (component.last) return ResolvesInto(targetPath, component.folder);
                return std::nullopt;
            });
    }

    bool IsRealFolder(const std::string& root) override {
        if (!IsUsableInstallRoot(root)) return false;
        const DWORD attributes = GetFileAttributesW(WidePath(root).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
               !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }

    bool CanOpenForReading(const std::string& path) override {
        UniqueFileHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file.IsValid();
    }

    bool Exists(const std::string& path) override {
        return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::unique_ptr<OutputFile> CreateNew(const std::string& path) override {
        HANDLE handle = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32OutputFile>(handle);
    }

    bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                              const std::string& backup) override {
        std::wstring replacementW = WidePath(replacement);
        std::wstring targetW = WidePath(target);
        std::wstring backupW = WidePath(backup);
        DWORD attributes = GetFileAttributesW(targetW.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        // A read-only target was not meant to be changed: the update stops.
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        // The new file takes over the old one's hidden and system marks.
        DWORD carried = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (carried != 0) SetFileAttributesW(replacementW.c_str(), carried);
        // And its permissions: a file the old one's DACL kept from some users
        // must not become readable or writable to them by being updated.
        if (!CopyOwnerAndDacl(targetW, replacementW)) return false;
        return RetryWhileInUse([&] { return ReplaceOnce(replacementW, targetW, backupW); }, pauseWhileInUse_);
    }

    bool MoveReplacing(const std::string& from, const std::string& to) override {
        std::wstring fromW = WidePath(from);
        std::wstring toW = WidePath(to);
        return RetryWhileInUse([&] { return MoveFileExW(fromW.c_str(), toW.c_str(), kMoveFlags) != 0; }, pauseWhileInUse_);
    }

    bool Remove(const std::string& path) override {
        std::wstring pathW = WidePath(path);
        if (DeleteFileW(pathW.c_str())) return true;
        DWORD error = GetLastError();
        // A name too long for the system, or invalid, cannot be there either.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILENAME_EXCED_RANGE ||
            error == ERROR_INVALID_NAME) {
            return true;
        }
        // A backup of a read-only file is read-only too. Should the delete
        // fail even so (the file held open), it keeps the marks it had.
        const DWORD attributes = GetFileAttributesW(pathW.c_str());
        if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
            (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
            !SetFileAttributesW(pathW.c_str(), FILE_ATTRIBUTE_NORMAL)) {
            return false;
        }
        if (DeleteFileW(pathW.c_str())) return true;
        error = GetLastError();
        SetFileAttributesW(pathW.c_str(), attributes);
        SetLastError(error);
        return false;
    }

    std::string NameKey(const std::string& path) const override { return WindowsFileKey(path); }

    std::optional<FileIdentity> IdentityOf(const std::string& path) override {
        UniqueFileHandle file(CreateFileW(WidePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        BY_HANDLE_FILE_INFORMATION info;
        if (!file || !GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
        const std::uint64_t number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        // Some network servers number no file (0 for all): nothing to compare.
        if (number == 0) return std::nullopt;
        return FileIdentity{info.dwVolumeSerialNumber, number};
    }

    // MOVEFILE_WRITE_THROUGH already waits for the renames to reach the disk.
    bool SyncFolderOf(const std::string&) override { return true; }

private:
    std::function<void()> pauseWhileInUse_;
};

}  // namespace

std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem() {
    return std::make_unique<Win32TargetFileSystem>(PauseBeforeNextAttempt);
}

std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem(std::function<void()> pauseWhileInUse) {
    return std::make_unique<Win32TargetFileSystem>(std::move(pauseWhileInUse));
}
