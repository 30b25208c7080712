// The updater's application object: the one place that decides what the
// program does at start, and in which order.
#pragma once

#include "ui/dialog/Application.h"

class UpdaterApp : public Application {
public:
    static constexpr int kExitOk = 0;

protected:
    // What comes before any window: nothing yet (see Run).
    bool InitInstance(int& exitCode) override;
    // Runs what the command line asks for (ProgramRun); its exit code.
    int Run() override;
};
