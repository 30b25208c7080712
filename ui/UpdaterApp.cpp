#include "ui/UpdaterApp.h"

#include <memory>

#include "engine/Recovery.h"
#include "ui/PackageSelectDialog.h"

namespace {

// Constructed before WinMain runs, destroyed after it returns.
UpdaterApp theApp;

}  // namespace

bool UpdaterApp::InitInstance(int& exitCode) {
    exitCode = kExitOk;
    // Before anything else, an update that was interrupted is undone (or
    // finished, when it had replaced every target). Its messages, and the
    // lock that keeps a second instance out, belong to the start-up too.
    if (std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder()) {
        std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
        RecoverInterruptedUpdates(*journals, *files);
    }
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
