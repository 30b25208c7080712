#include "ui/InstanceMutex.h"

InstanceMutex::InstanceMutex(const char* name) {
    // Only the rights the wait and the release need: an instance started by
    // another administrator may open a mutex it did not create.
    handle_.Reset(CreateMutexExA(nullptr, name, 0, SYNCHRONIZE | MUTEX_MODIFY_STATE));
    if (!handle_) return;
    DWORD wait = WaitForSingleObject(handle_.Get(), 0);
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

InstanceMutex::~InstanceMutex() {
    if (owned_) ReleaseMutex(handle_.Get());
}
