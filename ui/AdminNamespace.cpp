#include "ui/AdminNamespace.h"

#include <sddl.h>

namespace {

// The calls, looked up at run time: Wine lacks all of them but
// CreateBoundaryDescriptorW, and a program that imported them would stop on
// the first call there. Windows has them all from Windows 7 on.
struct NamespaceCalls {
    decltype(&::CreateBoundaryDescriptorW) createBoundary;
    decltype(&::AddSIDToBoundaryDescriptor) addSid;
    decltype(&::AddIntegrityLabelToBoundaryDescriptor) addIntegrityLabel;
    decltype(&::DeleteBoundaryDescriptor) deleteBoundary;
    decltype(&::CreatePrivateNamespaceW) create;
    decltype(&::OpenPrivateNamespaceW) open;
    decltype(&::ClosePrivateNamespace) close;
};

template <typename Function>
bool Find(HMODULE kernel32, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
    return function != nullptr;
}

// Null when the system lacks any of the calls.
const NamespaceCalls* SystemNamespaceCalls() {
    static const NamespaceCalls* const calls = []() -> const NamespaceCalls* {
        static NamespaceCalls found;
        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        bool all = kernel32 != nullptr && Find(kernel32, "CreateBoundaryDescriptorW", found.createBoundary) &&
                   Find(kernel32, "AddSIDToBoundaryDescriptor", found.addSid) &&
                   Find(kernel32, "AddIntegrityLabelToBoundaryDescriptor", found.addIntegrityLabel) &&
                   Find(kernel32, "DeleteBoundaryDescriptor", found.deleteBoundary) &&
                   Find(kernel32, "CreatePrivateNamespaceW", found.create) &&
                   Find(kernel32, "OpenPrivateNamespaceW", found.open) &&
                   Find(kernel32, "ClosePrivateNamespace", found.close);
        return all ? &found : nullptr;
    }();
    return calls;
}

// DeleteBoundaryDescriptor returns nothing: it cannot fail.
bool DeleteBoundary(HANDLE boundary) {
    SystemNamespaceCalls()->deleteBoundary(boundary);
    return true;
}
using UniqueBoundary = UniqueHandle<HANDLE, &DeleteBoundary>;

// "DravlekUpdate", bounded by the Administrators group at high integrity.
UniqueBoundary AdministratorsBoundary(const NamespaceCalls& calls) {
    UniqueBoundary boundary(calls.createBoundary(AdminNamespace::kPrefix, 0));
    BYTE administrators[SECURITY_MAX_SID_SIZE], high[SECURITY_MAX_SID_SIZE];
    DWORD administratorsSize = sizeof administrators, highSize = sizeof high;
    HANDLE descriptor = boundary.Get();
    bool ok = boundary &&
              CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &administratorsSize) &&
              CreateWellKnownSid(WinHighLabelSid, nullptr, high, &highSize) &&
              calls.addSid(&descriptor, administrators) && calls.addIntegrityLabel(&descriptor, high);
    // The calls may move the descriptor as it grows.
    boundary.Release();
    boundary.Reset(descriptor);
    return ok ? std::move(boundary) : UniqueBoundary();
}

NamespaceAnswer Answer(HANDLE handle) {
    if (handle != nullptr) return NamespaceAnswer::kDone;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) return NamespaceAnswer::kAlreadyExists;
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) return NamespaceAnswer::kNotFound;
    return NamespaceAnswer::kFailed;
}

}  // namespace

UniqueLocalMemory AdminOnlyObjectDescriptor() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;GA;;;SY)(A;;GA;;;BA)", SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        return UniqueLocalMemory();
    }
    return UniqueLocalMemory(descriptor);
}

bool CloseAdminNamespace(HANDLE handle) {
    return SystemNamespaceCalls()->close(handle, 0) != FALSE;  // a nonzero BOOL on success
}

AdminNamespace::AdminNamespace() {
    const NamespaceCalls* calls = SystemNamespaceCalls();
    UniqueBoundary boundary = calls ? AdministratorsBoundary(*calls) : UniqueBoundary();
    UniqueLocalMemory descriptor = AdminOnlyObjectDescriptor();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    outcome_ = ReachNamespace([&](NamespaceStep step) {
        if (calls == nullptr) return NamespaceAnswer::kUnsupported;
        if (!boundary || !descriptor) return NamespaceAnswer::kFailed;
        HANDLE handle = step == NamespaceStep::kCreate ? calls->create(&attributes, boundary.Get(), kPrefix)
                                                       : calls->open(boundary.Get(), kPrefix);
        NamespaceAnswer answer = Answer(handle);
        handle_.Reset(handle);
        return answer;
    });
}
