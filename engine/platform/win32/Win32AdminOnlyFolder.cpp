#include "engine/platform/win32/Win32AdminOnlyFolder.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "engine/platform/win32/UniqueHandle.h"

namespace {

// The SID of the account the process runs as, in a buffer of its own.
std::vector<unsigned char> ProcessUser() {
    std::vector<unsigned char> sid;
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return sid;
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size != 0 && GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
        PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
        sid.assign(static_cast<unsigned char*>(user), static_cast<unsigned char*>(user) + GetLengthSid(user));
    }
    return sid;
}

}  // namespace

bool MakeAdminOnly(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                              SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    UniqueLocalMemory free(descriptor);
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return false;
    }
    std::wstring path = folder;  // the API takes a non-const string
    DWORD error = SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                            PROTECTED_DACL_SECURITY_INFORMATION,
                                        owner, nullptr, dacl, nullptr);
    // A volume without permissions (FAT) has nothing to set.
    if (error == ERROR_SUCCESS || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return true;
    SetLastError(error);
    return false;
}

FileOwner OwnerOf(PSID owner) {
    if (owner == nullptr) return FileOwner::kNone;
    if (IsWellKnownSid(owner, WinLocalSystemSid)) return FileOwner::kSystem;
    if (IsWellKnownSid(owner, WinBuiltinAdministratorsSid)) return FileOwner::kAdministrators;
    std::vector<unsigned char> user = ProcessUser();
    return !user.empty() && EqualSid(owner, user.data()) ? FileOwner::kCaller : FileOwner::kOther;
}

bool IsOwnedByAdministrators(const std::wstring& file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                        nullptr, nullptr, &descriptor);
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return true;
    if (error != ERROR_SUCCESS) return false;
    UniqueLocalMemory free(descriptor);
    // No owner at all: a volume without security (FAT), where there is
    // nothing to check and the folder cannot be protected either.
    return IsTrustedOwner(OwnerOf(owner));
}
