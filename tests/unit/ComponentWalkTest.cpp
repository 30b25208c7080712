// The walk of both link checks: which components below the root each
// platform's check is asked about, and where the walk stops.
#include <gtest/gtest.h>

#include "engine/ComponentWalk.h"

namespace {

TEST(ComponentWalkTest, EveryComponentBelowTheRootInOrder) {
    const struct {
        const char* target;
        const char* separators;
        const char* stopAt;  // the component whose look answers false; "" none
        bool answer;
        const char* seen;  // upTo, folder and last of each component looked at
    } cases[] = {
        {"C:\\R\\bin\\a.exe", "\\/", "", true, "C:\\R\\bin<C:\\R\\>0 C:\\R\\bin\\a.exe<C:\\R\\bin\\>1 "},
        {"C:\\R\\bin/x\\.\\\\a", "\\/", "", true,
         "C:\\R\\bin<C:\\R\\>0 C:\\R\\bin/x<C:\\R\\bin/>0 C:\\R\\bin/x\\.\\\\a<C:\\R\\bin/x\\.\\\\>1 "},
        {"C:\\R\\bin/x", "\\", "", true, "C:\\R\\bin/x<C:\\R\\>1 "},
        {"C:\\R\\bin\\", "\\/", "", true, "C:\\R\\bin<C:\\R\\>0 "},
        {"C:\\R\\a\\b\\c", "\\", "C:\\R\\a\\b", false, "C:\\R\\a<C:\\R\\>0 C:\\R\\a\\b<C:\\R\\a\\>0 "},
        {"C:\\R\\", "\\", "", true, ""},
        {"C:\\Rx\\a", "\\", "", false, ""},  // not below the root
        {"C:\\", "\\", "", false, ""},
    };
    for (const auto& c : cases) {
        std::string seen;
        const bool answer = EveryComponentBelowRoot("C:\\R\\", c.target, c.separators,
                                                    [&](const PathComponent& component) -> std::optional<bool> {
                                                        seen += component.upTo + "<" + component.folder + ">" +
                                                                (component.last ? "1 " : "0 ");
                                                        if (component.upTo == c.stopAt) return false;
                                                        return std::nullopt;
                                                    });
        EXPECT_EQ(answer, c.answer) << c.target;
        EXPECT_EQ(seen, c.seen) << c.target;
    }
}

}  // namespace
