#include "ui/dialog/StatusBox.h"

namespace {

// The edit control runs timers of its own on its window (caret, scrolling);
// an id far from the small numbers it uses keeps ours apart.
constexpr UINT_PTR kRepaintTimer = 0x5354;

}  // namespace

bool StatusBox::Attach(HWND dialog, int id) {
    Bind(dialog, id);
    HWND box = Handle();
    if (!box) return false;
    SetWindowLongPtrA(box, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
    if (!original_) return false;
    // The timer dies with the window; nothing has to kill it.
    return SetTimer(box, kRepaintTimer, kRepaintIntervalMs, nullptr) != 0;
}

LRESULT CALLBACK StatusBox::WindowProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    StatusBox* self = reinterpret_cast<StatusBox*>(GetWindowLongPtrA(box, GWLP_USERDATA));
    return self->OnMessage(message, wParam, lParam);
}

LRESULT StatusBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND box = Handle();
    switch (message) {
    case WM_PAINT: {
        DWORD now = GetTickCount();
        // Unsigned difference: right across the tick count's wrap-around.
        if (now - lastPaint_ < kRepaintIntervalMs) {
            // Marking the box valid without painting stops the system from
            // sending WM_PAINT again and again until it is painted.
            ValidateRect(box, nullptr);
            paintPending_ = true;
            return 0;
        }
        lastPaint_ = now;
        break;
    }
    case WM_TIMER:
        if (wParam != kRepaintTimer) break;
        if (paintPending_) {
            paintPending_ = false;
            // Back-dated, so the paint this asks for is not itself put off.
            lastPaint_ = GetTickCount() - kRepaintIntervalMs;
            InvalidateRect(box, nullptr, TRUE);
        }
        return 0;
    case WM_NCDESTROY: {
        // The window goes before the object may: give it its own procedure back.
        WNDPROC original = original_;
        SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        SetWindowLongPtrA(box, GWLP_USERDATA, 0);
        original_ = nullptr;
        return CallWindowProcA(original, box, message, wParam, lParam);
    }
    default:
        break;
    }
    return CallWindowProcA(original_, box, message, wParam, lParam);
}
