#include "ui/UpdaterApp.h"

#include "ui/PackageSelectDialog.h"

namespace {

// Constructed before WinMain runs, destroyed after it returns.
UpdaterApp theApp;

}  // namespace

bool UpdaterApp::InitInstance(int& exitCode) {
    exitCode = kExitOk;
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
