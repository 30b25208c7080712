// The update hand-off: shows the status lines of an update while its own
// worker thread applies the package, and ends only once the worker has
// enabled Close and ended.
//
// Order, as the user sees it: the dialog appears with Close disabled; the
// worker (started at WM_INITDIALOG, with this dialog as its one parameter)
// applies the package, each status line replacing the last; its last act,
// however Apply ended, is to enable Close (and, with closeWhenDone, to click
// it). A worker that cannot start gives the line 116 and the same end. Run
// returns after the thread has ended, so the caller may close the package then.
#pragma once

#include <string>

#include "app/LogStatusSink.h"
#include "app/RunLog.h"
#include "engine/ApplyResult.h"
#include "engine/StatusSink.h"
#include "package/PatchPackage.h"
#include "ui/dialog/Control.h"
#include "ui/dialog/ModalDialog.h"
#include "ui/dialog/StatusBox.h"
#include "ui/dialog/WorkerThread.h"

class ProgressDialog : public ModalDialog, public StatusSink {
public:
    // package must stay open until Run returns. Every line also goes to log
    // (but the per-block ones); with closeWhenDone the dialog ends by itself
    // once the update has ended.
    ProgressDialog(PatchPackage& package, RunLog& log, bool closeWhenDone);

    // What Apply returned, once Run has returned; kFailed when nothing ran.
    ApplyResult Result() const { return result_; }

    // Runs the dialog, owned by owner (none when null), and the update;
    // DoModal's result (-1 when the dialog could not be created, and then
    // nothing was applied).
    INT_PTR Run(HWND owner);

    // Called from the worker thread: the status box's text is replaced on
    // the user-interface thread before this returns.
    void SetStatusLine(const std::string& text) override;

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    // Enter, Esc and close requests end the dialog only once Close is enabled.
    void OnOK() override;
    void OnCancel() override;

private:
    // The worker thread's entry; parameter is the dialog.
    static unsigned Work(void* parameter);
    // The last act of an update, or of a worker that could not start:
    // enables Close, and with closeWhenDone clicks it.
    void Finish();
    void CloseIfFinished();

    PatchPackage& package_;
    LogStatusSink workerSink_;  // this dialog, and the log
    bool closeWhenDone_;
    HWND dialogWindow_ = nullptr;  // set before the worker starts
    ApplyResult result_ = ApplyResult::kFailed;  // written by the worker, read after Run has joined it
    Control label_;
    StatusBox statusBox_;
    Control closeButton_;
    // Last member: destroyed first, so nothing the worker uses goes before it ends.
    WorkerThread worker_;
};

// The progress dialog over package, owned by owner (none when null), while
// its worker applies it; what the update ended with. When not even the
// dialog's window can be made, nothing is applied: the log gets line 116, and
// a box tells it unless closeWhenDone (nobody is there to answer it).
ApplyResult ApplyInProgressDialog(PatchPackage& package, RunLog& log, bool closeWhenDone, HWND owner);
