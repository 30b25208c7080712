// How the program's worker thread runs an update: nothing thrown gets out,
// and the finishing step (enabling Close) always comes last.
#pragma once

#include <functional>

#include "engine/StatusSink.h"

// Calls apply and returns its result. When apply throws (memory running out),
// the unwinding has already undone the staged files (StagedCommit's
// destructor), the failure line IDS_UPDATE_FAILED is shown as the last status
// line and the result is false. finished runs after everything else, however
// apply ended; what it throws is swallowed too.
[[nodiscard]] bool RunUpdate(const std::function<bool()>& apply, StatusSink& sink,
                             const std::function<void()>& finished) noexcept;
