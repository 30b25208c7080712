#include "app/GuardedApply.h"

#include "engine/MessageStrings.h"

namespace {

// Runs the finishing step when the update ends, by return or by exception.
class FinishGuard {
public:
    explicit FinishGuard(const std::function<void()>& finished) : finished_(finished) {}
    ~FinishGuard() {
        try {
            if (finished_) finished_();
        } catch (...) {
            // Nothing is left to tell; the thread must still end normally.
        }
    }
    FinishGuard(const FinishGuard&) = delete;
    FinishGuard& operator=(const FinishGuard&) = delete;

private:
    const std::function<void()>& finished_;
};

}  // namespace

ApplyResult ApplyGuarded(const std::function<ApplyResult()>& apply, StatusSink& sink,
                         const std::function<void()>& finished) noexcept {
    FinishGuard finish(finished);
    try {
        return apply();
    } catch (...) {
        // Fall through: the line is shown once the exception object (maybe the
        // memory that ran out) has been freed.
    }
    try {
        sink.SetStatusLine(LoadMessageString(IDS_UPDATE_FAILED));
    } catch (...) {
        // Even the line could not be made; Close still gets enabled.
    }
    return ApplyResult::kFailed;
}
