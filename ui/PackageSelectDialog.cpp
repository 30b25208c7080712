#include "ui/PackageSelectDialog.h"

#include "app/PackageFileName.h"
#include "engine/MessageStrings.h"
#include "package/PatchPackage.h"
#include "res/resource.h"
#include "ui/ProgressDialog.h"
#include "ui/ShowMessage.h"
#include "win32/Handles.h"

PackageSelectDialog::PackageSelectDialog(RunLog& log)
    : ModalDialog(IDD_PACKAGE_SELECT),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP))),
      log_(log) {}

void PackageSelectDialog::DoDataExchange() {
    updateButton_.Bind(Handle(), IDC_UPDATE);
    cancelButton_.Bind(Handle(), IDCANCEL);
    prompt_.Bind(Handle(), IDC_PACKAGE_PROMPT);
    packageList_.Bind(Handle(), IDC_PACKAGE_LIST);
}

bool PackageSelectDialog::OnInitDialog() {
    SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    FindPackageFiles();
    AddPackageRows();

    prompt_.SetText(LoadMessageString(IDS_SELECT_PROMPT));
    updateButton_.SetText(LoadMessageString(IDS_UPDATE_BUTTON));
    cancelButton_.SetText(LoadMessageString(IDS_CANCEL_BUTTON));
    updateButton_.Enable(false);
    return true;
}

void PackageSelectDialog::FindPackageFiles() {
    for (const char* pattern : kPackagePatterns) {
        WIN32_FIND_DATAA found;
        UniqueFindHandle search(FindFirstFileA(pattern, &found));
        if (!search) continue;
        do {
            // The pattern also matches through short names: "x.dvkz" is not one.
            if (IsPackageFileName(found.cFileName)) fileNames_.push_back(found.cFileName);
        } while (FindNextFileA(search.Get(), &found));
    }
}

void PackageSelectDialog::AddPackageRows() {
    // One reader for every file; each Open starts from a clean stream state.
    PatchPackage titleReader;
    for (std::size_t index = 0; index < fileNames_.size(); ++index) {
        // A file that does not open as a package (unreadable, damaged, a
        // directory) gets no row rather than some other file's title.
        if (!titleReader.Open(fileNames_[index])) continue;
        bool added = packageList_.AddRow(titleReader.GetTitle(), static_cast<LPARAM>(index));
        titleReader.Close();
        // Only when the list holds no more (out of memory) does a row fail.
        if (!added) return;
    }
}

bool PackageSelectDialog::OnCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_UPDATE && notifyCode == BN_CLICKED) {
        OnUpdate();
        return true;
    }
    if (id == IDC_PACKAGE_LIST && notifyCode == LBN_SELCHANGE) {
        updateButton_.Enable(true);
        return true;
    }
    return ModalDialog::OnCommand(id, notifyCode, control);
}

void PackageSelectDialog::OnUpdate() {
    int row = packageList_.GetSelectedRow();
    if (row < 0) return;
    if (!ConfirmUpdate(Handle())) return;

    LPARAM index = packageList_.GetRowValue(row);
    if (index < 0 || static_cast<std::size_t>(index) >= fileNames_.size()) return;

    // If the file vanished or changed since it was listed, Open fails and the
    // progress dialog shows that the package cannot be read; nothing is applied.
    PatchPackage package;
    static_cast<void>(package.Open(fileNames_[static_cast<std::size_t>(index)]));
    updateRan_ = true;
    // The worker has ended when this returns: the package may close.
    updateResult_ = ApplyInProgressDialog(package, log_, false, Handle());
    package.Close();
    // One update per run: WM_QUIT also ends this dialog's own modal loop
    // (the dialog manager passes it on), and with it the program.
    PostQuitMessage(0);
}

INT_PTR PackageSelectDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        return PaintIconic() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        // One of the messages whose result is the dialog procedure's return value.
        return reinterpret_cast<INT_PTR>(icon_);
    default:
        return ModalDialog::OnMessage(message, wParam, lParam);
    }
}

bool PackageSelectDialog::PaintIconic() {
    if (!IsIconic(Handle())) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int iconWidth = GetSystemMetrics(SM_CXICON);
    int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(Handle(), &client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(Handle(), &paint);
    return true;
}
