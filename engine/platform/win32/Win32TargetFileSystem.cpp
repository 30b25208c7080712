// Target files on Windows, through the ANSI API: target names are ANSI bytes.
#include <windows.h>

#include <cstdio>

#include "engine/TargetFileSystem.h"
#include "engine/platform/win32/UniqueHandle.h"

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

template <typename Operation>
bool RetryWhileInUse(Operation operation) {
    for (int attempt = 1;; ++attempt) {
        if (operation()) return true;
        if (attempt == kReplaceAttempts || !IsTransientError(GetLastError())) return false;
        Sleep(kReplaceRetryDelayMs);
    }
}

class Win32OutputFile : public OutputFile {
public:
    explicit Win32OutputFile(HANDLE handle) : handle_(handle) {}

    bool Write(const void* data, std::size_t size) override {
        const char* bytes = static_cast<const char*>(data);
        while (size > 0) {
            DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(handle_.Get(), bytes, chunk, &written, nullptr) || written == 0) return false;
            bytes += written;
            size -= written;
        }
        return true;
    }

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
bool ReplaceOnce(const std::string& replacement, const std::string& target, const std::string& backup) {
    // A program that holds the target open without delete sharing blocks the
    // rename, and the removal of a second link too: find out before making one.
    HANDLE probe = CreateFileA(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);

    if (CreateHardLinkA(backup.c_str(), target.c_str(), nullptr)) {
        if (MoveFileExA(replacement.c_str(), target.c_str(), kMoveFlags)) return true;
        DWORD error = GetLastError();
        DeleteFileA(backup.c_str());
        SetLastError(error);
        return false;
    }
    DWORD linkError = GetLastError();
    if (linkError != ERROR_INVALID_FUNCTION && linkError != ERROR_NOT_SUPPORTED) return false;

    if (ReplaceFileA(target.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr, nullptr)) return true;
    DWORD error = GetLastError();
    // The old file already went to the backup name but the new one could not
    // take its place: put the old one back.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExA(backup.c_str(), target.c_str(), kMoveFlags);
    SetLastError(error);
    return false;
}

// Where the system puts an existing file or folder once every link is
// followed ("\\?\C:\..."), without a trailing backslash; "" when it cannot say.
std::string FinalPath(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::string();
    std::string final(MAX_PATH, '\0');
    DWORD length = GetFinalPathNameByHandleA(handle, &final[0], static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleA(handle, &final[0], static_cast<DWORD>(final.size()), 0);
    }
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) return std::string();
    final.resize(length);
    if (final.back() == '\\') final.pop_back();
    return final;
}

// Whether the existing file at path lies, links followed, in folder. Under
// Wine a Unix symbolic link to a file looks like a plain file, but the
// system still resolves it to where it points.
bool ResolvesInto(const std::string& path, const std::string& folder) {
    const std::string file = FinalPath(path);
    const std::string parent = FinalPath(folder);
    const std::size_t separator = file.rfind('\\');
    return !parent.empty() && separator != std::string::npos && file.compare(0, separator, parent) == 0 &&
           separator == parent.size();
}

// Whether every folder of path after its first skip bytes is a real folder
// and its last component, if there, no link. A junction, a symbolic link or
// a mount point carries FILE_ATTRIBUTE_REPARSE_POINT, and GetFileAttributesA
// reports the link's own attributes without following it (under Wine a Unix
// symbolic link to a folder shows the same way).
bool NoReparsePointAfter(const std::string& path, std::size_t skip) {
    std::size_t end = skip;
    while (end < path.size()) {
        std::size_t next = path.find_first_of("\\/", end);
        const bool last = next == std::string::npos;
        if (last) next = path.size();
        const std::string component = path.substr(end, next - end);
        end = next + 1;
        if (component.empty() || component == ".") continue;
        DWORD attributes = GetFileAttributesA(path.substr(0, next).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            DWORD error = GetLastError();
            return last && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
        }
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || (!last && !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
            return false;
        }
        if (last) return ResolvesInto(path, path.substr(0, next - component.size()));
    }
    return true;
}

class Win32TargetFileSystem : public TargetFileSystem {
public:
    std::string TargetPath(const std::string& root, const std::string& targetName) const override {
        return root + "\\" + targetName;
    }

    bool HasNoLinkBelowRoot(const std::string& root, const std::string& targetPath) override {
        const std::string rootPath = TargetPath(root, "");  // the root and its separator
        if (targetPath.compare(0, rootPath.size(), rootPath) != 0) return false;
        return NoReparsePointAfter(targetPath, rootPath.size());
    }

    bool CanOpenForReading(const std::string& path) override {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return false;
        std::fclose(file);
        return true;
    }

    bool Exists(const std::string& path) override {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::unique_ptr<OutputFile> CreateNew(const std::string& path) override {
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32OutputFile>(handle);
    }

    bool ReplaceKeepingBackup(const std::string& replacement, const std::string& target,
                              const std::string& backup) override {
        DWORD attributes = GetFileAttributesA(target.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
        // A read-only target was not meant to be changed: the update stops.
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        // The new file takes over the old one's hidden and system marks.
        DWORD carried = attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (carried != 0) SetFileAttributesA(replacement.c_str(), carried);
        return RetryWhileInUse([&] { return ReplaceOnce(replacement, target, backup); });
    }

    bool MoveReplacing(const std::string& from, const std::string& to) override {
        return RetryWhileInUse([&] {
            return MoveFileExA(from.c_str(), to.c_str(), kMoveFlags) != 0;
        });
    }

    bool Remove(const std::string& path) override {
        if (DeleteFileA(path.c_str())) return true;
        DWORD error = GetLastError();
        // A name too long for the system, or invalid, cannot be there either.
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_FILENAME_EXCED_RANGE ||
            error == ERROR_INVALID_NAME) {
            return true;
        }
        // A backup of a read-only file is read-only too.
        if (error == ERROR_ACCESS_DENIED && SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
            return DeleteFileA(path.c_str()) != 0;
        }
        return false;
    }

    // Windows compares names without case; "x\.\y" and "x/y" name "x\y" too.
    std::string NameKey(const std::string& path) const override {
        std::string key;
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find_first_of("\\/", start);
            if (end == std::string::npos) end = path.size();
            std::string part = path.substr(start, end - start);
            if (part != ".") {
                if (!key.empty() || start > 0) key += '\\';
                key += part;
            }
            start = end + 1;
        }
        if (!key.empty()) CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
        return key;
    }

    // MOVEFILE_WRITE_THROUGH already waits for the renames to reach the disk.
    bool SyncFolderOf(const std::string&) override { return true; }
};

}  // namespace

std::unique_ptr<TargetFileSystem> CreateSystemTargetFileSystem() {
    return std::make_unique<Win32TargetFileSystem>();
}
