// The main window: lists the packages of the current directory by title and
// runs the chosen one's update after a confirmation.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/RunLog.h"
#include "ui/Control.h"
#include "ui/ListBox.h"
#include "ui/ModalDialog.h"

class PackageSelectDialog : public ModalDialog {
public:
    // An update it runs also reports to log.
    explicit PackageSelectDialog(RunLog& log);

    // Whether Update and Yes started an update, and what Apply returned.
    bool UpdateRan() const { return updateRan_; }
    bool UpdateApplied() const { return updateApplied_; }

protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    bool OnPaint() override;
    HICON OnQueryDragIcon() override { return icon_; }

private:
    void FindPackageFiles();
    void AddPackageRows();
    void OnUpdate();

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
    bool updateApplied_ = false;
};
