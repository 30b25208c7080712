// The Windows side of a run, and only that: the one-instance mutex, the
// message boxes and the two dialogs, for ProgramRun to call in its order.
#pragma once

#include <optional>

#include "app/ProgramHost.h"
#include "ui/InstanceMutex.h"

class WindowsHost : public ProgramHost {
public:
    WindowsHost() = default;
    WindowsHost(const WindowsHost&) = delete;
    WindowsHost& operator=(const WindowsHost&) = delete;

    bool TakeInstanceLock() override;

    void ShowUsage() override;
    void ShowAnotherInstance() override;
    void ShowRecovery(RecoveryOutcome outcome) override;
    bool Confirm() override;
    SelectionResult ShowPackageList(RunLog& log) override;
    ApplyResult ApplyWithProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) override;

private:
    // Taken by TakeInstanceLock and held until the host goes, at the end of the run.
    std::optional<InstanceMutex> mutex_;
};
