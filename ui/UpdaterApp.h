// The updater's application object: the one place that decides what the
// program does at start, and in which order.
#pragma once

#include <optional>

#include "engine/Recovery.h"
#include "ui/StartupGuard.h"
#include "ui/dialog/Application.h"

class UpdaterApp : public Application {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitNoWindow = 2;  // the main dialog could not be created

    // What the recovery at start found and did.
    RecoveryOutcome StartRecoveryOutcome() const { return recoveryOutcome_; }

protected:
    // Before any window: becomes the one running instance (or tells the user
    // that another runs, and ends), then recovers interrupted updates.
    bool InitInstance(int& exitCode) override;
    // Shows the package selection dialog; the program ends when it ends.
    int Run() override;

private:
    // Taken in InitInstance, not at static construction; held until the
    // process ends, so that no other instance recovers or applies meanwhile.
    std::optional<StartupGuard> startup_;
    RecoveryOutcome recoveryOutcome_ = RecoveryOutcome::kNothingFound;
};
