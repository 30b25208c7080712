#include "ui/UpdaterRunHost.h"

#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/UpdateRun.h"
#include "ui/PackageSelectDialog.h"
#include "ui/ProgressDialog.h"

namespace {

constexpr char kCaption[] = "Dravlek";

}  // namespace

bool UpdaterRunHost::TakeInstanceLock() {
    startup_.emplace();
    return startup_->FirstInstance();
}

RecoveryOutcome UpdaterRunHost::RecoverInterruptedUpdates(std::vector<std::string>& notes) {
    return startup_->RecoverInterruptedUpdates(notes);
}

bool UpdaterRunHost::Apply(PatchPackage& package, StatusSink& sink) {
    return RunUpdate([&] { return ApplyPackage(package, sink); }, sink, [] {});
}

void UpdaterRunHost::ShowUsage() {
    MessageBoxA(nullptr, LoadMessageString(IDS_USAGE).c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
}

void UpdaterRunHost::ShowAnotherInstance() {
    ShowAlreadyRunningBox();
}

void UpdaterRunHost::ShowRecovery(RecoveryOutcome outcome) {
    ShowRecoveryBox(outcome);
}

bool UpdaterRunHost::Confirm() {
    // The same box as the list's Update button shows, without an owner.
    return MessageBoxA(nullptr, LoadMessageString(IDS_CONFIRM).c_str(), kCaption, MB_YESNO) == IDYES;
}

SelectionResult UpdaterRunHost::RunSelection(RunLog& log) {
    // The look of the controls comes from the manifest (common controls v6).
    PackageSelectDialog dialog(log);
    application_.SetMainDialog(&dialog);
    const INT_PTR result = dialog.DoModal();
    application_.SetMainDialog(nullptr);
    if (result == -1) return SelectionResult::kFailed;  // no window: nothing could be chosen
    if (!dialog.UpdateRan()) return SelectionResult::kClosed;
    return dialog.UpdateApplied() ? SelectionResult::kApplied : SelectionResult::kFailed;
}

bool UpdaterRunHost::RunProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) {
    ProgressDialog progress(package, log, closeWhenDone);
    if (progress.Run() == -1) {
        // No window, so no worker either: nothing was applied.
        static_cast<void>(log.WriteLine(LoadMessageString(IDS_START_FAILED)));  // the box still says it
        if (!closeWhenDone) MessageBoxA(nullptr, LoadMessageString(IDS_START_FAILED).c_str(), kCaption, MB_OK | MB_ICONERROR);
        return false;
    }
    return progress.Applied();
}
