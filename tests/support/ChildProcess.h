// The one way the Wine tests start a program: in a folder, with a wide
// command line, holding its process handle. The program goes on running
// when the object goes away (the crash test kills it later).
#pragma once

#include <windows.h>

#include <string>

#include "win32/Handles.h"

// text in the code page given, as UTF-16.
std::wstring Widen(const std::string& text, UINT codePage = CP_ACP);

class ChildProcess {
public:
    // program and folder in the ANSI code page; arguments in UTF-8, as a
    // script hands over names that no code page holds. False when the
    // program could not be started.
    [[nodiscard]] bool Start(const std::string& program, const std::string& arguments, const std::string& folder);

    bool Started() const { return static_cast<bool>(process_); }
    HANDLE Handle() const { return process_.Get(); }
    DWORD Id() const { return id_; }
    // True once the program has ended (within timeoutMs).
    bool Ended(DWORD timeoutMs = 0) const;
    // The exit code, or STILL_ACTIVE.
    DWORD ExitCode() const;
    // Kills the program if it is still running, and waits for its end.
    void Kill(UINT exitCode) const;

private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};
