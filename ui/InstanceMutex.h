// The one-instance mutex of the machine, held by this process for as long as
// the object lives: one program at a time may hold it, across sessions. It
// lives in the administrators' private namespace (AdminNamespace), as
// "DravlekUpdate\Instance", where no standard user can create it first; the
// program and the tests that stand for another instance both take it here.
#pragma once

#include "ui/AdminNamespace.h"
#include "win32/Handles.h"

class InstanceMutex {
public:
    // Takes the mutex if no other process holds it. One whose holder ended
    // without releasing it (killed) is abandoned, and taken like a free one.
    InstanceMutex();
    ~InstanceMutex();
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    // False when another process holds it, or when it could be neither
    // created nor opened (then it is safer to assume that another does).
    bool Owned() const { return owned_; }

private:
    // Declared first, so that it is closed last: the mutex's name lives in it.
    AdminNamespace namespace_;
    UniqueKernelHandle handle_;
    bool owned_ = false;
};
