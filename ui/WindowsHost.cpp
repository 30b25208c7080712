#include "ui/WindowsHost.h"

#include "res/resource.h"
#include "ui/PackageSelectDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/ShowMessage.h"

bool WindowsHost::TakeInstanceLock() {
    mutex_.emplace();
    return mutex_->Owned();
}

void WindowsHost::ShowUsage() {
    ShowMessage(IDS_USAGE, MB_OK | MB_ICONINFORMATION, nullptr);
}

void WindowsHost::ShowAnotherInstance() {
    ShowMessage(IDS_ALREADY_RUNNING, MB_OK | MB_ICONWARNING, nullptr);
}

void WindowsHost::ShowRecovery(RecoveryOutcome outcome) {
    if (outcome == RecoveryOutcome::kUndone) {
        ShowMessage(IDS_UPDATE_UNDONE, MB_OK | MB_ICONINFORMATION, nullptr);
    } else if (outcome == RecoveryOutcome::kIncomplete) {
        ShowMessage(IDS_UNDO_INCOMPLETE, MB_OK | MB_ICONWARNING, nullptr);
    }
}

bool WindowsHost::Confirm() {
    return ConfirmUpdate(nullptr);
}

SelectionResult WindowsHost::ShowPackageList(RunLog& log) {
    // The look of the controls comes from the manifest (common controls v6).
    PackageSelectDialog dialog(log);
    if (dialog.DoModal(nullptr) == -1) return SelectionResult::kFailed;  // no window: nothing could be chosen
    if (!dialog.UpdateRan()) return SelectionResult::kClosed;
    switch (dialog.UpdateResult()) {
    case ApplyResult::kApplied: return SelectionResult::kApplied;
    case ApplyResult::kWrongBase: return SelectionResult::kWrongBase;
    case ApplyResult::kFailed: break;
    }
    return SelectionResult::kFailed;
}

ApplyResult WindowsHost::ApplyWithProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) {
    return ApplyInProgressDialog(package, log, closeWhenDone, nullptr);
}
