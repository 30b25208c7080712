// The program's command line: Windows word splitting, then modes and faults.
#include <gtest/gtest.h>

#include <cctype>

#include "app/ExitCode.h"
#include "app/UpdaterCommandLine.h"
#include "engine/MessageStrings.h"

namespace {

using Words = std::vector<std::string>;
using Words16 = std::vector<std::u16string>;

struct SplitCase {
    const char* why;
    std::u16string commandLine;
    Words16 words;
};

const SplitCase kSplitCases[] = {
    {"program name alone", u"dravlek-update.exe", {}},
    {"quoted program name with a space", u"\"C:\\Program Files\\d.exe\" /quiet", {u"/quiet"}},
    {"quoted program name ends at its quote, no escapes", u"\"C:\\a\\\" b", {u"b"}},
    {"blanks and tabs separate", u"d.exe  /log\tx.log   p.dvk ", {u"/log", u"x.log", u"p.dvk"}},
    {"quotes keep spaces", u"d.exe \"C:\\Mes paquets\\fix 2.dvk\"", {u"C:\\Mes paquets\\fix 2.dvk"}},
    {"quotes inside a word", u"d.exe C:\\Mes\" \"paquets\\a.dvk", {u"C:\\Mes paquets\\a.dvk"}},
    {"2n backslashes then quote: n, quote opens", u"d.exe \"C:\\dir\\\\\" x", {u"C:\\dir\\", u"x"}},
    {"2n+1 backslashes then quote: n and a quote", u"d.exe a\\\\\\\"b", {u"a\\\"b"}},
    {"doubled quote inside quotes is one quote", u"d.exe \"a\"\"b c\"", {u"a\"b c"}},
    {"empty quotes are an empty word", u"d.exe \"\" x", {u"", u"x"}},
    {"unclosed quote runs to the end", u"d.exe \"a b", {u"a b"}},
    {"a fullwidth quote neither opens nor closes", u"d.exe /quiet \"a\uFF02 /log x \uFF02.dvk\"",
     {u"/quiet", u"a\uFF02 /log x \uFF02.dvk"}},
    {"a letter outside code page 1252 stays itself", u"d.exe fix-\u0142.dvk", {u"fix-\u0142.dvk"}},
};

TEST(UpdaterCommandLineTest, SplitsAsTheCRunTimeDoes) {
    for (const SplitCase& c : kSplitCases) EXPECT_EQ(SplitCommandLine(c.commandLine), c.words) << c.why;
}

struct ParseCase {
    const char* why;
    Words arguments;
    RunMode mode;
    bool quiet;
    const char* package;
    const char* log;
    CommandLineError error;
};

using E = CommandLineError;
using M = RunMode;

const ParseCase kParseCases[] = {
    {"nothing: the list", {}, M::kSelect, false, "", "", E::kNone},
    {"a package", {"fix.dvk"}, M::kConfirm, false, "fix.dvk", "", E::kNone},
    {"log before the package", {"/log", "u.log", "fix.dvk"}, M::kConfirm, false, "fix.dvk", "u.log", E::kNone},
    {"log alone keeps the list", {"-LOG", "u.log"}, M::kSelect, false, "", "u.log", E::kNone},
    {"passive, any case, dash", {"-PaSsIvE", "fix.dvk"}, M::kPassive, false, "fix.dvk", "", E::kNone},
    {"quiet after the package", {"fix.dvk", "/QUIET", "/log", "q.log"}, M::kQuiet, true, "fix.dvk", "q.log", E::kNone},
    {"recover", {"/recover"}, M::kRecover, false, "", "", E::kNone},
    {"recover quietly with a log", {"/quiet", "/Recover", "/log", "r.log"}, M::kRecover, true, "", "r.log", E::kNone},
    {"usage", {"/?"}, M::kUsage, false, "", "", E::kNone},
    {"a log named like a dash word", {"/log", "-x.log", "a.dvk"}, M::kConfirm, false, "a.dvk", "-x.log", E::kNone},
    {"a path from the root is no switch", {"/dossier/fix.dvk"}, M::kConfirm, false, "/dossier/fix.dvk", "", E::kNone},
    {"nor a dash name", {"-"}, M::kConfirm, false, "-", "", E::kNone},
    {"unknown switch", {"/silent", "a.dvk"}, M::kConfirm, false, "a.dvk", "", E::kUnknownSwitch},
    {"quiet without a package", {"/quiet"}, M::kQuiet, true, "", "", E::kNoPackage},
    {"passive without a package", {"/passive", "/log", "p.log"}, M::kPassive, false, "", "p.log", E::kNoPackage},
    {"two packages", {"a.dvk", "b.dvk"}, M::kConfirm, false, "a.dvk", "", E::kTwoPackages},
    {"an empty package word", {""}, M::kSelect, false, "", "", E::kEmptyPackage},
    {"log at the end", {"a.dvk", "/log"}, M::kConfirm, false, "a.dvk", "", E::kLogWithoutFile},
    {"log followed by a switch", {"/log", "/quiet", "a.dvk"}, M::kQuiet, true, "a.dvk", "", E::kLogWithoutFile},
    {"two logs", {"/log", "a.log", "/log", "b.log"}, M::kSelect, false, "", "b.log", E::kTwoLogs},
    {"passive and quiet", {"/passive", "/quiet", "a.dvk"}, M::kQuiet, true, "a.dvk", "", E::kModesCombined},
    {"recover with a package", {"/recover", "a.dvk"}, M::kRecover, false, "a.dvk", "", E::kModesCombined},
    {"recover with passive", {"/recover", "/passive"}, M::kRecover, false, "", "", E::kModesCombined},
    {"usage with anything", {"/?", "a.dvk"}, M::kUsage, false, "a.dvk", "", E::kModesCombined},
};

TEST(UpdaterCommandLineTest, ModesAndEveryFault) {
    for (const ParseCase& c : kParseCases) {
        const UpdaterCommandLine line = ParseUpdaterCommandLine(c.arguments);
        EXPECT_EQ(line.error, c.error) << c.why;
        EXPECT_EQ(line.Understood(), c.error == E::kNone) << c.why;
        EXPECT_EQ(line.mode, c.mode) << c.why;
        EXPECT_EQ(line.quiet, c.quiet) << c.why;
        // /passive is kept on any line, understood or not: no box may wait then.
        bool passive = false;
        for (std::string word : c.arguments) {
            for (char& ch : word) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            passive = passive || word == "/passive" || word == "-passive";
        }
        EXPECT_EQ(line.Unattended(), c.quiet || passive) << c.why;
        EXPECT_EQ(line.package, c.package) << c.why;
        EXPECT_EQ(line.logFile, c.log) << c.why;
    }
}

// The whole wide line: the package keeps its exact name (UTF-8), any other
// word must have an exact code page 1252 form.
TEST(UpdaterCommandLineTest, ReadsTheWideLineWithoutLookAlikes) {
    const std::u16string loneSurrogate = std::u16string(u"d.exe a") + char16_t(0xD800) + u".dvk";
    const struct {
        const char* why;
        std::u16string commandLine;
        const char* package;
        const char* log;
        CommandLineError error;
    } cases[] = {
        {"a package named outside code page 1252", u"d.exe /quiet fix-\u0142.dvk", "fix-\xC5\x82.dvk", "", E::kNone},
        {"a fullwidth quote injects no /log", u"d.exe /quiet \"a\uFF02 /log x \uFF02.dvk\"",
         "a\xEF\xBC\x82 /log x \xEF\xBC\x82.dvk", "", E::kNone},
        {"a log named in code page 1252", u"d.exe /log caf\u00E9.log a.dvk", "a.dvk", "caf\xC3\xA9.log", E::kNone},
        {"a log named outside it", u"d.exe /log \u0142.log a.dvk", "a.dvk", "\xC5\x82.log", E::kInexactCharacter},
        {"a surrogate pair", u"d.exe \U0001F600.dvk", "\xF0\x9F\x98\x80.dvk", "", E::kNone},
        {"a lone surrogate", loneSurrogate, "a\xEF\xBF\xBD.dvk", "", E::kInexactCharacter},
    };
    for (const auto& c : cases) {
        const UpdaterCommandLine line = ReadUpdaterCommandLine(c.commandLine);
        EXPECT_EQ(line.error, c.error) << c.why;
        EXPECT_EQ(line.package, c.package) << c.why;
        EXPECT_EQ(line.logFile, c.log) << c.why;
    }
}

// The usage box lists what the parser takes and every code a run can end with.
TEST(UpdaterCommandLineTest, TheUsageNamesEverySwitchAndExitCode) {
    const std::string usage = LoadMessageString(IDS_USAGE);
    for (const char* word : {"/passive", "/quiet", "/recover", "/log", "/?"}) {
        EXPECT_NE(usage.find(word), std::string::npos) << word;
        EXPECT_TRUE(ParseUpdaterCommandLine({word, "x"}).error != E::kUnknownSwitch) << word;
    }
    for (const ExitCodeRow& row : kExitCodes) {
        EXPECT_NE(usage.find(" " + std::to_string(static_cast<int>(row.code)) + " "), std::string::npos)
            << static_cast<int>(row.code);
    }
    EXPECT_LT(usage.size(), 1024u) << "short enough for a message box";
}

}  // namespace
