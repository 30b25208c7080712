// The log on Windows: opened with FILE_FLAG_OPEN_REPARSE_POINT, so that a
// link at its name is opened itself and shows as one, then asked through the
// handle for its kind, links and owner. Under Wine a Unix link to a file
// opens the file it points to and looks plain; where the handle leads (its
// final path) then differs from the name given, which is refused as well.
#include <windows.h>
#include <aclapi.h>

#include "engine/platform/win32/Win32WriteAll.h"
#include "engine/LogFile.h"
#include "engine/platform/win32/Win32FileFacts.h"
#include "package/Utf16Text.h"
#include "win32/Handles.h"

namespace {

FileOwner OwnerOf(PSID owner) {
    if (owner == nullptr) return FileOwner::kNone;
    switch (PrincipalOfOwner(owner)) {
        case Principal::kSystem: return FileOwner::kSystem;
        case Principal::kAdministrators: return FileOwner::kAdministrators;
        case Principal::kSelf: return FileOwner::kCaller;
        default: return FileOwner::kOther;
    }
}

class Win32LogFile : public LogFile {
public:
    explicit Win32LogFile(UniqueFileHandle handle) : handle_(std::move(handle)) {}

    bool Append(const std::string& bytes) override {
        return WriteAll(handle_.Get(), bytes.data(), bytes.size());
    }

private:
    UniqueFileHandle handle_;
};

// Where the handle leads once every link is followed, "" when the system
// cannot say.
std::wstring FinalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), 0);
    if (length >= path.size()) {
        path.resize(length);
        length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), 0);
    }
    if (length == 0 || length >= path.size()) return std::wstring();
    path.resize(length);
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path, bool longNames) {
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD length = longNames ? GetLongPathNameW(path.c_str(), &full[0], static_cast<DWORD>(full.size()))
                                 : GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
        if (length == 0) return std::wstring();
        if (length < full.size()) return full.substr(0, length);
        full.resize(length);
    }
    return std::wstring();
}

// Whether the open file is the one the name names: its final path is the
// final path of the folder of the name, then the name's own last part (its
// long form, so that a short name given is no reason to refuse).
bool LeadsToItsName(HANDLE file, const std::wstring& path) {
    const std::wstring full = FullPath(FullPath(path, false), true);
    const std::size_t separator = full.rfind(L'\\');
    if (separator == std::wstring::npos) return false;
    std::wstring folderPath = full.substr(0, separator);
    if (folderPath.size() == 2 && folderPath[1] == L':') folderPath += L'\\';  // "C:" alone is a current folder
    UniqueFileHandle folder(CreateFileW(folderPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return false;
    const std::wstring expected = FinalPathOf(folder.Get()) + full.substr(separator);
    const std::wstring actual = FinalPathOf(file);
    return !actual.empty() && SameName(actual, expected);
}

LogFileFacts FactsOf(HANDLE file, const std::wstring& path) {
    LogFileFacts facts;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) {
        facts.regularFile = false;
        return facts;
    }
    facts.regularFile = !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    facts.link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !LeadsToItsName(file, path);
    facts.linkCount = info.nNumberOfLinks;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                        nullptr, &descriptor);
    UniqueLocalMemory free(descriptor);
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
        facts.owner = FileOwner::kNone;
    } else {
        facts.owner = error == ERROR_SUCCESS ? OwnerOf(owner) : FileOwner::kOther;
    }
    return facts;
}

// Removes the file that was made at path for nothing, through a second
// handle that must lead to the same file: a name changed meanwhile makes
// nothing else go.
void RemoveMade(HANDLE made, const std::wstring& path) {
    UniqueFileHandle again(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!again || !GetFileInformationByHandle(made, &first) || !GetFileInformationByHandle(again.Get(), &second) ||
        first.dwVolumeSerialNumber != second.dwVolumeSerialNumber || first.nFileIndexHigh != second.nFileIndexHigh ||
        first.nFileIndexLow != second.nFileIndexLow) {
        return;
    }
    FILE_DISPOSITION_INFO remove = {TRUE};
    SetFileInformationByHandle(again.Get(), FileDispositionInfo, &remove, sizeof remove);
}

}  // namespace

std::unique_ptr<LogFile> OpenLogFile(const std::string& utf8Path) {
    std::u16string utf16;
    if (utf8Path.empty() || !Utf8ToUtf16(utf8Path, utf16)) return nullptr;
    const std::wstring path(utf16.begin(), utf16.end());
    // Another run may append to the same log at the same time, and anybody
    // read it. A file made here may also be deleted: by this run, when refused.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
    constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    UniqueFileHandle file;
    bool made = false;
    for (int attempt = 0; attempt < 2 && !file; ++attempt) {
        file.Reset(CreateFileW(path.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING, kFlags, nullptr));
        if (file || GetLastError() != ERROR_FILE_NOT_FOUND) break;
        file.Reset(CreateFileW(path.c_str(), kAccess, kShare | FILE_SHARE_DELETE, nullptr, CREATE_NEW, kFlags, nullptr));
        made = file.IsValid();
        if (!file && GetLastError() != ERROR_FILE_EXISTS) break;  // made by another run meanwhile: open it
    }
    if (!file) return nullptr;
    if (!MayAppendLog(FactsOf(file.Get(), path))) {
        if (made) RemoveMade(file.Get(), path);
        return nullptr;
    }
    return std::make_unique<Win32LogFile>(std::move(file));
}
