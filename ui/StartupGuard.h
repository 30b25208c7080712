// What the program does before anything else: it becomes the one running
// update of the machine (InstanceMutex, held until this object goes, so for
// the whole program when it lives in the start routine),
// then puts back what interrupted updates left half done, from their
// journals. Each outcome is a value; the boxes that tell the user are apart,
// so that a start without windows can report the same outcome otherwise.
#pragma once

#include <string>
#include <vector>

#include "engine/Recovery.h"
#include "ui/InstanceMutex.h"

class StartupGuard {
public:
    // False when another instance runs: nothing was recovered or touched.
    bool FirstInstance() const { return mutex_.Owned(); }

    // Recovers every journal of the machine's journal folder; only once
    // FirstInstance is true. kIncomplete when the recovery failed outright;
    // notes gets the lines for the log about what was set aside.
    RecoveryOutcome RecoverInterruptedUpdates(std::vector<std::string>& notes);

private:
    InstanceMutex mutex_;
};

// Text 120 in a warning box: another update is running.
void ShowAlreadyRunningBox();
// Text 118 (kUndone) or 119 (kIncomplete) in a box; nothing for the others.
void ShowRecoveryBox(RecoveryOutcome outcome);
