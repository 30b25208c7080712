// What one run of the program needs from the system and the screen. The
// Windows program supplies the real one; the tests a recording fake.
#pragma once

#include <string>
#include <vector>

#include "engine/Recovery.h"
#include "engine/StatusSink.h"
#include "package/PatchPackage.h"

class RunLog;

// How the selection dialog ended.
enum class [[nodiscard]] SelectionResult {
    kClosed,   // without an update (Cancel, Esc, the close box)
    kApplied,
    kFailed,   // an update ran and its last line was a failure
};

class RunHost {
public:
    virtual ~RunHost() = default;

    // The one-instance rule: false when another instance holds it. Once
    // taken it is held until the host goes away.
    [[nodiscard]] virtual bool TakeInstanceLock() = 0;
    // Only once the lock is taken. notes gets the lines for the log about
    // journals and folders that were set aside, not obeyed.
    virtual RecoveryOutcome RecoverInterruptedUpdates(std::vector<std::string>& notes) = 0;

    // Applies an open package with nothing on screen, reporting to sink.
    [[nodiscard]] virtual bool Apply(PatchPackage& package, StatusSink& sink) = 0;

    // Everything below shows something: a /quiet run calls none of it, a
    // /passive run only RunProgress (nobody is there to answer a box).
    virtual void ShowUsage() = 0;
    virtual void ShowAnotherInstance() = 0;
    virtual void ShowRecovery(RecoveryOutcome outcome) = 0;
    // "Continuez?": true for Yes.
    [[nodiscard]] virtual bool Confirm() = 0;
    // The list of the current folder; an update it runs also reports to log.
    virtual SelectionResult RunSelection(RunLog& log) = 0;
    // The progress dialog over package (open, or not when it could not be
    // opened: the engine then says so), its lines also to log. With
    // closeWhenDone it ends by itself once the update has ended. Apply's result.
    [[nodiscard]] virtual bool RunProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) = 0;
};
