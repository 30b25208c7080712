// What one run of the program needs from Windows: the one-instance lock and
// everything shown on screen. The Windows program supplies the real one
// (ui/WindowsHost); the tests a recording fake.
#pragma once

#include "engine/ApplyResult.h"
#include "engine/Recovery.h"
#include "package/PatchPackage.h"

class RunLog;

// How the package list ended.
enum class SelectionResult {
    kClosed,   // without an update (Cancel, Esc, the close box)
    kApplied,
    kFailed,   // an update ran and its last line was a failure
    kWrongBase,  // an update ran and an installed file was not a base of its patches
};

class ProgramHost {
public:
    virtual ~ProgramHost() = default;

    // The one-instance rule: false when another instance holds it. Once
    // taken it is held until the host goes away.
    [[nodiscard]] virtual bool TakeInstanceLock() = 0;

    // Everything below shows something: a /quiet run calls none of it, a
    // /passive run only ApplyWithProgress (nobody is there to answer a box).
    virtual void ShowUsage() = 0;
    virtual void ShowAnotherInstance() = 0;
    // Box 118 for kUndone, 119 for kIncomplete.
    virtual void ShowRecovery(RecoveryOutcome outcome) = 0;
    // "Continuez?": true for Yes.
    [[nodiscard]] virtual bool Confirm() = 0;
    // The list of the current folder; an update it runs also reports to log.
    virtual SelectionResult ShowPackageList(RunLog& log) = 0;
    // The progress dialog over package (open, or not when it could not be
    // opened: the engine then says so) while its worker applies it, the lines
    // also to log. With closeWhenDone it ends by itself once the update has
    // ended.
    virtual ApplyResult ApplyWithProgress(PatchPackage& package, RunLog& log, bool closeWhenDone) = 0;
};
