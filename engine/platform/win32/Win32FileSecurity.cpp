#include "engine/platform/win32/Win32FileSecurity.h"

#include <windows.h>
#include <aclapi.h>

namespace {

// Frees what GetNamedSecurityInfoW allocated.
class LocalBlock {
public:
    explicit LocalBlock(void* block) : block_(block) {}
    ~LocalBlock() {
        if (block_) LocalFree(block_);
    }
    LocalBlock(const LocalBlock&) = delete;
    LocalBlock& operator=(const LocalBlock&) = delete;

private:
    void* block_;
};

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
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
    LocalBlock free(descriptor);

    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) return false;
    // Unprotected: the explicit entries are kept and the inherited ones come
    // again from the folder, which is the old target's folder too.
    SECURITY_INFORMATION daclInfo = DACL_SECURITY_INFORMATION | ((control & SE_DACL_PROTECTED)
                                                                     ? PROTECTED_DACL_SECURITY_INFORMATION
                                                                     : UNPROTECTED_DACL_SECURITY_INFORMATION);
    std::wstring target = to;  // the API takes a non-const string
    if (owner != nullptr) {
        // Another account as owner (TrustedInstaller, the installer's user)
        // needs a privilege the updater does not ask for: the new file then
        // stays owned by the updating administrator, as any new file would,
        // while its permissions are the old file's.
        SetNamedSecurityInfoW(&target[0], SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr,
                              nullptr);
    }
    error = SetNamedSecurityInfoW(&target[0], SE_FILE_OBJECT, daclInfo, nullptr, nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS || Fail(error);
}
