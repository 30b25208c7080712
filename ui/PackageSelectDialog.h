// The main window: lists the packages of the current directory by title and
// runs the chosen one's update after a confirmation.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/RunLog.h"
#include "engine/ApplyResult.h"
#include "ui/dialog/Control.h"
#include "ui/dialog/ListBox.h"
#include "ui/dialog/ModalDialog.h"

class PackageSelectDialog : public ModalDialog {
public:
    // An update it runs also reports to log.
    explicit PackageSelectDialog(RunLog& log);

    // Whether Update and Yes started an update, and what Apply returned.
    bool UpdateRan() const { return updateRan_; }
    ApplyResult UpdateResult() const { return updateResult_; }

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool OnCommand(int id, int notifyCode, HWND control) override;

private:
    void FindPackageFiles();
    void AddPackageRows();
    void OnUpdate();
    // Draws the icon in place of the minimized window; false leaves painting
    // to the system.
    bool PaintIconic();

    Control updateButton_;
    Control cancelButton_;
    Control prompt_;
    ListBox packageList_;
    HICON icon_;  // a shared resource icon: never destroyed
    // Package files in the order the directory search reported them; each
    // row of the list carries its file's index here.
    std::vector<std::string> fileNames_;
    RunLog& log_;
    bool updateRan_ = false;
    ApplyResult updateResult_ = ApplyResult::kFailed;
};
