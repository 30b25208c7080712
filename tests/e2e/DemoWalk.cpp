// The demo's scripted walk-through: starts the updater in the demo folder,
// selects the first package, updates it and closes, pausing at each step so
// that the demo script can take a screenshot. At each step it creates
// <steps>\<name>.ready and waits for the script's <steps>\<name>.done.
//
// Usage: demo_walk <dravlek-update.exe> <demo folder> <steps folder>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/UpdaterProcess.h"

namespace {

bool Step(const std::string& steps, const std::string& name) {
    WriteFileBytes(steps + "\\" + name + ".ready", "");
    bool done = WaitFor([&] { return FileExists(steps + "\\" + name + ".done"); }, 30000);
    if (!done) std::printf("demo_walk: no screenshot of %s\n", name.c_str());
    return done;
}

bool Fail(const char* what) {
    std::printf("demo_walk: %s\n", what);
    return false;
}

bool Walk(const std::string& updater, const std::string& folder, const std::string& steps) {
    UpdaterProcess run({updater, "", steps}, folder, "");
    if (!run.Ready()) return Fail(run.Problem().c_str());
    if (!run.ClickRow(0)) return Fail("could not select a package");
    Step(steps, "1-selection");

    run.Click(run.Item(IDC_UPDATE));
    HWND box = run.WaitForConfirmation();
    if (!box) return Fail("no confirmation box");
    Step(steps, "2-confirmation");

    run.Click(GetDlgItem(box, IDYES));
    HWND progress = run.WaitForProgress();
    if (!progress) return Fail("no progress dialog");
    HWND status = GetDlgItem(progress, IDC_STATUS_BOX);
    HWND close = GetDlgItem(progress, IDC_CLOSE);
    // A progress line, well before the end, makes the best picture.
    WaitFor([&] {
        std::string line = WindowText(status);
        return IsWindowEnabled(close) || (line.find(" %)") != std::string::npos && line.find("(100 %)") == std::string::npos &&
                                          line.find("(1 %)") == std::string::npos);
    }, 30000);
    Step(steps, "3-progress");

    if (!WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, 120000)) return Fail("the update did not finish");
    Step(steps, "4-done");
    run.Click(close);
    return run.WaitForExit() || Fail("the updater did not exit");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: demo_walk <dravlek-update.exe> <demo folder> <steps folder>\n");
        return 2;
    }
    return Walk(argv[1], argv[2], argv[3]) ? 0 : 1;
}
