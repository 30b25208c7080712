// How a run comes to hold the one-instance mutex's namespace, from what the
// system answers each step. Wine has no private namespaces, so the answers
// Windows gives are fed in here: a standard user never gets to create the
// namespace (the boundary refuses them), so what matters is what the
// program does with each answer.
#include <gtest/gtest.h>

#include <vector>

#include "app/NamespaceSteps.h"

namespace {

using A = NamespaceAnswer;
using S = NamespaceStep;

// The steps a run takes when the system gives these answers, one per step,
// followed by the outcome.
std::vector<S> Walk(const std::vector<A>& answers) {
    std::vector<S> steps;
    std::size_t next = 0;
    S outcome = ReachNamespace([&](S step) {
        steps.push_back(step);
        return next < answers.size() ? answers[next++] : A::kFailed;
    });
    steps.push_back(outcome);
    return steps;
}

struct StepCase {
    const char* why;
    std::vector<A> answers;
    std::vector<S> steps;
};

TEST(NamespaceStepsTest, EachAnswerLeadsToTheSafeStep) {
    const StepCase cases[] = {
        {"the first instance makes the namespace", {A::kDone}, {S::kCreate, S::kHold}},
        {"another elevated instance made it: opened", {A::kAlreadyExists, A::kDone},
         {S::kCreate, S::kOpen, S::kHold}},
        {"its maker ended between the create and the open: made again",
         {A::kAlreadyExists, A::kNotFound, A::kDone}, {S::kCreate, S::kOpen, S::kCreate, S::kHold}},
        {"the namespace comes and goes every round: given up, not an endless loop",
         {A::kAlreadyExists, A::kNotFound, A::kAlreadyExists, A::kNotFound, A::kAlreadyExists, A::kNotFound,
          A::kDone},
         {S::kCreate, S::kOpen, S::kCreate, S::kOpen, S::kCreate, S::kOpen, S::kGiveUp}},
        {"refused (a token without the administrators group enabled): another instance, never a plain mutex",
         {A::kFailed}, {S::kCreate, S::kGiveUp}},
        {"the open refused: another instance", {A::kAlreadyExists, A::kFailed}, {S::kCreate, S::kOpen, S::kGiveUp}},
        {"the open answers 'unsupported' halfway: another instance, never a plain mutex",
         {A::kAlreadyExists, A::kUnsupported}, {S::kCreate, S::kOpen, S::kGiveUp}},
        {"a system without private namespaces (Wine): the plain mutex", {A::kUnsupported},
         {S::kCreate, S::kWithoutNamespace}},
    };
    for (const StepCase& c : cases) {
        EXPECT_EQ(Walk(c.answers), c.steps) << c.why;
    }
}

}  // namespace
