#include "ui/UpdaterApp.h"

#include "ui/PackageSelectDialog.h"
#include "ui/StartupGuard.h"

namespace {

// Constructed before WinMain runs, destroyed after it returns.
UpdaterApp theApp;

}  // namespace

bool UpdaterApp::InitInstance() {
    // Before anything else, and held until the program ends: a second
    // instance must never undo the journal of an update that is running.
    StartupGuard startup;
    if (!startup.FirstInstance()) {
        ShowAlreadyRunningBox();
        return false;
    }
    recoveryOutcome_ = startup.RecoverInterruptedUpdates();
    ShowRecoveryBox(recoveryOutcome_);

    // The look of the controls comes from the manifest (common controls v6).
    PackageSelectDialog dialog;
    SetMainDialog(&dialog);
    dialog.DoModal();
    SetMainDialog(nullptr);
    return false;
}
