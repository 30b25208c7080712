// Option parsing shared by the dvk commands.
#include <gtest/gtest.h>

#include "tools/dvk/CommandLine.h"

namespace {

TEST(CommandLineTest, ReadsValuesFlagsAndOperandsInAnyOrder) {
    CommandLine line({"json"}, {"title", "required"}, {"required"});
    std::string error;
    ASSERT_TRUE(line.Parse({"out.dvk", "--title", "T 1", "--required=*.dll", "dir", "--json", "--required", "a",
                            "--", "--not-an-option"},
                           error))
        << error;
    EXPECT_EQ(line.Value("title"), "T 1");
    EXPECT_EQ(line.Values("required"), (std::vector<std::string>{"*.dll", "a"}));
    EXPECT_TRUE(line.Has("json"));
    EXPECT_FALSE(line.Has("missing"));
    EXPECT_EQ(line.Operands(), (std::vector<std::string>{"out.dvk", "dir", "--not-an-option"}));
}

TEST(CommandLineTest, RefusesWhatItDoesNotUnderstand) {
    struct Case {
        std::vector<std::string> args;
        const char* expected;
    };
    for (const Case& c : {Case{{"--nope"}, "unknown option '--nope'"},
                          Case{{"-x"}, "unknown option '-x'"},
                          Case{{"--title"}, "option '--title' needs a value"},
                          Case{{"--json=1"}, "option '--json' takes no value"},
                          Case{{"--title", "a", "--title=b"}, "option '--title' given more than once"}}) {
        CommandLine line({"json"}, {"title"});
        std::string error;
        EXPECT_FALSE(line.Parse(c.args, error)) << c.expected;
        EXPECT_EQ(error, c.expected);
    }
}

}  // namespace
