// A child control of a dialog, bound by its id. The dialog owns the window.
#pragma once

#include <windows.h>

#include <string>

class Control {
public:
    // Looks the control up by id; later calls do nothing if it is missing.
    void Bind(HWND dialog, int id) { window_ = GetDlgItem(dialog, id); }
    HWND Handle() const { return window_; }

    // Code page 1252 text, passed to the window unchanged.
    void SetText(const std::string& text) const { SetWindowTextA(window_, text.c_str()); }
    void Enable(bool enabled) const { EnableWindow(window_, enabled ? TRUE : FALSE); }
    bool IsEnabled() const { return window_ && IsWindowEnabled(window_); }

private:
    HWND window_ = nullptr;
};
