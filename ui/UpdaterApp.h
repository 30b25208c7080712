// The updater's application object: owns the package that gets applied.
#pragma once

#include "package/PatchPackage.h"
#include "ui/Application.h"

class UpdaterApp : public Application {
public:
    // The one UpdaterApp of the process, from any thread.
    static UpdaterApp& Current() { return *static_cast<UpdaterApp*>(Application::Current()); }

    // Runs the mode that the command line asks for; the program ends with it.
    bool InitInstance() override;
    int ExitCode() const override { return exitCode_; }

    // Closed except while the selection dialog runs an update.
    PatchPackage& Package() { return package_; }

private:
    PatchPackage package_;
    int exitCode_ = 0;
};
