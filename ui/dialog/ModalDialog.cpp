#include "ui/dialog/ModalDialog.h"

INT_PTR ModalDialog::DoModal(HWND owner) {
    // The template is the program's own resource.
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void ModalDialog::EndDialog(INT_PTR result) {
    if (window_) ::EndDialog(window_, result);
}

INT_PTR ModalDialog::SetMessageResult(LONG_PTR result) {
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR ModalDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COMMAND) return FALSE;
    return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
}

bool ModalDialog::OnCommand(int id, int notifyCode, HWND) {
    if (notifyCode != BN_CLICKED) return false;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

INT_PTR ModalDialog::HandleInitDialog() {
    RECT before;
    GetWindowRect(window_, &before);
    DoDataExchange();
    bool defaultFocus = OnInitDialog();
    RECT after;
    GetWindowRect(window_, &after);
    if (!IsWindowVisible(window_) && EqualRect(&before, &after)) CenterOverOwner();
    return defaultFocus ? TRUE : FALSE;
}

void ModalDialog::CenterOverOwner() {
    RECT area;
    HWND owner = GetWindow(window_, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT own;
    GetWindowRect(window_, &own);
    int width = own.right - own.left;
    int height = own.bottom - own.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK ModalDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ModalDialog* dialog = reinterpret_cast<ModalDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->window_ = window;
        try {
            return dialog->HandleInitDialog();
        } catch (...) {
            // A dialog that could not set itself up would be shown half made:
            // it ends at once instead, as if it could not be created.
            ::EndDialog(window, -1);
            return TRUE;
        }
    }
    ModalDialog* dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog) return FALSE;  // messages before WM_INITDIALOG

    if (message == WM_NCDESTROY) {
        // The object may outlive its window (or the reverse): untie them.
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->window_ = nullptr;
        return FALSE;
    }
    // No exception may unwind through the system's code that called us.
    try {
        return dialog->OnMessage(message, wParam, lParam);
    } catch (...) {
        return TRUE;
    }
}
