#include "ui/ApplyWorker.h"

#include "ui/ProgressDialog.h"
#include "ui/UpdaterApp.h"

unsigned ApplyWorker(void*) {
    // The outcome is told by Apply's last status line, not by its result.
    UpdaterApp::Current().Package().Apply(*ProgressDialog::Running());
    ProgressDialog::RunningCloseButton()->Enable(true);
    return 0;
}
