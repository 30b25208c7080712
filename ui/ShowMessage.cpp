#include "ui/ShowMessage.h"

#include "engine/MessageStrings.h"

namespace {

constexpr char kCaption[] = "Dravlek";

}  // namespace

int ShowMessage(int textId, UINT flags, HWND owner) {
    return MessageBoxA(owner, LoadMessageString(textId).c_str(), kCaption, flags);
}

bool ConfirmUpdate(HWND owner) {
    return ShowMessage(IDS_CONFIRM, MB_YESNO, owner) == IDYES;
}
