// One run of the program against a host that records what it was asked:
// the steps each mode takes, in order, its exit code and its log.
#include <gtest/gtest.h>

#include <new>

#include "app/ProgramRun.h"
#include "tests/support/TestFiles.h"

namespace {

using R = RecoveryOutcome;

// The host and the machine's updates in one, so that the calls to both are
// recorded in one order.
class RecordingHost : public ProgramHost, public MachineUpdates {
public:
    bool lockFree = true, confirm = true, throws = false, clockThrows = false;
    ApplyResult applies = ApplyResult::kApplied;
    R recovery = R::kNothingFound;
    std::vector<std::string> recoveryNotes;
    SelectionResult selection = SelectionResult::kClosed;
    std::string calls;

    bool TakeInstanceLock() override { return Note("lock"), lockFree; }
    R RecoverInterrupted(std::vector<std::string>& notes) override {
        notes = recoveryNotes;
        return Note("recover"), recovery;
    }
    ApplyResult ApplyQuietly(PatchPackage& package, StatusSink& sink) override {
        Note(package.IsOpen() ? "apply" : "apply(closed)");
        sink.SetStatusLine("Extraction du fichier :: a.dll (100 %)");
        sink.SetStatusLine(applies == ApplyResult::kApplied ? "fin" : "echec");
        return applies;
    }
    void ShowUsage() override { Note("usage"); }
    void ShowAnotherInstance() override { Note("busy"); }
    void ShowRecovery(R) override { Note("box"); }
    bool Confirm() override { return Note("confirm"), confirm; }
    SelectionResult ShowPackageList(RunLog&) override {
        if (Note("select"), throws) throw std::bad_alloc();
        return selection;
    }
    ApplyResult ApplyWithProgress(PatchPackage& package, RunLog&, bool closeWhenDone) override {
        Note(std::string(closeWhenDone ? "passive" : "progress") + (package.IsOpen() ? "" : "(closed)"));
        return package.IsOpen() ? applies : ApplyResult::kFailed;
    }

private:
    void Note(const std::string& call) { calls += calls.empty() ? call : " " + call; }
};

struct RunCase {
    const char* why;
    std::vector<std::string> arguments;  // PKG: a sound package; GONE: a missing one
    void (*setUp)(RecordingHost&);
    int code;
    const char* calls;
    const char* logLine;  // a line the log holds after its date and time (UTF-8); "" for none
};

void Nothing(RecordingHost&) {}
void Fails(RecordingHost& h) { h.applies = ApplyResult::kFailed; }
void WrongBase(RecordingHost& h) { h.applies = ApplyResult::kWrongBase; }
void WrongBaseInList(RecordingHost& h) { h.selection = SelectionResult::kWrongBase; }
void Applied(RecordingHost& h) { h.selection = SelectionResult::kApplied; }
void FailedInList(RecordingHost& h) { h.selection = SelectionResult::kFailed; }
void Completed(RecordingHost& h) { h.recovery = R::kCompleted; }
void Incomplete(RecordingHost& h) { h.recovery = R::kIncomplete; }
void Throws(RecordingHost& h) { h.throws = true; }
void NotExamined(RecordingHost& h) { h.recovery = R::kNotExamined; }
void SetAside(RecordingHost& h) {
    h.recovery = R::kIncomplete;
    h.recoveryNotes = {"Journal x.journal non suivi : il nomme un fichier hors de sa racine."};
}
void Busy(RecordingHost& h) { h.lockFree = false; }
void Undone(RecordingHost& h) { h.recovery = R::kUndone; }
void ClockThrows(RecordingHost& h) { h.clockThrows = true; }
std::tm ThrowingClock() { throw std::bad_alloc(); }

const RunCase kRunCases[] = {
    {"list ran an update", {}, Applied, 0, "lock recover select", ""},
    {"list ran a failed update", {}, FailedInList, 1603, "lock recover select", ""},
    {"an exception is a failure, logged", {}, Throws, 1603, "lock recover select",
     "Code de sortie : 1603 (\xC3\xA9" "chec de la mise \xC3\xA0 jour)"},
    {"package, Yes, failure line", {"PKG"}, Fails, 1603, "lock recover confirm progress", ""},
    {"quiet: the machine applies it, its lines logged", {"PKG", "/quiet"}, Fails, 1603, "lock recover apply", "echec"},
    {"quiet: an installed file that is no patch's base", {"PKG", "/quiet"}, WrongBase, 1642, "lock recover apply",
     "Code de sortie : 1642 (fichier install\xC3\xA9 diff\xC3\xA9rent de celui que la mise \xC3\xA0 jour attend)"},
    {"passive: the same", {"/passive", "PKG"}, WrongBase, 1642, "lock recover passive", ""},
    {"package, Yes: the same", {"PKG"}, WrongBase, 1642, "lock recover confirm progress", ""},
    {"list: the same", {}, WrongBaseInList, 1642, "lock recover select", ""},
    {"missing package: no question", {"GONE"}, Nothing, 1619, "lock recover progress(closed)", ""},
    {"recover, finished silently", {"/recover"}, Completed, 0, "lock recover",
     "Reprise : une mise \xC3\xA0 jour interrompue a \xC3\xA9t\xC3\xA9 termin\xC3\xA9" "e."},
    {"recover quietly, incomplete", {"/recover", "/quiet"}, Incomplete, 1603, "lock recover",
     "Code de sortie : 1603 (\xC3\xA9" "chec de la mise \xC3\xA0 jour)"},
    {"an incomplete recovery leaves the engine to refuse only its own root", {"PKG"}, Incomplete, 0,
     "lock recover box confirm progress", ""},
    {"a journal set aside is logged and the recovery is not whole", {"/recover"}, SetAside, 1603, "lock recover box",
     "Journal x.journal non suivi : il nomme un fichier hors de sa racine."},
    {"a journal folder that could not be examined: no box, a failed recovery", {"/recover", "/quiet"}, NotExamined,
     1603, "lock recover", "Reprise : le dossier des journaux n'a pas pu \xC3\xAAtre examin\xC3\xA9 ; aucune mise \xC3\xA0 jour "
     "interrompue n'a \xC3\xA9t\xC3\xA9 reprise."},
    {"an update after it still runs: the engine opens the folder itself", {"/passive", "PKG"}, NotExamined, 0,
     "lock recover passive", ""},
    {"passive: no usage box", {"/passive", "/bogus", "PKG"}, Nothing, 87, "",
     "Ligne de commande incorrecte : option inconnue (/bogus)"},
    {"passive: no box 120", {"/passive", "PKG"}, Busy, 1618, "lock", "Une autre mise \xC3\xA0 jour est en cours."},
    {"passive: no box 118", {"PKG", "/passive"}, Undone, 0, "lock recover passive",
     "Reprise : une mise \xC3\xA0 jour interrompue a \xC3\xA9t\xC3\xA9 annul\xC3\xA9" "e, les fichiers sont revenus "
     "\xC3\xA0 leur \xC3\xA9tat d'avant."},
    {"passive: no box 119", {"/passive", "PKG"}, Incomplete, 0, "lock recover passive",
     "Reprise : une mise \xC3\xA0 jour interrompue n'a pas pu \xC3\xAAtre annul\xC3\xA9" "e enti\xC3\xA8rement ; elle "
     "sera reprise au prochain lancement."},
    {"an exception at the log's first line", {"PKG"}, ClockThrows, 1603, "", ""},
};

TEST(ProgramRunTest, EachModeTakesItsStepsAndEndsWithItsCode) {
    for (const RunCase& c : kRunCases) {
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("fix.dvk"), ExamplePackageBytes()));
        std::vector<std::string> arguments = {"/log", dir.File("u.log")};
        for (const std::string& word : c.arguments) {
            arguments.push_back(word == "PKG" ? dir.File("fix.dvk") : word == "GONE" ? dir.File("gone.dvk") : word);
        }
        RecordingHost host;
        c.setUp(host);
        PatchPackage package;
        RunLog log(host.clockThrows ? ThrowingClock : RunLog::LocalNow);
        const ExitCode code = ProgramRun(host, host, package, log).Run(ParseUpdaterCommandLine(arguments));
        EXPECT_EQ(static_cast<int>(code), c.code) << c.why;
        EXPECT_EQ(host.calls, c.calls) << c.why;
        EXPECT_FALSE(package.IsOpen()) << c.why;
        const std::string written = ReadFileBytes(dir.File("u.log"));
        if (*c.logLine) {
            EXPECT_NE(written.find(std::string(" ") + c.logLine + "\r\n"), std::string::npos) << c.why << written;
        }
        EXPECT_EQ(written.find("%)"), std::string::npos) << c.why << ": no progress line";
    }
}

}  // namespace
