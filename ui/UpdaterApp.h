// The updater's application object: owns the package that gets applied.
#pragma once

#include "engine/Recovery.h"
#include "package/PatchPackage.h"
#include "ui/Application.h"

class UpdaterApp : public Application {
public:
    // The one UpdaterApp of the process, from any thread.
    static UpdaterApp& Current() { return *static_cast<UpdaterApp*>(Application::Current()); }

    // Takes the one-instance mutex and recovers interrupted updates, then
    // shows the package selection dialog; the program ends when it ends.
    bool InitInstance() override;

    // What the recovery at start found and did.
    RecoveryOutcome StartRecoveryOutcome() const { return recoveryOutcome_; }

    // Closed except while the selection dialog runs an update.
    PatchPackage& Package() { return package_; }

private:
    PatchPackage package_;
    RecoveryOutcome recoveryOutcome_ = RecoveryOutcome::kNothingFound;
};
