#include "app/MachineUpdates.h"

#include <memory>

#include "app/GuardedApply.h"
#include "app/JournalRecovery.h"
#include "engine/ApplyEngine.h"

RecoveryOutcome MachineUpdates::RecoverInterrupted(std::vector<std::string>& notes) {
    try {
        std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
        std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
        return RecoverJournals(journals.get(), *files, notes);
    } catch (...) {
        // Out of memory before anything was looked at: the journals stay for
        // the next start, which is what kIncomplete tells the user.
        return RecoveryOutcome::kIncomplete;
    }
}

ApplyResult MachineUpdates::ApplyQuietly(PatchPackage& package, StatusSink& sink) {
    return ApplyGuarded([&] { return ApplyPackage(package, sink); }, sink);
}
