// The private object namespace of the one-instance mutex, held for as long as
// this object lives. Its boundary is the Administrators group at high
// integrity: the system lets a process create it only when its token holds
// that group enabled and runs at high or system integrity (an elevated
// administrator, or SYSTEM), and its DACL lets only SYSTEM and Administrators
// open it. A standard user can therefore neither make it first nor put an
// object in it, unlike a name in Global\ that anyone may create.
//
// A namespace lasts while some process holds a handle to it, so every
// instance keeps its own, made or opened, as long as it needs the mutex: the
// next instance then finds the same namespace, and the same mutex in it.
#pragma once

#include <windows.h>

#include "app/NamespaceSteps.h"
#include "win32/Handles.h"

// SYSTEM and Administrators, full access; nobody else. Null when out of memory.
UniqueLocalMemory AdminOnlyObjectDescriptor();

// Closes without PRIVATE_NAMESPACE_FLAG_DESTROY: others may still hold it.
bool CloseAdminNamespace(HANDLE handle);
using UniqueNamespaceHandle = UniqueHandle<HANDLE, &CloseAdminNamespace>;

class AdminNamespace {
public:
    // The alias the namespace is opened with: the mutex is "<prefix>\<name>".
    static constexpr wchar_t kPrefix[] = L"DravlekUpdate";

    // Creates the namespace, or opens it (ReachNamespace's rule).
    AdminNamespace();

    // kHold when it is held; kWithoutNamespace on a system that has no
    // private namespaces (Wine); kGiveUp when it could be neither created
    // nor opened.
    NamespaceStep Outcome() const { return outcome_; }

private:
    UniqueNamespaceHandle handle_;
    NamespaceStep outcome_ = NamespaceStep::kGiveUp;
};
