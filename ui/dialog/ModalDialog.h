// A modal dialog run from a template resource with DialogBoxParamA.
//
// The dialog procedure ties the window to its C++ object at WM_INITDIALOG
// and hands every later message to OnMessage, which sends WM_COMMAND on to
// OnCommand and, for the OK and Cancel buttons, to OnOK and OnCancel. A
// dialog that its initialisation neither shows nor moves is centred over its
// owner (over the screen when it has none) before it first appears.
#pragma once

#include <windows.h>

class ModalDialog {
public:
    explicit ModalDialog(int templateId) : templateId_(templateId) {}
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog until EndDialog, owned by owner (disabled meanwhile),
    // or by nothing when it is null. -1 when the dialog cannot be created.
    [[nodiscard]] INT_PTR DoModal(HWND owner);

    HWND Handle() const { return window_; }
    void EndDialog(INT_PTR result);

protected:
    // Binds the control members to their ids; runs before OnInitDialog.
    virtual void DoDataExchange() {}
    // True lets the dialog manager give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    // Every message after WM_INITDIALOG; the result is the dialog procedure's
    // (FALSE: not handled). An override handles what it needs and passes the
    // rest on to this one, which sends WM_COMMAND to OnCommand.
    virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Returns true when handled; the default sends IDOK and IDCANCEL on.
    virtual bool OnCommand(int id, int notifyCode, HWND control);
    // Enter without a default button; the default ends the dialog.
    virtual void OnOK() { EndDialog(IDOK); }
    // Esc, the close box and the system close command end up here.
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // For messages whose result goes through DWLP_MSGRESULT (DM_GETDEFID...):
    // stores it and returns TRUE, the value OnMessage then returns.
    INT_PTR SetMessageResult(LONG_PTR result);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleInitDialog();
    void CenterOverOwner();

    int templateId_;
    HWND window_ = nullptr;
};
