#include "ui/UpdaterApp.h"

#include "ui/PackageSelectDialog.h"

namespace {

// Constructed before WinMain runs, destroyed after it returns.
UpdaterApp theApp;

}  // namespace

bool UpdaterApp::InitInstance(int& exitCode) {
    exitCode = kExitOk;
    // Before anything else: a second instance must never undo the journal of
    // an update that is running.
    startup_.emplace();
    if (!startup_->FirstInstance()) {
        ShowAlreadyRunningBox();
        return false;
    }
    recoveryOutcome_ = startup_->RecoverInterruptedUpdates();
    ShowRecoveryBox(recoveryOutcome_);
    return true;
}

int UpdaterApp::Run() {
    // The look of the controls comes from the manifest (common controls v6).
    PackageSelectDialog dialog;
    SetMainDialog(&dialog);
    INT_PTR result = dialog.DoModal();
    SetMainDialog(nullptr);
    return result == -1 ? kExitNoWindow : kExitOk;
}
