#include "ui/UpdaterRunHost.h"

#include "engine/MessageStrings.h"
#include "ui/PackageSelectDialog.h"
#include "ui/ProgressDialog.h"
#include "ui/UpdaterApp.h"

namespace {

constexpr char kCaption[] = "Dravlek";

}  // namespace

UpdaterRunHost::~UpdaterRunHost() {
    if (instanceMutex_) CloseHandle(instanceMutex_);
}

bool UpdaterRunHost::TakeInstanceLock() {
    // Global\: one updater per machine, across sessions (SYSTEM and a user).
    instanceMutex_ = CreateMutexA(nullptr, TRUE, "Global\\DravlekUpdate");
    if (instanceMutex_ && GetLastError() != ERROR_ALREADY_EXISTS) return true;
    // Taken by another updater, or not even opened (made under another
    // account): either way this run must not touch the install root.
    if (instanceMutex_) CloseHandle(instanceMutex_);
    instanceMutex_ = nullptr;
    return false;
}

RecoveryReport UpdaterRunHost::RecoverInterruptedUpdates() {
    // The recovery of interrupted updates comes here, under the mutex.
    return RecoveryReport::kNothingFound;
}

bool UpdaterRunHost::Apply(PatchPackage& package, StatusSink& sink) {
    try {
        return package.Apply(sink);
    } catch (...) {
        return false;  // the staged files were removed while unwinding
    }
}

void UpdaterRunHost::ShowUsage() {
    MessageBoxA(nullptr, LoadMessageString(IDS_USAGE).c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
}

void UpdaterRunHost::ShowAnotherInstance() {}

void UpdaterRunHost::ShowRecovery(RecoveryReport) {}

bool UpdaterRunHost::Confirm() {
    // The same box as the list's Update button shows, without an owner.
    return MessageBoxA(nullptr, LoadMessageString(IDS_CONFIRM).c_str(), kCaption, MB_YESNO) == IDYES;
}

SelectionResult UpdaterRunHost::RunSelection(RunLog& log) {
    PackageSelectDialog dialog(log);
    UpdaterApp::Current().SetMainDialog(&dialog);
    dialog.DoModal();
    UpdaterApp::Current().SetMainDialog(nullptr);
    if (!dialog.UpdateRan()) return SelectionResult::kClosed;
    return dialog.UpdateApplied() ? SelectionResult::kApplied : SelectionResult::kFailed;
}

bool UpdaterRunHost::RunProgress(PatchPackage&, RunLog& log, bool closeWhenDone) {
    ProgressDialog progress(log, closeWhenDone);
    progress.DoModal();
    return progress.Applied();
}
