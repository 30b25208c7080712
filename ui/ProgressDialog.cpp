#include "ui/ProgressDialog.h"

#include "app/GuardedApply.h"
#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "res/resource.h"
#include "ui/ShowMessage.h"

ProgressDialog::ProgressDialog(PatchPackage& package, RunLog& log, bool closeWhenDone)
    : ModalDialog(IDD_PROGRESS), package_(package), workerSink_(*this, log), closeWhenDone_(closeWhenDone) {}

ApplyResult ApplyInProgressDialog(PatchPackage& package, RunLog& log, bool closeWhenDone, HWND owner) {
    ProgressDialog progress(package, log, closeWhenDone);
    if (progress.Run(owner) == -1) {
        // No window, so no worker either: nothing was applied.
        static_cast<void>(log.WriteLine(LoadMessageString(IDS_START_FAILED)));  // the box says it too
        if (!closeWhenDone) ShowMessage(IDS_START_FAILED, MB_OK | MB_ICONERROR, owner);
        return ApplyResult::kFailed;
    }
    return progress.Result();
}

INT_PTR ProgressDialog::Run(HWND owner) {
    INT_PTR result = DoModal(owner);
    // The dialog ends only once Close is enabled, the worker's last act, so
    // this wait is short; it answers what the worker still sends the window
    // (its EnableWindow may not have returned) and keeps the package open
    // until the thread is gone.
    worker_.Join();
    return result;
}

void ProgressDialog::DoDataExchange() {
    label_.Bind(Handle(), IDC_STATUS_LABEL);
    closeButton_.Bind(Handle(), IDC_CLOSE);
    // Unthrottled painting still shows every line: nothing to report.
    static_cast<void>(statusBox_.Attach(Handle(), IDC_STATUS_BOX));
}

bool ProgressDialog::OnInitDialog() {
    SetWindowTextA(Handle(), LoadMessageString(IDS_PROGRESS_CAPTION).c_str());
    closeButton_.SetText(LoadMessageString(IDS_CLOSE_BUTTON));
    label_.SetText(LoadMessageString(IDS_STATUS_LABEL));

    // Read by the worker, which must not look at the window member the
    // window's end clears.
    dialogWindow_ = Handle();
    if (!worker_.Start(Work, this)) {
        // Nothing will enable Close otherwise: the line goes to the box and
        // the log like any other failure line, and the dialog ends as an
        // update does.
        workerSink_.SetStatusLine(LoadMessageString(IDS_START_FAILED));
        Finish();
    }
    return true;
}

unsigned ProgressDialog::Work(void* parameter) {
    ProgressDialog& dialog = *static_cast<ProgressDialog*>(parameter);
    dialog.result_ = ApplyGuarded([&dialog] { return ApplyPackage(dialog.package_, dialog.workerSink_); },
                                   dialog.workerSink_, [&dialog] { dialog.Finish(); });
    return 0;
}

void ProgressDialog::Finish() {
    closeButton_.Enable(true);
    // A click on Close, queued behind every line shown so far.
    if (closeWhenDone_) {
        PostMessageA(dialogWindow_, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(closeButton_.Handle()));
    }
}

void ProgressDialog::SetStatusLine(const std::string& text) {
    statusBox_.SetLine(text);
}

INT_PTR ProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == DM_GETDEFID) {
        // Close, once enabled, is what Enter presses, also from the status box;
        // before that the dialog manager answers.
        if (!closeButton_.IsEnabled()) return FALSE;
        return SetMessageResult(MAKELONG(IDC_CLOSE, DC_HASDEFID));
    }
    return ModalDialog::OnMessage(message, wParam, lParam);
}

bool ProgressDialog::OnCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_CLOSE && notifyCode == BN_CLICKED) {
        CloseIfFinished();
        return true;
    }
    return ModalDialog::OnCommand(id, notifyCode, control);
}

void ProgressDialog::OnOK() {
    CloseIfFinished();
}

void ProgressDialog::OnCancel() {
    CloseIfFinished();
}

void ProgressDialog::CloseIfFinished() {
    // A click message can reach a disabled button; the worker may still run.
    if (closeButton_.IsEnabled()) EndDialog(0);
}
