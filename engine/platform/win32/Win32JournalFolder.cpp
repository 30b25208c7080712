// Journals on Windows: every append is flushed with FlushFileBuffers. The
// program's folder is <CommonAppData>\Dravlek\Update\: both folders are
// held open (no delete sharing: neither can be renamed or swapped) from the
// check to the end of the folder object, and are used only when they are
// administrators' alone. Every journal is opened without following a link
// and checked on the handle that is then read or written.
#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/platform/win32/Win32WriteAll.h"
#include "engine/JournalFolder.h"
#include "engine/JournalTrust.h"
#include "engine/platform/win32/Win32FileFacts.h"
#include "engine/platform/win32/Win32WidePath.h"
#include "win32/Handles.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// "\\?\C:\x" as the log shows it: "C:\x" ("\\?\UNC\s\x": "\\s\x").
std::string Display(const std::wstring& path) {
    std::wstring shown = path;
    if (shown.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        shown = L"\\" + shown.substr(7);
    } else if (shown.compare(0, 4, L"\\\\?\\") == 0) {
        shown = shown.substr(4);
    }
    int size = WideCharToMultiByte(CP_ACP, 0, shown.data(), static_cast<int>(shown.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size : 0, '\0');
    if (size > 0) WideCharToMultiByte(CP_ACP, 0, shown.data(), static_cast<int>(shown.size()), &narrow[0], size, nullptr, nullptr);
    return narrow;
}

// A journal's name as the interface gives it; false for a name that does
// not come back the same from the ANSI code page (not one the program makes).
bool NarrowName(const std::wstring& wide, std::string& narrow) {
    for (wchar_t c : wide) {
        if (c == 0 || c > 0x7E) return false;  // the program's names are ASCII
    }
    narrow.assign(wide.begin(), wide.end());
    return true;
}

std::wstring WideName(const std::string& name) { return std::wstring(name.begin(), name.end()); }

// Renames what sits at parent\name (parent: a final path, "\\?\...") to a
// new name nobody can guess: the entry itself, a link and not its target.
// Wine opens the target of a link even when asked for the link, and renames
// that: an entry whose handle shows another path is therefore left in place
// (false, ERROR_CANT_RESOLVE_FILENAME).
bool RenameAside(const std::wstring& parent, const std::string& name, std::string& aside, DWORD& error) {
    const std::wstring path = parent + L"\\" + WideName(name);
    UniqueFileHandle entry(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                       nullptr));
    if (!entry) {
        error = GetLastError();
        return false;
    }
    if (!SamePath(FinalPath(entry.Get()), path)) {
        error = ERROR_CANT_RESOLVE_FILENAME;
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        unsigned long long random = 0;
        if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof random,
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
            error = ERROR_GEN_FAILURE;
            return false;
        }
        aside = AsideName(name, random);
        // The new name as an NT path: "\??\C:\...".
        const std::wstring target = L"\\??\\" + parent.substr(4) + L"\\" + WideName(aside);
        std::string buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t), '\0');
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(&buffer[0]);
        rename->ReplaceIfExists = FALSE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
        std::copy(target.begin(), target.end(), rename->FileName);
        if (SetFileInformationByHandle(entry.Get(), FileRenameInfo, rename, static_cast<DWORD>(buffer.size()))) {
            return true;
        }
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

class Win32JournalFile : public JournalFile {
public:
    explicit Win32JournalFile(UniqueFileHandle handle) : handle_(std::move(handle)) {}

    bool Append(const std::string& bytes) override {
        return WriteAll(handle_.Get(), bytes.data(), bytes.size()) && FlushFileBuffers(handle_.Get()) != 0;
    }

private:
    UniqueFileHandle handle_;
};

class Win32JournalFolder : public JournalFolder {
public:
    // held: the folder and the folders above it that must stay as checked;
    // directory: the folder's final path, "" when it cannot be used.
    Win32JournalFolder(std::vector<UniqueFileHandle> held, std::wstring directory, std::vector<std::string> notes)
        : held_(std::move(held)), directory_(std::move(directory)) {
        for (std::string& line : notes) Note(std::move(line));
    }

    std::vector<std::string> List() override {
        std::vector<std::string> names;
        if (directory_.empty()) return names;
        WIN32_FIND_DATAW found;
        UniqueFindHandle find(FindFirstFileW((directory_ + L"\\*.journal").c_str(), &found));
        if (!find) return names;
        do {
            std::string name;
            if (NarrowName(found.cFileName, name) && IsJournalName(name)) {
                names.push_back(name);
            }
        } while (FindNextFileW(find.Get(), &found));
        find.Reset();
        std::sort(names.begin(), names.end());
        // Only the journals that may be obeyed; the others are set aside.
        std::vector<std::string> trusted;
        for (const std::string& name : names) {
            if (OpenChecked(name, FILE_READ_ATTRIBUTES, kShareAll, FILE_FLAG_BACKUP_SEMANTICS)) trusted.push_back(name);
        }
        return trusted;
    }

    std::unique_ptr<JournalFile> Create(std::string& name) override {
        if (directory_.empty()) return nullptr;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        char stamp[64];
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            std::snprintf(stamp, sizeof stamp, "%08lx%08lx-%lu-%u.journal", static_cast<unsigned long>(now.dwHighDateTime),
                          static_cast<unsigned long>(now.dwLowDateTime), static_cast<unsigned long>(GetCurrentProcessId()),
                          attempt);
            name = stamp;
            // A new file in the checked folder: it takes the folder's DACL.
            UniqueFileHandle handle(CreateFileW(Path(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH |
                                                    FILE_FLAG_OPEN_REPARSE_POINT,
                                                nullptr));
            if (!handle && GetLastError() == ERROR_FILE_EXISTS) continue;
            if (!handle) return nullptr;
            return std::make_unique<Win32JournalFile>(std::move(handle));
        }
        return nullptr;
    }

    std::unique_ptr<JournalFile> OpenForAppend(const std::string& name, std::uint64_t keep) override {
        UniqueFileHandle handle = OpenChecked(name, GENERIC_WRITE, FILE_SHARE_READ, FILE_FLAG_WRITE_THROUGH);
        if (!handle) return nullptr;
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(keep);
        if (!SetFilePointerEx(handle.Get(), position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle.Get())) {
            return nullptr;
        }
        return std::make_unique<Win32JournalFile>(std::move(handle));
    }

    bool Read(const std::string& name, std::string& bytes) override {
        UniqueFileHandle handle = OpenChecked(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
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
        if (directory_.empty()) return false;
        // Deleted through a handle on the entry itself, never through a link.
        UniqueFileHandle file(CreateFileW(Path(name).c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) {
            DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        }
        if (!SamePath(FinalPath(file.Get()), Path(name))) return false;
        FILE_DISPOSITION_INFO disposition = {TRUE};
        return SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof disposition) != 0;
    }

    bool SetAside(const std::string& name) override { return MoveAside(name, TrustVerdict::kTrusted); }

private:
    std::wstring Path(const std::string& name) const { return directory_ + L"\\" + WideName(name); }

    bool MoveAside(const std::string& name, TrustVerdict why) {
        if (directory_.empty()) return false;
        std::string aside;
        DWORD error = 0;
        if (!RenameAside(directory_, name, aside, error)) {
            if (why != TrustVerdict::kTrusted) Note(JournalNotSetAsideNote(why, Display(Path(name)), error));
            return false;
        }
        Note(JournalSetAsideNote(why, Display(Path(name)), aside));
        return true;
    }

    // The journal opened without following a link and checked on the
    // handle returned; no handle (the journal set aside) when it is not to
    // be trusted.
    UniqueFileHandle OpenChecked(const std::string& name, DWORD access, DWORD share, DWORD flags) {
        if (directory_.empty()) return UniqueFileHandle();
        UniqueFileHandle handle(CreateFileW(Path(name).c_str(), access | READ_CONTROL, share, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr));
        if (!handle) return handle;
        FileFacts facts;
        const TrustVerdict verdict =
            ReadFileFacts(handle.Get(), Path(name), facts) ? JudgeJournal(facts) : TrustVerdict::kUnreadable;
        if (verdict == TrustVerdict::kTrusted) return handle;
        handle.Reset();  // it shares no delete: closed before the rename
        MoveAside(name, verdict);
        return handle;
    }

    std::vector<UniqueFileHandle> held_;
    std::wstring directory_;
};

constexpr DWORD kFolderAccess = READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | SYNCHRONIZE;
constexpr DWORD kFolderFlags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Creates the folder with its security from the start: owned by the
// administrators, a protected DACL granting full control to the system and
// the administrators only, inherited by what is made in it. Nobody else can
// have opened it before, so nobody else holds a handle with more rights.
bool CreateAdminOnlyFolder(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                              SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    UniqueLocalMemory free(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    return CreateDirectoryW(path.c_str(), &attributes) != 0;
}

// The folder parent\name held open, made when missing; whatever stands
// there and is not to be trusted (a link, a file, a user's folder, one that
// others may change) is set aside first. No handle, and a line in notes,
// when that cannot be done.
UniqueFileHandle OpenTrustedFolder(const std::wstring& parent, const std::string& name,
                                   std::vector<std::string>& notes) {
    const std::wstring path = parent + L"\\" + WideName(name);
    for (int attempt = 0; attempt < 4; ++attempt) {
        UniqueFileHandle folder(CreateFileW(path.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, kFolderFlags, nullptr));
        TrustVerdict verdict = TrustVerdict::kUnreadable;  // there, but not to be opened and looked at
        if (folder) {
            FileFacts facts;
            verdict = ReadFileFacts(folder.Get(), path, facts) ? JudgeFolder(facts) : TrustVerdict::kUnreadable;
            if (verdict == TrustVerdict::kTrusted) return folder;
            folder.Reset();  // it shares no delete: closed before the rename
        } else if (GetLastError() == ERROR_FILE_NOT_FOUND) {
            // Made, or made by someone else meanwhile: looked at as any.
            if (CreateAdminOnlyFolder(path) || GetLastError() == ERROR_ALREADY_EXISTS) continue;
            notes.push_back(FolderNotMadeNote(Display(path), GetLastError()));
            return folder;
        }
        std::string aside;
        DWORD error = 0;
        if (!RenameAside(parent, name, aside, error)) {
            notes.push_back(FolderNotSetAsideNote(verdict, Display(path), error));
            return folder;
        }
        notes.push_back(FolderSetAsideNote(verdict, Display(path), Display(parent + L"\\" + WideName(aside))));
    }
    // Something new in the way at every try.
    notes.push_back(FolderNotMadeNote(Display(path), ERROR_ALREADY_EXISTS));
    return UniqueFileHandle();
}

}  // namespace

std::unique_ptr<JournalFolder> OpenJournalFolder(const std::string& directory) {
    // The caller chose the folder and the way to it: only the folder itself
    // is judged, then held.
    const std::wstring path = WidePath(directory);
    std::vector<UniqueFileHandle> held;
    std::vector<std::string> notes;
    std::wstring final;
    UniqueFileHandle folder(CreateFileW(path.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, kFolderFlags, nullptr));
    if (folder) {
        FileFacts facts;
        const TrustVerdict verdict =
            ReadFileFacts(folder.Get(), L"", facts) ? JudgeFolder(facts) : TrustVerdict::kUnreadable;
        final = FinalPath(folder.Get());
        if (verdict != TrustVerdict::kTrusted) notes.push_back(FolderUnusableNote(verdict, directory));
        if (verdict != TrustVerdict::kTrusted || final.empty()) {
            final.clear();
        } else {
            held.push_back(std::move(folder));
        }
    }
    return std::make_unique<Win32JournalFolder>(std::move(held), final, std::move(notes));
}

std::unique_ptr<JournalFolder> OpenSystemJournalFolder(std::vector<std::string>& notes) {
    wchar_t base[MAX_PATH];
    const HRESULT found = SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
    if (found != S_OK) {
        notes.push_back(FolderNotMadeNote("CSIDL_COMMON_APPDATA", static_cast<unsigned long>(found)));
        return nullptr;
    }
    // The names below are compared with the final path of ProgramData,
    // which belongs to the system (and may be moved by an administrator).
    UniqueFileHandle programData(CreateFileW(base, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring directory = programData ? FinalPath(programData.Get()) : L"";
    if (directory.compare(0, 4, L"\\\\?\\") != 0) {
        notes.push_back(FolderNotMadeNote(Display(base), GetLastError()));
        return nullptr;
    }
    // The parent too: whoever controls Dravlek could swap the Update folder.
    std::vector<UniqueFileHandle> held;
    for (const char* name : {"Dravlek", "Update"}) {
        UniqueFileHandle folder = OpenTrustedFolder(directory, name, notes);
        if (!folder) return nullptr;
        directory += L"\\" + WideName(name);
        held.push_back(std::move(folder));
    }
    return std::make_unique<Win32JournalFolder>(std::move(held), directory, std::vector<std::string>());
}
