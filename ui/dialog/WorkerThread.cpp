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
    HANDLE thread = thread_.Get();
    // The thread may be inside a SendMessage to a window of this thread
    // (EnableWindow sends WM_ENABLE, SetWindowText WM_SETTEXT): those calls
    // are answered while waiting, so it can always end. Posted messages stay
    // queued for whoever reads them next.
    do {
        // Handles every message sent so far (one already waiting would not wake the wait below).
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    } while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1);
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
