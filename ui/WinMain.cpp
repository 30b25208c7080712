// The way in of the Windows program: it reads the command line, builds what a
// run needs and hands over to ProgramRun, whose order is the program's
// (app/ProgramRun.h): the log, the one-instance mutex (WindowsHost), the
// recovery of interrupted updates (MachineUpdates), then the mode.
#include <windows.h>

#include <exception>
#include <string>

#include "app/ExitCode.h"
#include "app/MachineUpdates.h"
#include "app/ProgramRun.h"
#include "app/RunLog.h"
#include "app/UpdaterCommandLine.h"
#include "package/PatchPackage.h"
#include "ui/WindowsHost.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    constexpr int kFailed = static_cast<int>(ExitCode::kFailed);
    // An exception that cannot be caught (out of a destructor) ends the
    // process with a code of the table too, instead of abort's 3.
    std::set_terminate([] { TerminateProcess(GetCurrentProcess(), kFailed); });
    // ProgramRun has its own barrier; this one also holds for what comes
    // before and after it, so every way out is a code of the table.
    try {
        // The wide line: its ANSI form maps other characters to look-alikes.
        const wchar_t* wide = GetCommandLineW();
        const UpdaterCommandLine line = ReadUpdaterCommandLine(std::u16string(wide, wide + lstrlenW(wide)));
        // Nobody may be asked anything: not about a drive without its disk,
        // nor about a crash.
        if (line.Unattended()) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
        WindowsHost host;
        MachineUpdates updates;
        PatchPackage package;  // opened by the run when the command line names one
        RunLog log;
        return static_cast<int>(ProgramRun(host, updates, package, log).Run(line));
    } catch (...) {
        return kFailed;
    }
}
