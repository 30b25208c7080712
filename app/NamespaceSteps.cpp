#include "app/NamespaceSteps.h"

namespace {

// The step after `tried` answered `answer`, in round 1, 2, ... of create and open.
NamespaceStep NextStep(NamespaceStep tried, NamespaceAnswer answer, int round) {
    if (answer == NamespaceAnswer::kDone) return NamespaceStep::kHold;
    if (tried == NamespaceStep::kCreate) {
        if (answer == NamespaceAnswer::kAlreadyExists) return NamespaceStep::kOpen;
        if (answer == NamespaceAnswer::kUnsupported) return NamespaceStep::kWithoutNamespace;
        // Refused: a token without the administrators group enabled, or below
        // high integrity, cannot share the elevated instances' namespace, so
        // it cannot know whether one of them runs.
        return NamespaceStep::kGiveUp;
    }
    if (tried == NamespaceStep::kOpen && answer == NamespaceAnswer::kNotFound && round < kNamespaceRounds) {
        return NamespaceStep::kCreate;
    }
    return NamespaceStep::kGiveUp;
}

}  // namespace

NamespaceStep ReachNamespace(const std::function<NamespaceAnswer(NamespaceStep)>& attempt) {
    NamespaceStep step = NamespaceStep::kCreate;
    for (int round = 1; step == NamespaceStep::kCreate || step == NamespaceStep::kOpen;) {
        NamespaceStep next = NextStep(step, attempt(step), round);
        if (step == NamespaceStep::kOpen && next == NamespaceStep::kCreate) ++round;
        step = next;
    }
    return step;
}
