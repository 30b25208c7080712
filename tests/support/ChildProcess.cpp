#include "tests/support/ChildProcess.h"

#include "win32/UniqueProcessInformation.h"

std::wstring Widen(const std::string& text, UINT codePage) {
    std::wstring wide(text.size(), L'\0');
    const int length = text.empty() ? 0
                                    : MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                                          &wide[0], static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length));
    return wide;
}

bool ChildProcess::Start(const std::string& program, const std::string& arguments, const std::string& folder) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    UniqueProcessInformation started;
    std::wstring commandLine = L"\"" + Widen(program) + L"\"";
    if (!arguments.empty()) commandLine += L" " + Widen(arguments, CP_UTF8);
    if (!CreateProcessW(Widen(program).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        Widen(folder).c_str(), &startup, started.Put())) {
        return false;
    }
    id_ = started.ProcessId();
    process_.Reset(started.ReleaseProcess());
    return true;
}

bool ChildProcess::Ended(DWORD timeoutMs) const {
    return process_ && WaitForSingleObject(process_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_) GetExitCodeProcess(process_.Get(), &code);
    return code;
}

void ChildProcess::Kill(UINT exitCode) const {
    if (!process_ || Ended()) return;
    TerminateProcess(process_.Get(), exitCode);
    WaitForSingleObject(process_.Get(), 5000);
}
