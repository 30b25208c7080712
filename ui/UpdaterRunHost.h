// The Windows side of a run: the one-instance mutex, the recovery step, the
// message boxes and the two dialogs, for ProgramRun to call in its order.
#pragma once

#include <windows.h>

#include "app/RunHost.h"
#include "ui/dialog/Application.h"

class UpdaterRunHost : public RunHost {
public:
    // The selection dialog becomes application's main window while it runs.
    explicit UpdaterRunHost(Application& application) : application_(application) {}
    ~UpdaterRunHost() override;
    UpdaterRunHost(const UpdaterRunHost&) = delete;
    UpdaterRunHost& operator=(const UpdaterRunHost&) = delete;

    bool TakeInstanceLock() override;
    RecoveryOutcome RecoverInterruptedUpdates() override;
    bool Apply(PatchPackage& package, StatusSink& sink) override;

    void ShowUsage() override;
    void ShowAnotherInstance() override;
    void ShowRecovery(RecoveryOutcome report) override;
    bool Confirm() override;
    SelectionResult RunSelection(RunLog& log) override;
    bool RunProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) override;

private:
    Application& application_;
    HANDLE instanceMutex_ = nullptr;
};
