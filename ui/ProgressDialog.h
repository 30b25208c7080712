// Shows the status lines of an update while ApplyWorker applies the
// application's package; ends only after the worker has enabled Close.
#pragma once

#include <string>

#include "app/LogStatusSink.h"
#include "app/RunLog.h"
#include "engine/StatusSink.h"
#include "ui/Control.h"
#include "ui/ModalDialog.h"

class ProgressDialog : public ModalDialog, public StatusSink {
public:
    // Every line also goes to log (but the per-block ones). With
    // closeWhenDone the dialog ends by itself once the update has ended.
    ProgressDialog(RunLog& log, bool closeWhenDone);

    // What Apply returned; false until the worker has finished.
    bool Applied() const { return applied_; }
    // The worker's sink: the status box and the log.
    StatusSink& WorkerSink() { return workerSink_; }
    // The worker's last act: keeps Apply's result and enables Close.
    void Finish(bool applied);

    // Called from the worker thread: the status box's text is replaced on
    // the user-interface thread before this returns.
    void SetStatusLine(const std::string& text) override;

    // The running dialog, written before the worker starts and only read
    // afterwards (by the worker).
    static ProgressDialog* Running() { return running_; }

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    // Enter, Esc and close requests end the dialog only once Close is enabled.
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;
    // Close, once enabled, is what Enter presses, also from the status box.
    int DefaultButtonId() const override;

private:
    static LRESULT CALLBACK StatusBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);

    Control label_;
    Control statusBox_;
    Control closeButton_;

    // Painting of the status box, at most every kRepaintIntervalMs.
    WNDPROC statusBoxProc_ = nullptr;
    DWORD lastPaint_ = 0;
    bool paintPending_ = false;

    LogStatusSink workerSink_;
    bool closeWhenDone_;
    bool applied_ = false;

    static ProgressDialog* running_;
};
