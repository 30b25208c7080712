#include "engine/platform/win32/Win32FileSecurity.h"

#include <windows.h>
#include <aclapi.h>

#include "win32/Handles.h"

namespace {

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// Whether every entry of the DACL came from the folder: a file in the same
// folder gets the very same entries by being created there.
bool OnlyInheritedEntries(PACL dacl) {
    if (dacl == nullptr) return false;  // a null DACL grants everything: not inherited
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* entry = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&entry)) || !(entry->AceFlags & INHERITED_ACE)) return false;
    }
    return true;
}

// Whether the file is owned by owner already (then nothing needs setting).
bool SameOwner(const std::wstring& file, PSID owner) {
    PSID current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &current, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    UniqueLocalMemory free(descriptor);
    return current != nullptr && EqualSid(current, owner);
}

}  // namespace

bool CopyOwnerAndDacl(const std::wstring& from, const std::wstring& to) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                                        &dacl, nullptr, &descriptor);
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return true;
    if (error != ERROR_SUCCESS) return Fail(error);
    UniqueLocalMemory free(descriptor);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
    // Unprotected: the explicit entries are kept and the inherited ones come
    // again from the folder, which is the old target's folder too.
    // The usual case, a file that only inherits from its folder, needs no
    // change: the staged file beside it inherited the same.
    const bool inheritedOnly = !(control & SE_DACL_PROTECTED) && OnlyInheritedEntries(dacl);
    SECURITY_INFORMATION daclInfo = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                                     ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
    std::wstring target = to;  // the API takes a non-const string
    if (owner != nullptr && !SameOwner(to, owner)) {
        // Another account as owner (TrustedInstaller, the installer's user)
        // needs a privilege the updater does not ask for: the new file then
        // stays owned by the updating administrator, as any new file would,
        // while its permissions are the old file's.
        SetNamedSecurityInfoW(&target[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr,
                              nullptr);
    }
    if (inheritedOnly) return true;
    error = SetNamedSecurityInfoW(&target[0], SE_FILE_OBJECT, daclInfo, nullptr, nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS || Fail(error);
}
