// How a run comes to hold the namespace of the one-instance mutex: a private
// object namespace whose boundary only the machine's administrators can
// meet, so that no standard user can make it first or put a mutex in it.
// The run creates it, or opens it when another elevated instance made it
// first, and creates it again when that instance ended in between. Kept
// apart from the system calls so that the rule is tested natively: Wine has
// no private namespaces.
#pragma once

#include <functional>

enum class NamespaceStep {
    kCreate,
    kOpen,
    kHold,              // the namespace is held: take the mutex inside it
    kWithoutNamespace,  // a system without private namespaces: a plain mutex
    kGiveUp,            // count as another instance running
};

// What the system said to the step just tried.
enum class NamespaceAnswer {
    kDone,
    kAlreadyExists,  // create: another instance made it
    kNotFound,       // open: its last holder closed it since
    kUnsupported,    // create: the system lacks the calls altogether
    kFailed,         // anything else: refused (not elevated), out of memory
};

// How many times a run goes from create to open before it gives up.
constexpr int kNamespaceRounds = 3;

// Tries kCreate, then kOpen, ... through attempt (which does the step and
// says what the system answered) until the namespace is held (kHold) or
// cannot be: kWithoutNamespace, or kGiveUp. Only a system without the calls
// leads to the plain mutex: a failure never does, as a standard user could
// then steer the run to a name they can take first.
NamespaceStep ReachNamespace(const std::function<NamespaceAnswer(NamespaceStep)>& attempt);
