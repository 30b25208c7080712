#include "ui/dialog/WorkerThread.h"

bool WorkerThread::Start(Entry entry, void* parameter) {
    if (thread_) return false;
    entry_ = entry;
    parameter_ = parameter;
    thread_.Reset(CreateThread(nullptr, 0, RunThread, this, 0, nullptr));
    return thread_.IsValid();
}

void WorkerThread::Join() {
    if (!thread_) return;
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
}

DWORD WINAPI WorkerThread::RunThread(void* self) {
    WorkerThread* thread = static_cast<WorkerThread*>(self);
    // An exception must not unwind into the system's thread start.
    try {
        return thread->entry_(thread->parameter_);
    } catch (...) {
        return 1;
    }
}
