#include "ui/WorkerThread.h"

#include <windows.h>

#include <memory>

namespace {

struct ThreadStart {
    unsigned (*entry)(void*);
    void* parameter;
};

DWORD WINAPI RunThread(void* argument) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    return start->entry(start->parameter);
}

}  // namespace

bool StartWorkerThread(unsigned (*entry)(void*), void* parameter) {
    auto start = std::make_unique<ThreadStart>(ThreadStart{entry, parameter});
    HANDLE thread = CreateThread(nullptr, 0, RunThread, start.get(), 0, nullptr);
    if (!thread) return false;
    start.release();  // the thread owns it now
    CloseHandle(thread);  // never waited for
    return true;
}
