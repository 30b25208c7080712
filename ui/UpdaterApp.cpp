#include "ui/UpdaterApp.h"

#include <windows.h>

#include "app/ProgramRun.h"
#include "app/RunLog.h"
#include "app/UpdaterCommandLine.h"
#include "ui/UpdaterRunHost.h"

namespace {

// Constructed before WinMain runs, destroyed after it returns.
UpdaterApp theApp;

}  // namespace

bool UpdaterApp::InitInstance(int& exitCode) {
    // The one-instance rule and the recovery of interrupted updates come
    // first in Run: which boxes they may show depends on the command line.
    exitCode = kExitOk;
    return true;
}

int UpdaterApp::Run() {
    // The wide line: its ANSI form maps other characters to look-alikes.
    const wchar_t* wide = GetCommandLineW();
    const UpdaterCommandLine line = ReadUpdaterCommandLine(std::u16string(wide, wide + lstrlenW(wide)));
    // Nobody may be asked anything: not about a drive without its disk, nor
    // about a crash.
    if (line.Unattended()) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    UpdaterRunHost host(*this);
    PatchPackage package;  // opened by the run when the command line names one
    RunLog log;
    return static_cast<int>(ProgramRun(host, package, log).Run(line));
}
