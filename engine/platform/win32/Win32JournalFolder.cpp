// Journals on Windows: every append is flushed with FlushFileBuffers; the
// program's folder is <CommonAppData>\Dravlek\Update\, for administrators
// only, and only journals that administrators wrote are listed.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/JournalFolder.h"
#include "engine/platform/win32/UniqueHandle.h"
#include "engine/platform/win32/Win32AdminOnlyFolder.h"
#include "engine/platform/win32/Win32WidePath.h"

namespace {

class Win32JournalFile : public JournalFile {
public:
    explicit Win32JournalFile(UniqueFileHandle handle) : handle_(std::move(handle)) {}

    bool Append(const std::string& bytes) override {
        const char* data = bytes.data();
        std::size_t size = bytes.size();
        while (size > 0) {
            DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(handle_.Get(), data, chunk, &written, nullptr) || written == 0) return false;
            data += written;
            size -= written;
        }
        return FlushFileBuffers(handle_.Get()) != 0;
    }

private:
    UniqueFileHandle handle_;
};

class Win32JournalFolder : public JournalFolder {
public:
    explicit Win32JournalFolder(std::string directory) : directory_(std::move(directory)) {}

    std::vector<std::string> List() override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        UniqueFindHandle find(FindFirstFileA(Path("*.journal").c_str(), &found));
        if (!find) return names;
        do {
            // A journal that a user without administrator rights put here
            // is not one of ours: recovering it would let that user have
            // files renamed and deleted with the updater's rights.
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                IsOwnedByAdministrators(WidePath(Path(found.cFileName)))) {
                names.push_back(found.cFileName);
            }
        } while (FindNextFileA(find.Get(), &found));
        std::sort(names.begin(), names.end());
        return names;
    }

    std::unique_ptr<JournalFile> Create(std::string& name) override {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        char stamp[64];
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            std::snprintf(stamp, sizeof stamp, "%08lx%08lx-%lu-%u.journal", static_cast<unsigned long>(now.dwHighDateTime),
                          static_cast<unsigned long>(now.dwLowDateTime), static_cast<unsigned long>(GetCurrentProcessId()),
                          attempt);
            name = stamp;
            UniqueFileHandle handle(CreateFileA(Path(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
            if (!handle && GetLastError() == ERROR_FILE_EXISTS) continue;
            if (!handle) return nullptr;
            return std::make_unique<Win32JournalFile>(std::move(handle));
        }
        return nullptr;
    }

    std::unique_ptr<JournalFile> OpenForAppend(const std::string& name, std::uint64_t keep) override {
        UniqueFileHandle handle(CreateFileA(Path(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!handle) return nullptr;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(keep);
        if (!SetFilePointerEx(handle.Get(), position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle.Get())) {
            return nullptr;
        }
        return std::make_unique<Win32JournalFile>(std::move(handle));
    }

    bool Read(const std::string& name, std::string& bytes) override {
        UniqueFileHandle handle(CreateFileA(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle) return false;
        bytes.clear();
        char buffer[65536];
        DWORD got = 0;
        bool ok;
        while ((ok = ReadFile(handle.Get(), buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) {
            bytes.append(buffer, got);
        }
        return ok;
    }

    bool Remove(const std::string& name) override {
        if (DeleteFileA(Path(name).c_str())) return true;
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }

    bool SetAside(const std::string& name) override {
        const std::string aside = name + ".untrusted-" + std::to_string(GetCurrentProcessId());
        if (!MoveFileExA(Path(name).c_str(), Path(aside).c_str(), MOVEFILE_WRITE_THROUGH)) return false;
        Note("Journal mis de c\364t\351, non suivi : " + Path(name) + " -> " + aside);
        return true;
    }

private:
    std::string Path(const std::string& name) const { return directory_ + "\\" + name; }

    std::string directory_;
};

}  // namespace

std::unique_ptr<JournalFolder> OpenJournalFolder(const std::string& directory) {
    return std::make_unique<Win32JournalFolder>(directory);
}

namespace {

// Creates the folder when missing and keeps it for administrators only. Any
// user may create folders below ProgramData: one made in advance by such a
// user is taken back (owner and DACL), or, when that is refused, not used.
bool MakeAdminOnlyFolder(const std::string& directory) {
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    return MakeAdminOnly(WidePath(directory));
}

}  // namespace

std::unique_ptr<JournalFolder> OpenSystemJournalFolder(std::vector<std::string>&) {
    char base[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base) != S_OK) return nullptr;
    // The parent too: its owner could otherwise swap the Update folder.
    std::string directory = std::string(base) + "\\Dravlek";
    if (!MakeAdminOnlyFolder(directory)) return nullptr;
    directory += "\\Update";
    if (!MakeAdminOnlyFolder(directory)) return nullptr;
    return OpenJournalFolder(directory);
}
