// The /log file: what it keeps of the status lines, and how each is written.
#include <gtest/gtest.h>

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

}  // namespace
