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

RecoveryOutcome StartupGuard::RecoverInterruptedUpdates(std::vector<std::string>& notes) {
    if (!FirstInstance()) return RecoveryOutcome::kNothingFound;
    try {
        // A folder that can be neither made nor trusted cannot be looked
        // into: the run says so rather than that nothing was found.
        std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
        if (!journals) return RecoveryOutcome::kNotExamined;
        std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
        const RecoveryOutcome outcome = ::RecoverInterruptedUpdates(*journals, *files);
        for (std::string& note : journals->TakeNotes()) notes.push_back(std::move(note));
        return outcome;
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
