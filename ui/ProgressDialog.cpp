#include "ui/ProgressDialog.h"

#include "engine/MessageStrings.h"
#include "res/resource.h"
#include "ui/ApplyWorker.h"
#include "ui/WorkerThread.h"

namespace {

constexpr UINT_PTR kRepaintTimer = 1;
constexpr DWORD kRepaintIntervalMs = 40;

}  // namespace

ProgressDialog* ProgressDialog::running_ = nullptr;

ProgressDialog::ProgressDialog(RunLog& log, bool closeWhenDone)
    : ModalDialog(IDD_PROGRESS), workerSink_(*this, log), closeWhenDone_(closeWhenDone) {}

void ProgressDialog::Finish(bool applied) {
    applied_ = applied;
    closeButton_.Enable(true);
    // A click on Close, queued behind everything the worker has shown.
    if (closeWhenDone_) {
        PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(closeButton_.Handle()));
    }
}

void ProgressDialog::DoDataExchange() {
    label_.Bind(Handle(), IDC_STATUS_LABEL);
    statusBox_.Bind(Handle(), IDC_STATUS_BOX);
    closeButton_.Bind(Handle(), IDC_CLOSE);
}

bool ProgressDialog::OnInitDialog() {
    SetWindowTextA(Handle(), LoadMessageString(IDS_PROGRESS_CAPTION).c_str());
    closeButton_.SetText(LoadMessageString(IDS_CLOSE_BUTTON));
    label_.SetText(LoadMessageString(IDS_STATUS_LABEL));

    // A status line comes after every 4096-byte block, and painting the box
    // for each costs more than setting its text. The box takes every line as
    // it comes, but paints at most every 40 ms; a paint put off is done by
    // the timer, so the newest line is on screen a moment later.
    HWND box = statusBox_.Handle();
    SetWindowLongPtrA(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    statusBoxProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusBoxProc)));
    SetTimer(Handle(), kRepaintTimer, kRepaintIntervalMs, nullptr);

    running_ = this;
    if (!StartWorkerThread(ApplyWorker, nullptr)) {
        // Nothing will enable Close otherwise; say so and let the user leave.
        SetStatusLine(LoadMessageString(IDS_START_FAILED));
        closeButton_.Enable(true);
    }
    return true;
}

LRESULT CALLBACK ProgressDialog::StatusBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    ProgressDialog* dialog = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrA(box, GWLP_USERDATA));
    if (message == WM_PAINT) {
        DWORD now = GetTickCount();
        if (now - dialog->lastPaint_ < kRepaintIntervalMs) {
            ValidateRect(box, nullptr);
            dialog->paintPending_ = true;
            return 0;
        }
        dialog->lastPaint_ = now;
    }
    return CallWindowProcA(dialog->statusBoxProc_, box, message, wParam, lParam);
}

void ProgressDialog::OnTimer(UINT_PTR id) {
    if (id != kRepaintTimer || !paintPending_) return;
    paintPending_ = false;
    lastPaint_ = GetTickCount() - kRepaintIntervalMs;
    InvalidateRect(statusBox_.Handle(), nullptr, TRUE);
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
