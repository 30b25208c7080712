// The machine's updates as the program sees them once it holds the
// one-instance lock: the journals of interrupted ones in the system's journal
// folder, and a package applied with nothing on screen. Portable: the engine
// supplies the system's folder, install roots and files. The tests derive a
// fake that records the calls instead.
#pragma once

#include <string>
#include <vector>

#include "engine/ApplyResult.h"
#include "engine/Recovery.h"
#include "engine/StatusSink.h"
#include "package/PatchPackage.h"

class MachineUpdates {
public:
    virtual ~MachineUpdates() = default;

    // Recovers every journal of the system's journal folder (RecoverJournals).
    // notes gets the lines for the log about journals and folders that were
    // set aside, not obeyed.
    virtual RecoveryOutcome RecoverInterrupted(std::vector<std::string>& notes);
    // Applies an open package to its product behind the barrier
    // (ApplyGuarded), reporting to sink.
    virtual ApplyResult ApplyQuietly(PatchPackage& package, StatusSink& sink);
};
