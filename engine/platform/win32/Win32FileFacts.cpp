#include "engine/platform/win32/Win32FileFacts.h"

#include <aclapi.h>

#include <vector>

#include "win32/Handles.h"

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

Principal PrincipalOf(PSID sid, const std::vector<unsigned char>& self) {
    if (IsWellKnownSid(sid, WinLocalSystemSid)) return Principal::kSystem;
    if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Principal::kAdministrators;
    if (IsWellKnownSid(sid, WinCreatorOwnerSid) || IsWellKnownSid(sid, WinCreatorOwnerRightsSid)) {
        return Principal::kOwner;
    }
    if (!self.empty() && EqualSid(sid, const_cast<unsigned char*>(self.data()))) return Principal::kSelf;
    return Principal::kOther;
}

unsigned RightsOf(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);  // generic bits stand in inheritable entries
    unsigned rights = 0;
    if (mask & FILE_WRITE_DATA) rights |= kWriteData;
    if (mask & FILE_APPEND_DATA) rights |= kAppendData;
    if (mask & DELETE) rights |= kDelete;
    if (mask & FILE_DELETE_CHILD) rights |= kDeleteChild;
    if (mask & WRITE_DAC) rights |= kChangePermissions;
    if (mask & WRITE_OWNER) rights |= kTakeOwnership;
    return rights;
}

// Every allowing entry. Denying entries only take rights away and are left
// out (the judgement is then stricter, never looser); an allowing entry of
// a kind not read here counts as everything for everybody.
std::vector<AccessGrant> GrantsOf(PACL dacl, const std::vector<unsigned char>& self) {
    if (dacl == nullptr) return {{Principal::kOther, kAnyChange}};  // a null DACL denies nobody anything
    std::vector<AccessGrant> grants;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* entry = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&entry))) return {{Principal::kOther, kAnyChange}};
        if (entry->AceType == ACCESS_ALLOWED_ACE_TYPE || entry->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
            auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry);
            grants.push_back({PrincipalOf(&allowed->SidStart, self), RightsOf(allowed->Mask)});
        } else if (entry->AceType != ACCESS_DENIED_ACE_TYPE && entry->AceType != ACCESS_DENIED_CALLBACK_ACE_TYPE &&
                   entry->AceType != ACCESS_DENIED_OBJECT_ACE_TYPE &&
                   entry->AceType != ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE) {
            grants.push_back({Principal::kOther, kAnyChange});
        }
    }
    return grants;
}

}  // namespace

std::wstring FinalPath(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (size == 0) return L"";
        if (size < path.size()) {
            path.resize(size);
            return path;
        }
        path.resize(size);  // the size needed, with its NUL
    }
    return L"";
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
               CSTR_EQUAL;
}

bool ReadFileFacts(HANDLE file, const std::wstring& expectedPath, FileFacts& facts) {
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) return false;
    facts.kind = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::kFolder : FileKind::kFile;
    facts.linkCount = information.nNumberOfLinks;
    facts.isLink = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (!expectedPath.empty()) {
        const std::wstring final = FinalPath(file);
        if (final.empty()) return false;
        facts.isLink = facts.isLink || !SamePath(final, expectedPath);
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;  // also a volume without permissions (FAT): nothing there is kept from anybody
    }
    UniqueLocalMemory free(descriptor);
    const std::vector<unsigned char> self = ProcessUser();
    facts.owner = owner != nullptr ? PrincipalOf(owner, self) : Principal::kOther;
    facts.grants = GrantsOf(dacl, self);
    return true;
}

Principal PrincipalOfOwner(PSID owner) { return PrincipalOf(owner, ProcessUser()); }
