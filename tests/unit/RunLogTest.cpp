// The /log file: what it keeps of the status lines, and how each is written.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/LogStatusSink.h"
#include "app/RunLog.h"
#include "engine/StatusLines.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/TestFiles.h"

namespace {

std::tm FixedClock() {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 8;
    time.tm_hour = 7;
    time.tm_min = 5;
    time.tm_sec = 9;
    return time;
}

struct LineCase {
    const char* why;
    std::string statusLine;
    const char* logged;  // nullptr: not in the log
};

const LineCase kLineCases[] = {
    {"a Test line", "Test : a.dll", "2026-12-08 07:05:09 Test : a.dll\r\n"},
    {"an Extraction line", "Extraction du fichier : b\\c.txt",
     "2026-12-08 07:05:09 Extraction du fichier : b\\c.txt\r\n"},
    {"a progress line", ProgressLine("b\\c.txt", 41.0f), nullptr},
    {"an Extraction line of a name that starts with a colon", "Extraction du fichier : :x",
     "2026-12-08 07:05:09 Extraction du fichier : :x\r\n"},
    {"accents become UTF-8", "Mise \xE0 jour termin\xE9" "e.",
     "2026-12-08 07:05:09 Mise \xC3\xA0 jour termin\xC3\xA9" "e.\r\n"},
    {"a line break inside stays on one line", "un\r\ndeux\nx", "2026-12-08 07:05:09 un  deux x\r\n"},
};

TEST(RunLogTest, KeepsEveryLineButTheProgressLines) {
    for (const LineCase& c : kLineCases) {
        TempDir dir;
        RecordingSink shown;
        {
            RunLog log(FixedClock);
            ASSERT_TRUE(log.Open(dir.File("u.log"))) << c.why;
            LogStatusSink sink(shown, log);
            sink.SetStatusLine(c.statusLine);
        }
        EXPECT_EQ(shown.lines, std::vector<std::string>{c.statusLine}) << c.why << ": every line is still shown";
        EXPECT_EQ(ReadFileBytes(dir.File("u.log")), c.logged ? c.logged : "") << c.why;
    }
}

TEST(RunLogTest, AppendsToWhatIsThereAndRefusesWhatCannotBeOpened) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("u.log"), "earlier\r\n"));
    {
        RunLog log(FixedClock);
        ASSERT_TRUE(log.Open(dir.File("u.log")));
        EXPECT_TRUE(log.WriteLine("now"));
    }
    EXPECT_EQ(ReadFileBytes(dir.File("u.log")), "earlier\r\n2026-12-08 07:05:09 now\r\n");

    for (const std::string& bad : {dir.Path(), dir.File("missing/u.log"), std::string()}) {
        RunLog log(FixedClock);
        EXPECT_FALSE(log.Open(bad)) << "'" << bad << "'";
        EXPECT_TRUE(log.WriteLine("nowhere")) << "a closed log takes lines and writes nothing";
    }
}

// The elevated program appends only to a file that is what its name says.
TEST(RunLogTest, RefusesALinkAHardLinkAndAFileOfAnotherUser) {
    struct Case {
        const char* why;
        bool (*plant)(const std::string& log, const std::string& other);  // makes the log's name lead to other
    };
    const Case cases[] = {
        {"a second name (hard link) of another file",
         [](const std::string& log, const std::string& other) {
             std::error_code error;
             std::filesystem::create_hard_link(other, log, error);
             return !error;
         }},
#ifndef _WIN32  // Wine makes no link from a Windows program (Win32LogFileTest makes one through ln)
        {"a symbolic link to another file",
         [](const std::string& log, const std::string& other) {
             std::error_code error;
             std::filesystem::create_symlink(other, log, error);
             return !error;
         }},
#endif
    };
    for (const Case& c : cases) {
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("system.ini"), "[keep]\r\n")) << c.why;
        ASSERT_TRUE(c.plant(dir.File("u.log"), dir.File("system.ini"))) << c.why;
        RunLog log(FixedClock);
        EXPECT_FALSE(log.Open(dir.File("u.log"))) << c.why;
        EXPECT_TRUE(log.WriteLine("nowhere")) << c.why;
        EXPECT_EQ(ReadFileBytes(dir.File("system.ini")), "[keep]\r\n") << c.why;
    }

    using O = FileOwner;
    const struct {
        LogFileFacts facts;
        bool appended;
    } facts[] = {
        {{true, false, 1, O::kCaller}, true},
        {{true, false, 1, O::kSystem}, true},
        {{true, false, 1, O::kAdministrators}, true},
        {{true, false, 1, O::kNone}, true},  // FAT: nobody owns, and anybody may write, anything
        {{true, false, 1, O::kOther}, false},
        {{true, false, 2, O::kCaller}, false},
        {{true, true, 1, O::kCaller}, false},
        {{false, false, 1, O::kCaller}, false},
    };
    for (const auto& f : facts) {
        EXPECT_EQ(MayAppendLog(f.facts), f.appended)
            << f.facts.regularFile << f.facts.link << f.facts.linkCount << static_cast<int>(f.facts.owner);
    }
}

}  // namespace
