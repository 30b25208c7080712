#include "ui/ModalDialog.h"

#include "ui/Application.h"

INT_PTR ModalDialog::DoModal(HWND owner) {
    Application* application = Application::Current();
    if (!owner && application) owner = application->MainWindow();
    HINSTANCE instance = application ? application->Instance() : GetModuleHandleA(nullptr);
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId_), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void ModalDialog::EndDialog(INT_PTR result) {
    if (window_) ::EndDialog(window_, result);
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
    ModalDialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<ModalDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->window_ = window;
        return dialog->HandleInitDialog();
    }
    dialog = reinterpret_cast<ModalDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!dialog) return FALSE;  // messages before WM_INITDIALOG

    switch (message) {
    case WM_COMMAND:
        return dialog->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_PAINT:
        return dialog->OnPaint() ? TRUE : FALSE;
    case WM_TIMER:
        dialog->OnTimer(wParam);
        return TRUE;
    case DM_GETDEFID: {
        int id = dialog->DefaultButtonId();
        if (id == 0) return FALSE;
        SetWindowLongPtrA(window, DWLP_MSGRESULT, MAKELONG(id, DC_HASDEFID));
        return TRUE;
    }
    case WM_QUERYDRAGICON:
        // One of the messages whose result is the dialog procedure's return value.
        return reinterpret_cast<INT_PTR>(dialog->OnQueryDragIcon());
    case WM_NCDESTROY:
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->window_ = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}
