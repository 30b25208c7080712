#include "ui/ProgressDialog.h"

#include "engine/MessageStrings.h"
#include "res/resource.h"
#include "ui/ApplyWorker.h"
#include "ui/WorkerThread.h"

ProgressDialog* ProgressDialog::running_ = nullptr;
Control* ProgressDialog::runningCloseButton_ = nullptr;

ProgressDialog::ProgressDialog() : ModalDialog(IDD_PROGRESS) {}

void ProgressDialog::DoDataExchange() {
    label_.Bind(Handle(), IDC_STATUS_LABEL);
    statusBox_.Bind(Handle(), IDC_STATUS_BOX);
    closeButton_.Bind(Handle(), IDC_CLOSE);
}

bool ProgressDialog::OnInitDialog() {
    SetWindowTextA(Handle(), LoadMessageString(IDS_PROGRESS_CAPTION).c_str());
    closeButton_.SetText(LoadMessageString(IDS_CLOSE_BUTTON));
    label_.SetText(LoadMessageString(IDS_STATUS_LABEL));

    running_ = this;
    runningCloseButton_ = &closeButton_;
    if (!StartWorkerThread(ApplyWorker, nullptr)) {
        // Nothing will enable Close otherwise; say so and let the user leave.
        SetStatusLine(LoadMessageString(IDS_START_FAILED));
        closeButton_.Enable(true);
    }
    return true;
}

void ProgressDialog::SetStatusLine(const std::string& text) {
    SetWindowTextA(statusBox_.Handle(), text.c_str());
}

bool ProgressDialog::OnCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_CLOSE && notifyCode == BN_CLICKED) {
        // A click message can reach a disabled button; the worker may still run.
        if (closeButton_.IsEnabled()) EndDialog(0);
        return true;
    }
    return ModalDialog::OnCommand(id, notifyCode, control);
}

void ProgressDialog::OnOK() {
    if (closeButton_.IsEnabled()) EndDialog(0);
}

void ProgressDialog::OnCancel() {
    if (closeButton_.IsEnabled()) EndDialog(0);
}

int ProgressDialog::DefaultButtonId() const {
    return closeButton_.IsEnabled() ? IDC_CLOSE : 0;
}
