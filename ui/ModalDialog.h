// A modal dialog run from a template resource with DialogBoxParamA.
//
// The dialog procedure ties the window to its C++ object at WM_INITDIALOG
// and forwards to the virtual handlers below. A dialog that its
// initialisation neither shows nor moves is centred over its owner (over
// the screen when it has none) before it first appears.
#pragma once

#include <windows.h>

class ModalDialog {
public:
    explicit ModalDialog(int templateId) : templateId_(templateId) {}
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog until EndDialog. Without an owner the application's
    // main window owns it (and is disabled meanwhile). -1 when the dialog
    // cannot be created.
    INT_PTR DoModal(HWND owner = nullptr);

    HWND Handle() const { return window_; }
    void EndDialog(INT_PTR result);

protected:
    // Binds the control members to their ids; runs before OnInitDialog.
    virtual void DoDataExchange() {}
    // True lets the dialog manager give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    // Returns true when handled; the default sends IDOK and IDCANCEL on.
    virtual bool OnCommand(int id, int notifyCode, HWND control);
    // Enter without a default button; the default ends the dialog.
    virtual void OnOK() { EndDialog(IDOK); }
    // Esc, the close box and the system close command end up here.
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // A timer of the dialog's own (SetTimer on Handle()) went off.
    virtual void OnTimer(UINT_PTR) {}
    // Returns true when it painted; false leaves painting to the system.
    virtual bool OnPaint() { return false; }
    // The id that DM_GETDEFID reports (the button Enter presses); 0 leaves
    // the answer to the dialog manager.
    virtual int DefaultButtonId() const { return 0; }
    // The icon dragged while the window is minimized; null for the default.
    virtual HICON OnQueryDragIcon() { return nullptr; }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleInitDialog();
    void CenterOverOwner();

    int templateId_;
    HWND window_ = nullptr;
};
