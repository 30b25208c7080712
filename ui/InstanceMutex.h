// A named mutex held by this process for as long as the object lives: one
// program at a time may hold it, across sessions when the name starts with
// "Global\".
#pragma once

#include "engine/platform/win32/UniqueHandle.h"

class InstanceMutex {
public:
    // Takes the mutex if no other process holds it. One whose holder ended
    // without releasing it (killed) is abandoned, and taken like a free one.
    explicit InstanceMutex(const char* name);
    ~InstanceMutex();
    InstanceMutex(const InstanceMutex&) = delete;
    InstanceMutex& operator=(const InstanceMutex&) = delete;

    // False when another process holds it, or when it could be neither
    // created nor opened (then it is safer to assume that another does).
    bool Owned() const { return owned_; }

private:
    UniqueKernelHandle handle_;
    bool owned_ = false;
};
