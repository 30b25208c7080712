#include "ui/InstanceMutex.h"

#include <string>

namespace {

// Wine has no private namespaces, and no users to keep apart either: every
// process of a prefix runs as the same account. There the mutex is a plain
// global one, named apart from the "Global\DravlekUpdate" of earlier
// versions. Windows 7 to 11 always have the namespace calls, so no one there
// can lead the program to this name (a failure gives up instead).
constexpr wchar_t kNameWithoutNamespace[] = L"Global\\DravlekUpdate.Instance";

}  // namespace

InstanceMutex::InstanceMutex() {
    std::wstring name;
    if (namespace_.Outcome() == NamespaceStep::kHold) {
        name = std::wstring(AdminNamespace::kPrefix) + L"\\Instance";
    } else if (namespace_.Outcome() == NamespaceStep::kWithoutNamespace) {
        name = kNameWithoutNamespace;
    } else {
        return;
    }
    UniqueLocalMemory descriptor = AdminOnlyObjectDescriptor();
    if (!descriptor) return;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    // Only the rights the wait and the release need.
    handle_.Reset(CreateMutexExW(&attributes, name.c_str(), 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
    if (!handle_) return;
    DWORD wait = WaitForSingleObject(handle_.Get(), 0);
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

InstanceMutex::~InstanceMutex() {
    if (owned_) ReleaseMutex(handle_.Get());
}
