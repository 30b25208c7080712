// The updater's application object: owns the package that gets applied.
#pragma once

#include "package/PatchPackage.h"
#include "ui/Application.h"

class UpdaterApp : public Application {
public:
    // The one UpdaterApp of the process, from any thread.
    static UpdaterApp& Current() { return *static_cast<UpdaterApp*>(Application::Current()); }

    // Shows the package selection dialog; the program ends when it ends.
    bool InitInstance() override;

    // Closed except while the selection dialog runs an update.
    PatchPackage& Package() { return package_; }

private:
    PatchPackage package_;
};
