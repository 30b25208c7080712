// One run of the program: what each mode shows, in which order, its exit
// code and its log, against a host that records what it was asked.
#include <gtest/gtest.h>

#include "app/ProgramRun.h"
#include "engine/StatusLines.h"
#include "tests/unit/TestFiles.h"

namespace {

using R = RecoveryReport;
using S = SelectionResult;
using X = ExitCode;

class RecordingHost : public RunHost {
public:
    bool lockFree = true;
    R recovery = R::kNothingFound;
    bool confirm = true;
    S selection = S::kClosed;
    bool applies = true;
    std::string calls;

    bool TakeInstanceLock() override { return Note("lock"), lockFree; }
    R RecoverInterruptedUpdates() override { return Note("recover"), recovery; }
    bool Apply(PatchPackage& package, StatusSink& sink) override {
        Note(package.IsOpen() ? "apply" : "apply(closed)");
        sink.SetStatusLine("Test : a.dll");
        sink.SetStatusLine(ProgressLine("a.dll", 100.0f));
        sink.SetStatusLine(applies ? "fin" : "echec");
        return applies;
    }
    void ShowUsage() override { Note("usage"); }
    void ShowAnotherInstance() override { Note("busy"); }
    void ShowRecovery(R) override { Note("box"); }
    bool Confirm() override { return Note("confirm"), confirm; }
    S RunSelection(RunLog&) override { return Note("select"), selection; }
    bool RunProgress(PatchPackage& package, RunLog&, bool closeWhenDone) override {
        Note(std::string(closeWhenDone ? "progress-autoclose" : "progress") + (package.IsOpen() ? "" : "(closed)"));
        return package.IsOpen() && applies;
    }

private:
    void Note(const std::string& call) { calls += calls.empty() ? call : " " + call; }
};

struct RunCase {
    const char* why;
    std::vector<std::string> arguments;  // PKG, MISSING, LOG, DIR stand for paths
    void (*setUp)(RecordingHost&);
    X code;
    const char* calls;
};

void Nothing(RecordingHost&) {}
void Busy(RecordingHost& h) { h.lockFree = false; }
void Fails(RecordingHost& h) { h.applies = false; }
void SaysNo(RecordingHost& h) { h.confirm = false; }
void Applied(RecordingHost& h) { h.selection = S::kApplied; }
void FailedInList(RecordingHost& h) { h.selection = S::kFailed; }
void Undone(RecordingHost& h) { h.recovery = R::kUndone; }
void Completed(RecordingHost& h) { h.recovery = R::kCompleted; }
void Incomplete(RecordingHost& h) { h.recovery = R::kIncomplete; }

const RunCase kRunCases[] = {
    {"list closed without an update", {"/log", "LOG"}, Nothing, X::kDeclined, "lock recover select"},
    {"list ran an update", {}, Applied, X::kSuccess, "lock recover select"},
    {"list ran a failed update", {}, FailedInList, X::kFailed, "lock recover select"},
    {"package, Yes", {"PKG", "/log", "LOG"}, Nothing, X::kSuccess, "lock recover confirm progress"},
    {"package, No", {"PKG"}, SaysNo, X::kDeclined, "lock recover confirm"},
    {"package, Yes, failure line", {"PKG"}, Fails, X::kFailed, "lock recover confirm progress"},
    {"passive", {"/passive", "PKG"}, Nothing, X::kSuccess, "lock recover progress-autoclose"},
    {"quiet", {"/quiet", "PKG", "/log", "LOG"}, Nothing, X::kSuccess, "lock recover apply"},
    {"quiet, failure line", {"/quiet", "PKG"}, Fails, X::kFailed, "lock recover apply"},
    {"quiet, package missing", {"/quiet", "MISSING"}, Nothing, X::kPackageUnopenable, "lock recover"},
    {"passive, package missing", {"/passive", "MISSING"}, Nothing, X::kPackageUnopenable,
     "lock recover progress-autoclose(closed)"},
    {"package missing: no question", {"MISSING"}, Nothing, X::kPackageUnopenable, "lock recover progress(closed)"},
    {"another instance", {"PKG"}, Busy, X::kAnotherInstance, "lock busy"},
    {"another instance, quiet", {"/quiet", "PKG"}, Busy, X::kAnotherInstance, "lock"},
    {"recover, nothing found", {"/recover"}, Nothing, X::kSuccess, "lock recover"},
    {"recover, undone", {"/recover"}, Undone, X::kSuccess, "lock recover box"},
    {"recover, finished silently", {"/recover"}, Completed, X::kSuccess, "lock recover"},
    {"recover quietly, incomplete", {"/recover", "/quiet"}, Incomplete, X::kFailed, "lock recover"},
    {"incomplete recovery stops the update", {"PKG"}, Incomplete, X::kFailed, "lock recover box"},
    {"undone, then a quiet update", {"/quiet", "PKG"}, Undone, X::kSuccess, "lock recover apply"},
    {"bad line shows the usage", {"/x", "PKG"}, Nothing, X::kBadCommandLine, "usage"},
    {"bad quiet line shows nothing", {"/quiet", "/log", "LOG"}, Nothing, X::kBadCommandLine, ""},
    {"usage", {"/?"}, Nothing, X::kSuccess, "usage"},
    {"log cannot be opened", {"/log", "DIR", "PKG"}, Nothing, X::kBadCommandLine, "usage"},
    {"log cannot be opened, quiet", {"/quiet", "/log", "DIR", "PKG"}, Nothing, X::kBadCommandLine, ""},
};

TEST(ProgramRunTest, EachModeShowsItsStepsAndEndsWithItsCode) {
    for (const RunCase& c : kRunCases) {
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("fix.dvk"), ExamplePackageBytes()));
        std::vector<std::string> arguments;
        for (const std::string& word : c.arguments) {
            if (word == "PKG") arguments.push_back(dir.File("fix.dvk"));
            else if (word == "MISSING") arguments.push_back(dir.File("gone.dvk"));
            else if (word == "LOG") arguments.push_back(dir.File("u.log"));
            else if (word == "DIR") arguments.push_back(dir.Path());
            else arguments.push_back(word);
        }
        RecordingHost host;
        c.setUp(host);
        PatchPackage package;
        RunLog log;
        const X code = ProgramRun(host, package, log).Run(ParseUpdaterCommandLine(arguments));
        EXPECT_EQ(static_cast<int>(code), static_cast<int>(c.code)) << c.why;
        EXPECT_EQ(host.calls, c.calls) << c.why;
        EXPECT_FALSE(package.IsOpen()) << c.why;
        const std::string written = ReadFileBytes(dir.File("u.log"));
        const std::string last = "Code de sortie : " + std::to_string(static_cast<int>(c.code)) + " (";
        if (!written.empty()) {
            EXPECT_NE(written.find(last), std::string::npos) << c.why << ":\n" << written;
        }
    }
}

struct LogCase {
    const char* why;
    std::vector<std::string> arguments;  // PKG and LOG as above
    void (*setUp)(RecordingHost&);
    std::vector<std::string> lines;      // UTF-8, after the date and time
};

const LogCase kLogCases[] = {
    {"quiet update after an undone one", {"/quiet", "PKG", "/log", "LOG"}, Undone,
     {"D\xC3\xA9" "but : mode /quiet, paquet PKG",
      "Reprise : une mise \xC3\xA0 jour interrompue a \xC3\xA9t\xC3\xA9 annul\xC3\xA9" "e, les fichiers sont "
      "revenus \xC3\xA0 leur \xC3\xA9tat d'avant.",
      "Test : a.dll", "fin", "Code de sortie : 0 (succ\xC3\xA8s)"}},
    {"a line not understood", {"/quiet", "/log", "LOG"}, Nothing,
     {"D\xC3\xA9" "but : mode /quiet", "Ligne de commande incorrecte : paquet manquant (/quiet)",
      "Code de sortie : 87 (ligne de commande incorrecte)"}},
    {"another instance", {"/log", "LOG", "PKG"}, Busy,
     {"D\xC3\xA9" "but : mode interactif, paquet PKG", "Une autre mise \xC3\xA0 jour est en cours.",
      "Code de sortie : 1618 (une autre mise \xC3\xA0 jour est en cours)"}},
};

TEST(ProgramRunTest, TheLogHoldsTheModeEveryLineButProgressAndTheCode) {
    for (const LogCase& c : kLogCases) {
        TempDir dir;
        const std::string packagePath = dir.File("fix.dvk");
        ASSERT_TRUE(WriteFileBytes(packagePath, ExamplePackageBytes()));
        std::vector<std::string> arguments;
        for (const std::string& word : c.arguments) {
            arguments.push_back(word == "PKG" ? packagePath : word == "LOG" ? dir.File("u.log") : word);
        }
        RecordingHost host;
        c.setUp(host);
        PatchPackage package;
        RunLog log;
        ProgramRun(host, package, log).Run(ParseUpdaterCommandLine(arguments));

        std::string expected;
        for (std::string line : c.lines) {
            const std::size_t at = line.find("PKG");
            if (at != std::string::npos) line.replace(at, 3, packagePath);
            expected += "yyyy-mm-dd hh:mm:ss " + line + "\r\n";
        }
        std::string written = ReadFileBytes(dir.File("u.log"));
        for (std::size_t start = 0; start < written.size(); start = written.find('\n', start) + 1) {
            written.replace(start, 19, "yyyy-mm-dd hh:mm:ss");  // the time is the clock's own business
        }
        EXPECT_EQ(written, expected) << c.why;
    }
}

}  // namespace
