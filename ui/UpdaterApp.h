// The updater's application object: the one place that decides what the
// program does at start, and in which order.
#pragma once

#include "ui/dialog/Application.h"

class UpdaterApp : public Application {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitNoWindow = 2;  // the main dialog could not be created

protected:
    // What comes before any window: recovery of an interrupted update.
    bool InitInstance(int& exitCode) override;
    // Shows the package selection dialog; the program ends when it ends.
    int Run() override;
};
