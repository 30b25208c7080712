#include "ui/UpdaterApp.h"

#include "ui/PackageSelectDialog.h"

namespace {

// Constructed before WinMain runs, destroyed after it returns.
UpdaterApp theApp;

}  // namespace

bool UpdaterApp::InitInstance() {
    // The look of the controls comes from the manifest (common controls v6).
    PackageSelectDialog dialog;
    SetMainDialog(&dialog);
    dialog.DoModal();
    SetMainDialog(nullptr);
    return false;
}
