// The Windows side of a run: the one-instance mutex, the recovery step, the
// message boxes and the two dialogs, for ProgramRun to call in its order.
#pragma once

#include <windows.h>

#include <optional>

#include "app/RunHost.h"
#include "ui/StartupGuard.h"
#include "ui/dialog/Application.h"

class UpdaterRunHost : public RunHost {
public:
    // The selection dialog becomes application's main window while it runs.
    explicit UpdaterRunHost(Application& application) : application_(application) {}
    UpdaterRunHost(const UpdaterRunHost&) = delete;
    UpdaterRunHost& operator=(const UpdaterRunHost&) = delete;

    bool TakeInstanceLock() override;
    RecoveryOutcome RecoverInterruptedUpdates(std::vector<std::string>& notes) override;
    bool Apply(PatchPackage& package, StatusSink& sink) override;

    void ShowUsage() override;
    void ShowAnotherInstance() override;
    void ShowRecovery(RecoveryOutcome report) override;
    bool Confirm() override;
    SelectionResult RunSelection(RunLog& log) override;
    bool RunProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) override;

private:
    Application& application_;
    // Taken by TakeInstanceLock and held until the host goes, at the end of the run.
    std::optional<StartupGuard> startup_;
};
