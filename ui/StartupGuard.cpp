#include "ui/StartupGuard.h"

#include <windows.h>

#include <memory>

#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "engine/TargetFileSystem.h"
#include "res/resource.h"

namespace {

const char kCaption[] = "Dravlek";

}  // namespace

RecoveryOutcome StartupGuard::RecoverInterruptedUpdates() {
    if (!FirstInstance()) return RecoveryOutcome::kNothingFound;
    try {
        // A folder that can be neither found nor made holds no journal: no
        // update could have written one there.
        std::vector<std::string> notes;
        std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
        if (!journals) return RecoveryOutcome::kNothingFound;
        std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
        return ::RecoverInterruptedUpdates(*journals, *files);
    } catch (...) {
        // Out of memory halfway: the journals that were not finished stay
        // for the next start, which is what kIncomplete tells the user.
        return RecoveryOutcome::kIncomplete;
    }
}

void ShowAlreadyRunningBox() {
    MessageBoxA(nullptr, LoadMessageString(IDS_ALREADY_RUNNING).c_str(), kCaption, MB_OK | MB_ICONWARNING);
}

void ShowRecoveryBox(RecoveryOutcome outcome) {
    if (outcome == RecoveryOutcome::kUndone) {
        MessageBoxA(nullptr, LoadMessageString(IDS_UPDATE_UNDONE).c_str(), kCaption, MB_OK | MB_ICONINFORMATION);
    } else if (outcome == RecoveryOutcome::kIncomplete) {
        MessageBoxA(nullptr, LoadMessageString(IDS_UNDO_INCOMPLETE).c_str(), kCaption, MB_OK | MB_ICONWARNING);
    }
}
