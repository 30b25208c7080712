// A read-only edit control that shows one status line at a time and paints
// at most every kRepaintIntervalMs.
//
// Why: an update sends a line after every 4096-byte block, and painting the
// box for each one costs more than setting its text. The box takes every line
// as it comes (each one is recorded, and the last one is always shown), but
// skips the paints that come too soon after the previous one; a timer paints
// what was skipped, so the newest line is on screen a moment later.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog/Control.h"

class StatusBox : public Control {
public:
    static constexpr DWORD kRepaintIntervalMs = 40;

    StatusBox() = default;
    StatusBox(const StatusBox&) = delete;
    StatusBox& operator=(const StatusBox&) = delete;

    // Binds the control and puts the throttle in its window procedure. False
    // when the control is missing or cannot be subclassed (it then paints
    // every line, unthrottled).
    [[nodiscard]] bool Attach(HWND dialog, int id);

    // From any thread: the text is the box's when this returns (a call from
    // another thread waits for the user-interface thread to take it).
    void SetLine(const std::string& text) const { SetText(text); }

private:
    static LRESULT CALLBACK WindowProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC original_ = nullptr;
    DWORD lastPaint_ = 0;
    bool paintPending_ = false;
};
