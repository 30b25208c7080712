// The walk of both link checks: which components below the root each
// platform's check is asked about, and where the walk stops.
#include <gtest/gtest.h>

#include "engine/ComponentWalk.h"

namespace {

TEST(ComponentWalkTest, EveryComponentBelowTheRootInOrder) {
    const struct {
        const char* target;
        const char* stopAt;  // the component whose look answers false
        bool answer;
        const char* seen;  // upTo<folder>last of each component looked at
    } cases[] = {
        {"C:\\R\\bin/x\\.\\\\a", "", true,
         "C:\\R\\bin<C:\\R\\>0 C:\\R\\bin/x<C:\\R\\bin/>0 C:\\R\\bin/x\\.\\\\a<C:\\R\\bin/x\\.\\\\>1 "},
        {"C:\\R\\bin\\", "", true, "C:\\R\\bin<C:\\R\\>0 "},
        {"C:\\R\\a\\b\\c", "C:\\R\\a\\b", false, "C:\\R\\a<C:\\R\\>0 C:\\R\\a\\b<C:\\R\\a\\>0 "},
        {"C:\\Rx\\a", "", false, ""},  // not below the root
    };
    for (const auto& c : cases) {
        std::string seen;
        const bool answer = EveryComponentBelowRoot("C:\\R\\", c.target, "\\/", [&](const PathComponent& component) {
            seen += component.upTo + "<" + component.folder + ">" + (component.last ? "1 " : "0 ");
            return component.upTo == c.stopAt ? std::optional<bool>(false) : std::nullopt;
        });
        EXPECT_EQ(answer, c.answer) << c.target;
        EXPECT_EQ(seen, c.seen) << c.target;
    }
}

}  // namespace
