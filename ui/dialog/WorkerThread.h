// A thread that its owner waits for: Join, or the destructor, returns once
// the thread's entry has returned.
#pragma once

#include "win32/Handles.h"

class WorkerThread {
public:
    using Entry = unsigned (*)(void* parameter);

    WorkerThread() = default;
    ~WorkerThread() { Join(); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs entry(parameter) on a new thread at normal priority with the
    // default stack. False when the thread could not be created or one is
    // already running. An exception out of entry ends the thread with 1.
    [[nodiscard]] bool Start(Entry entry, void* parameter);
    // Waits for the thread to end; at once when none was started. Messages
    // sent to this thread's windows meanwhile are handled, so a thread that
    // ends by talking to a window does not wait for the waiter forever.
    void Join();

private:
    static DWORD WINAPI RunThread(void* self);

    Entry entry_ = nullptr;
    void* parameter_ = nullptr;
    UniqueKernelHandle thread_;
};
