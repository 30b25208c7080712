// A list box control whose rows carry a value each (the per-row data).
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog/Control.h"

class ListBox : public Control {
public:
    // Adds a row (at its sorted place when the list sorts) tied to value.
    // False when the row could not be added.
    bool AddRow(const std::string& text, LPARAM value) const {
        LRESULT row = SendMessageA(Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (row == LB_ERR || row == LB_ERRSPACE) return false;
        if (SendMessageA(Handle(), LB_SETITEMDATA, static_cast<WPARAM>(row), value) == LB_ERR) {
            SendMessageA(Handle(), LB_DELETESTRING, static_cast<WPARAM>(row), 0);
            return false;
        }
        return true;
    }
    // The selected row, or -1 when none is.
    int GetSelectedRow() const {
        LRESULT row = SendMessageA(Handle(), LB_GETCURSEL, 0, 0);
        return row == LB_ERR ? -1 : static_cast<int>(row);
    }
    LPARAM GetRowValue(int row) const {
        return SendMessageA(Handle(), LB_GETITEMDATA, static_cast<WPARAM>(row), 0);
    }
};
