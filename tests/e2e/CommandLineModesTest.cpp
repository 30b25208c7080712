// The real program started with a command line, under Wine: per mode its exit
// code, the install root afterwards, its log, and every top-level window it
// made while it ran.
//   command_line_e2e.exe <dravlek-update.exe> <unused> <work folder>
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "engine/MessageStrings.h"
#include "package/PackageWriter.h"
#include "tests/e2e/E2eSupport.h"

namespace {

std::string gUpdater;
std::string gWork;

using Tree = std::map<std::string, std::string>;

const Tree kOldRoot = {{"a.dll", "old a"}, {"keep.txt", "old"}};
const Tree kNewRoot = {{"a.dll", "new a"}, {"b.txt", "new b"}, {"keep.txt", "old"}};

// What the test does with the windows of a run.
enum class Answer {
    kNothing,    // touches nothing: the run must end by itself
    kYes,        // Yes at "Continuez?", then Close once enabled
    kNo,         // No at "Continuez?"
    kCancel,     // Cancel in the selection dialog
    kOk,         // OK in the usage box
};

struct Outcome {
    DWORD exitCode = 0;
    bool exited = false;
    std::vector<std::string> captions;  // of every top-level window seen, once each, but IME ones
    int windows = 0;                    // every top-level window seen, IME ones too
};

struct WindowsOf {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    auto* query = reinterpret_cast<WindowsOf*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == query->processId) query->found.push_back(window);
    return TRUE;
}

// The window with this caption that has the child childId (0: any), whose
// text is text (null: any).
HWND FindByText(const std::vector<HWND>& windows, const std::string& caption, int childId, const char* text) {
    for (HWND window : windows) {
        if (WindowText(window) != caption) continue;
        if (childId == 0) return window;
        HWND child = GetDlgItem(window, childId);
        if (child && (!text || WindowText(child) == text)) return window;
    }
    return nullptr;
}

// The log's lines without their date and time.
std::vector<std::string> LogLines(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(log.substr(start + 20, end - start - 20));
    }
    return lines;
}

// Starts the updater in folder and answers its windows; looks at every
// top-level window of the process every few milliseconds until it ends.
Outcome RunUpdater(const std::string& arguments, const std::string& folder, Answer answer) {
    Outcome outcome;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + gUpdater + "\" " + arguments;
    if (!CreateProcessA(gUpdater.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return outcome;
    }
    std::map<HWND, bool> seen;
    bool answered = false, closed = false;
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 2) == WAIT_TIMEOUT && GetTickCount() - start < 30000) {
        WindowsOf query{process.dwProcessId, {}};
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&query));
        for (HWND window : query.found) {
            if (seen[window]) continue;
            seen[window] = true;
            ++outcome.windows;
            // The system gives every thread that makes a window a hidden "Default IME".
            char className[16] = "";
            GetClassNameA(window, className, sizeof className);
            if (lstrcmpA(className, "IME") != 0) outcome.captions.push_back(WindowText(window));
        }
        HWND box = FindByText(query.found, "Dravlek", 0xFFFF, LoadMessageString(IDS_CONFIRM).c_str());
        if (!answered && box && (answer == Answer::kYes || answer == Answer::kNo)) {
            answered = true;
            PostMessageA(GetDlgItem(box, answer == Answer::kYes ? IDYES : IDNO), BM_CLICK, 0, 0);
        }
        HWND usage = FindByText(query.found, "Dravlek", 0xFFFF, LoadMessageString(IDS_USAGE).c_str());
        if (!answered && usage && answer == Answer::kOk) {
            answered = true;
            PostMessageA(GetDlgItem(usage, IDOK), BM_CLICK, 0, 0);
        }
        HWND list = FindByText(query.found, "Dravlek", 1001, nullptr);
        if (!answered && list && answer == Answer::kCancel) {
            answered = true;
            PostMessageA(GetDlgItem(list, IDCANCEL), BM_CLICK, 0, 0);
        }
        HWND progress = FindByText(query.found, LoadMessageString(IDS_PROGRESS_CAPTION), 0, nullptr);
        if (!closed && progress && answer == Answer::kYes && IsWindowEnabled(GetDlgItem(progress, 1006))) {
            closed = true;
            PostMessageA(GetDlgItem(progress, 1006), BM_CLICK, 0, 0);
        }
    }
    outcome.exited = WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
    if (!outcome.exited) TerminateProcess(process.hProcess, 999);
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

std::string Package(const std::string& key) {
    return BuildPackageBytes("Correctif", key, {{2, "a.dll", "a.dll", "new a"}, {0, "b.txt", "b.txt", "new b"}});
}

class CommandLineModesTest : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(Root());
        CreateDirectoryA(Root().c_str(), nullptr);
        for (const auto& [name, bytes] : kOldRoot) WriteBytes(Root() + "\\" + name, bytes);
        CreateDirectoryA(Folder().c_str(), nullptr);
        WriteBytes(Folder() + "\\fix.dvk", Package("Software\\DravlekE2E\\Product"));
        WriteBytes(Folder() + "\\fix 2.dvk", Package("Software\\DravlekE2E\\Product"));
        WriteBytes(Folder() + "\\absent.dvk", Package("Software\\DravlekE2E\\Missing"));
        WriteBytes(Folder() + "\\cut.dvk", Package("Software\\DravlekE2E\\Product").substr(0, 40));
        DeleteFileA(LogFile().c_str());
    }
    static std::string Root() { return gWork + "\\root"; }
    static std::string Folder() { return gWork + "\\modes"; }
    static std::string LogFile() { return gWork + "\\modes\\run.log"; }
};

struct ModeCase {
    const char* why;
    const char* arguments;
    Answer answer;
    DWORD exitCode;
    const Tree* root;
    std::vector<std::string> windows;  // captions of the top-level windows, in order
    const char* logTail;               // the line before the exit code; "" for no log
};

const std::string kProgress = "Mise \xE0 jour...";

const ModeCase kModeCases[] = {
    {"quiet", "/quiet /log run.log fix.dvk", Answer::kNothing, 0, &kNewRoot, {},
     "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer."},
    {"quiet, switches in any case, quoted path", "-QUIET \"fix 2.dvk\" -Log run.log", Answer::kNothing, 0,
     &kNewRoot, {}, "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer."},
    {"quiet, product not installed", "/quiet /log run.log absent.dvk", Answer::kNothing, 1603, &kOldRoot, {},
     "L'application que vous essayez de mettre \xC3\xA0 jour n'est pas install\xC3\xA9" "e. Installez "
     "l'application et essayez \xC3\xA0 nouveau."},
    {"quiet, damaged package", "/quiet /log run.log cut.dvk", Answer::kNothing, 1619, &kOldRoot, {},
     "Le fichier de mise \xC3\xA0 jour est endommag\xC3\xA9 ou illisible. Aucun fichier n'a \xC3\xA9t\xC3\xA9 "
     "modifi\xC3\xA9."},
    {"quiet, missing package", "/quiet missing.dvk", Answer::kNothing, 1619, &kOldRoot, {}, ""},
    {"passive closes itself", "/passive /log run.log fix.dvk", Answer::kNothing, 0, &kNewRoot, {kProgress},
     "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer."},
    {"package, Yes", "fix.dvk /log run.log", Answer::kYes, 0, &kNewRoot, {"Dravlek", kProgress},
     "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer."},
    {"package, No", "fix.dvk /log run.log", Answer::kNo, 1602, &kOldRoot, {"Dravlek"},
     "D\xC3\xA9" "but : mode interactif, paquet fix.dvk"},
    {"list closed", "/log run.log", Answer::kCancel, 1602, &kOldRoot, {"Dravlek"},
     "D\xC3\xA9" "but : mode interactif"},
    {"recover, nothing to do", "/recover /quiet /log run.log", Answer::kNothing, 0, &kOldRoot, {},
     "D\xC3\xA9" "but : mode /recover"},
    {"usage", "/?", Answer::kOk, 0, &kOldRoot, {"Dravlek"}, ""},
    {"87: unknown switch, usage first", "/silent fix.dvk", Answer::kOk, 87, &kOldRoot, {"Dravlek"}, ""},
    {"87: quiet without a package", "/quiet /log run.log", Answer::kNothing, 87, &kOldRoot, {},
     "Ligne de commande incorrecte : paquet manquant (/quiet)"},
    {"87: passive without a package", "/passive", Answer::kOk, 87, &kOldRoot, {"Dravlek"}, ""},
    {"87: two packages, quiet", "/quiet fix.dvk absent.dvk", Answer::kNothing, 87, &kOldRoot, {}, ""},
    {"87: log without a file", "/quiet fix.dvk /log", Answer::kNothing, 87, &kOldRoot, {}, ""},
    {"87: a log that cannot be opened", "/quiet /log nofolder\\run.log fix.dvk", Answer::kNothing, 87, &kOldRoot,
     {}, ""},
};

TEST_F(CommandLineModesTest, EachModeEndsWithItsCodeFilesLogAndWindows) {
    for (const ModeCase& c : kModeCases) {
        SetUp();
        const Outcome outcome = RunUpdater(c.arguments, Folder(), c.answer);
        EXPECT_TRUE(outcome.exited) << c.why << ": the program ended by itself";
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.why;
        EXPECT_EQ(ListTree(Root()), *c.root) << c.why;
        EXPECT_EQ(outcome.captions, c.windows) << c.why;
        if (c.windows.empty()) {
            EXPECT_EQ(outcome.windows, 0) << c.why << ": no window of any kind";
        }

        std::string log;
        const bool hasLog = ReadBytes(LogFile(), log);
        EXPECT_EQ(hasLog, *c.logTail != '\0') << c.why;
        const std::vector<std::string> lines = LogLines(log);
        if (!hasLog || lines.size() < 2) continue;
        EXPECT_EQ(lines.back().rfind("Code de sortie : " + std::to_string(c.exitCode) + " (", 0), 0u) << c.why << log;
        EXPECT_EQ(lines[lines.size() - 2], c.logTail) << c.why << ":\n" << log;
        EXPECT_EQ(lines.front().rfind("D\xC3\xA9" "but : mode ", 0), 0u) << c.why << ":\n" << log;
        EXPECT_EQ(log.find("%)"), std::string::npos) << c.why << ": no progress line";
    }
}

TEST_F(CommandLineModesTest, ASecondInstanceGets1618AndChangesNothing) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION first{};
    std::string commandLine = "\"" + gUpdater + "\" fix.dvk";
    ASSERT_TRUE(CreateProcessA(gUpdater.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               Folder().c_str(), &startup, &first));
    // The first one waits at its question, holding the instance rule.
    ASSERT_TRUE(WaitFor([&] { return FindDialog(first.dwProcessId, "Dravlek", nullptr) != nullptr; }, 20000));

    for (const char* arguments : {"/quiet /log run.log fix.dvk", "/recover /quiet"}) {
        const Outcome second = RunUpdater(arguments, Folder(), Answer::kNothing);
        EXPECT_EQ(second.exitCode, 1618u) << arguments;
        EXPECT_EQ(second.windows, 0) << arguments << ": no window of any kind";
        EXPECT_EQ(ListTree(Root()), kOldRoot) << arguments;
    }
    std::string log;
    ASSERT_TRUE(ReadBytes(LogFile(), log));
    EXPECT_NE(log.find("Une autre mise \xC3\xA0 jour est en cours.\r\n"), std::string::npos) << log;

    PostMessageA(GetDlgItem(FindDialog(first.dwProcessId, "Dravlek", nullptr), IDNO), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForSingleObject(first.hProcess, 15000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(first.hProcess, &code);
    EXPECT_EQ(code, 1602u);
    CloseHandle(first.hThread);
    CloseHandle(first.hProcess);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 4) return 2;
    gUpdater = argv[1];
    gWork = argv[3];
    return RUN_ALL_TESTS();
}
