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

bool UpdaterApp::InitInstance() {
    // The look of the controls comes from the manifest (common controls v6).
    const UpdaterCommandLine line = ParseUpdaterCommandLine(SplitCommandLine(GetCommandLineA()));
    // Nobody may be asked anything: not about a drive without its disk, nor
    // about a crash.
    if (line.quiet) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    UpdaterRunHost host;
    RunLog log;
    exitCode_ = static_cast<int>(ProgramRun(host, package_, log).Run(line));
    return false;
}
