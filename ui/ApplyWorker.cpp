#include "ui/ApplyWorker.h"

#include "ui/ProgressDialog.h"
#include "ui/UpdaterApp.h"

unsigned ApplyWorker(void*) {
    ProgressDialog* dialog = ProgressDialog::Running();
    bool applied = false;
    try {
        applied = UpdaterApp::Current().Package().Apply(dialog->WorkerSink());
    } catch (...) {
        // Nothing may leave the thread; the staged files went while unwinding.
    }
    dialog->Finish(applied);
    return 0;
}
