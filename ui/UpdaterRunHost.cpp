#include "ui/UpdaterRunHost.h"

#include <memory>

#include "engine/ApplyEngine.h"
#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "engine/UpdateRun.h"
#include "ui/PackageSelectDialog.h"
#include "ui/ProgressDialog.h"

namespace {

constexpr char kCaption[] = "Dravlek";

}  // namespace

UpdaterRunHost::~UpdaterRunHost() {
    if (!instanceMutex_) return;
    ReleaseMutex(instanceMutex_);
    CloseHandle(instanceMutex_);
}

bool UpdaterRunHost::TakeInstanceLock() {
    // Global\: one updater per machine, across sessions (SYSTEM and a user).
    instanceMutex_ = CreateMutexA(nullptr, FALSE, "Global\\DravlekUpdate");
    // A holder that ended without letting go leaves it abandoned: free.
    const DWORD wait = instanceMutex_ ? WaitForSingleObject(instanceMutex_, 0) : WAIT_FAILED;
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return true;
    // Taken by another updater, or not even opened (made under another
    // account): either way this run must not touch the install root.
    if (instanceMutex_) CloseHandle(instanceMutex_);
    instanceMutex_ = nullptr;
    return false;
}

RecoveryOutcome UpdaterRunHost::RecoverInterruptedUpdates() {
    try {
        // A folder that can be neither found nor made holds no journal.
        std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder();
        if (!journals) return RecoveryOutcome::kNothingFound;
        std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
        return ::RecoverInterruptedUpdates(*journals, *files);
    } catch (...) {
        // Out of memory halfway: what was not finished waits for the next start.
        return RecoveryOutcome::kIncomplete;
    }
}

bool UpdaterRunHost::Apply(PatchPackage& package, StatusSink& sink) {
    return RunUpdate([&] { return ApplyPackage(package, sink); }, sink, [] {});
}

void UpdaterRunHost::ShowUsage() {
    MessageBoxA(nullptr, LoadMessageString(IDS_USAGE).c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
}

void UpdaterRunHost::ShowAnotherInstance() {
    MessageBoxA(nullptr, LoadMessageString(IDS_ALREADY_RUNNING).c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

void UpdaterRunHost::ShowRecovery(RecoveryOutcome outcome) {
    if (outcome == RecoveryOutcome::kUndone) {
        MessageBoxA(nullptr, LoadMessageString(IDS_UPDATE_UNDONE).c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
    } else if (outcome == RecoveryOutcome::kIncomplete) {
        MessageBoxA(nullptr, LoadMessageString(IDS_UNDO_INCOMPLETE).c_str(), kCaption, MB_OK | MB_ICONWARNING);
    }
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
        log.WriteLine(LoadMessageString(IDS_START_FAILED));
        if (!closeWhenDone) MessageBoxA(nullptr, LoadMessageString(IDS_START_FAILED).c_str(), kCaption, MB_OK | MB_ICONERROR);
        return false;
    }
    return progress.Applied();
}
