// CreateProcess's answer, owned: the new process's handle and its first
// thread's, each closed when the owner goes; the ids stay readable.
#pragma once

#include <windows.h>

#include <utility>

#include "win32/Handles.h"

class UniqueProcessInformation {
public:
    UniqueProcessInformation() = default;
    ~UniqueProcessInformation() { Reset(); }
    UniqueProcessInformation(const UniqueProcessInformation&) = delete;
    UniqueProcessInformation& operator=(const UniqueProcessInformation&) = delete;

    // Where CreateProcess stores its answer; what was held is closed first.
    // Zeroed, so that a field the call leaves unset closes nothing.
    PROCESS_INFORMATION* Put() {
        Reset();
        return &information_;
    }
    HANDLE Process() const { return information_.hProcess; }
    HANDLE Thread() const { return information_.hThread; }
    DWORD ProcessId() const { return information_.dwProcessId; }

    // The process's handle, handed to another owner; the thread's is closed.
    HANDLE ReleaseProcess() {
        CloseThread();
        return std::exchange(information_.hProcess, nullptr);
    }
    // Most callers never use the thread's handle: let it go early.
    void CloseThread() { UniqueKernelHandle(std::exchange(information_.hThread, nullptr)).Reset(); }
    // Closes both handles and forgets the ids.
    void Reset() {
        CloseThread();
        UniqueKernelHandle(information_.hProcess).Reset();
        information_ = {};
    }

private:
    PROCESS_INFORMATION information_{};
};
