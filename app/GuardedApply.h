// An update behind its exception barrier: what the progress dialog's worker,
// the /quiet run and dvk extract all apply a package through. Nothing thrown
// gets out, and the finishing step (enabling Close) always comes last.
#pragma once

#include <functional>

#include "engine/ApplyResult.h"
#include "engine/StatusSink.h"

// Calls apply and returns its result. When apply throws (memory running out),
// the unwinding has already undone the staged files (StagedCommit's
// destructor), the failure line IDS_UPDATE_FAILED is shown as the last status
// line and the result is kFailed. finished, when given, runs after everything
// else, however apply ended; what it throws is swallowed too.
ApplyResult ApplyGuarded(const std::function<ApplyResult()>& apply, StatusSink& sink,
                         const std::function<void()>& finished = nullptr) noexcept;
