// One run of the program, from its command line to its exit code: the order
// every mode follows (log, one instance, recovery, then the mode itself) and
// what each outcome means as an exit code. Nothing here touches the screen or
// the instance lock except through the ProgramHost, nor the machine's
// journals and install roots except through MachineUpdates.
#pragma once

#include "app/ExitCode.h"
#include "app/MachineUpdates.h"
#include "app/ProgramHost.h"
#include "app/RunLog.h"
#include "app/UpdaterCommandLine.h"
#include "package/PatchPackage.h"

class ProgramRun {
public:
    // package and log are closed.
    ProgramRun(ProgramHost& host, MachineUpdates& updates, PatchPackage& package, RunLog& log)
        : host_(host), updates_(updates), package_(package), log_(log) {}

    // A command line that is not understood, or a log that cannot be
    // opened, is 87 before anything is done: the usage is shown unless the
    // line asks for /quiet or /passive. Otherwise: the log's first line, the
    // one-instance rule (1618), the recovery of interrupted updates, the
    // mode, and the exit code as the log's last line. An exception, wherever
    // it comes from, is a failure (1603) like any other.
    ExitCode Run(const UpdaterCommandLine& line);

private:
    ExitCode RunLogged(const UpdaterCommandLine& line);
    ExitCode RunUnderLock(const UpdaterCommandLine& line);
    ExitCode RunPackage(const UpdaterCommandLine& line);
    void Finish(ExitCode code);

    ProgramHost& host_;
    MachineUpdates& updates_;
    PatchPackage& package_;
    RunLog& log_;
};
