// The real program started with a command line, under Wine: per mode its exit
// code, the install root afterwards, its log, and every top-level window it
// made while it ran.   command_line_e2e.exe <dravlek-update.exe> <unused> <work>
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "engine/UpdateJournal.h"
#include "package/PackageWriter.h"
#include "tests/support/UpdaterRun.h"
#include "ui/InstanceMutex.h"

namespace {

std::string gUpdater, gWork;

using Tree = std::map<std::string, std::string>;
const Tree kOld = {{"a.dll", "old a"}, {"keep.txt", "old"}};
const Tree kNew = {{"a.dll", "new a"}, {"b.txt", "new b"}, {"keep.txt", "old"}};

// A button the test presses when the window of that caption and child text
// is up: the question, the usage box, the list, Close once enabled.
struct Press {
    std::string caption;
    int childId;
    std::string childText;  // "" for any
    int button;
};
const Press kYes{"Dravlek", 0xFFFF, "Continuez?", IDYES}, kNo{"Dravlek", 0xFFFF, "Continuez?", IDNO};
const Press kOk{"Dravlek", 0xFFFF, LoadMessageString(IDS_USAGE), IDOK}, kCancel{"Dravlek", 1001, "", IDCANCEL};
const Press kClose{"Mise \xE0 jour...", 1006, "", 1006};
const Press kUndoneBox{"Dravlek", 0xFFFF, LoadMessageString(IDS_UPDATE_UNDONE), IDOK};

struct Outcome {
    DWORD exitCode = 0;
    std::vector<std::string> captions;  // each top-level window once, but the hidden IME ones
    int windows = 0;                    // every top-level window, IME ones too
};

BOOL CALLBACK Collect(HWND window, LPARAM found) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    auto* windows = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(found);
    if (owner == windows->first) windows->second.push_back(window);
    return TRUE;
}

// Runs the updater in folder, looking at its windows every 2 ms until it ends.
Outcome RunUpdater(const std::string& arguments, const std::string& folder, std::vector<Press> presses) {
    Outcome outcome{9999, {}, 0};
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + gUpdater + "\" " + arguments;
    if (!CreateProcessA(gUpdater.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        return outcome;
    }
    std::map<HWND, bool> seen;
    for (DWORD start = GetTickCount(); WaitForSingleObject(process.hProcess, 2) == WAIT_TIMEOUT;) {
        if (GetTickCount() - start > 30000) TerminateProcess(process.hProcess, 9998);
        std::pair<DWORD, std::vector<HWND>> windows{process.dwProcessId, {}};
        EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
        for (HWND window : windows.second) {
            char className[8] = "";
            const bool stillThere = GetClassNameA(window, className, sizeof className) != 0;
            if (!seen[window]) {
                seen[window] = true;
                ++outcome.windows;
                // The system gives each thread that makes a window a hidden "Default IME"
                // (one may already be gone by the time it is looked at).
                if (stillThere && lstrcmpA(className, "IME") != 0) outcome.captions.push_back(WindowText(window));
            }
            HWND child = GetDlgItem(window, presses.empty() ? 0 : presses.front().childId);
            if (!presses.empty() && child && WindowText(window) == presses.front().caption && IsWindowEnabled(child) &&
                (presses.front().childText.empty() || WindowText(child) == presses.front().childText)) {
                PostMessageA(GetDlgItem(window, presses.front().button), BM_CLICK, 0, 0);
                presses.erase(presses.begin());
            }
        }
    }
    GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return outcome;
}

struct ModeCase {
    const char* why;
    const char* arguments;
    std::vector<Press> presses;
    DWORD exitCode;
    const Tree& root;
    std::vector<std::string> windows;  // captions, in order
    std::string logTail;               // the line before the exit code's; "" for no log
    bool anotherInstance = false;      // the test holds the one-instance mutex
    bool interrupted = false;          // an update was killed between a.dll and b.txt
    bool squatter = false;             // the test holds a mutex of the old name, as anyone may
};

// The journal and files of an update killed once it had replaced a.dll,
// with b.txt still staged.
void LeaveInterruptedUpdate(JournalFolder& journals, const std::string& root) {
    const std::string a = root + "\\a.dll", b = root + "\\b.txt";
    auto journal = UpdateJournal::Begin(journals, root, {{a, a + ".~staged", a + ".~backup"},
                                                         {b, b + ".~staged", b + ".~backup"}});
    ASSERT_TRUE(journal && journal->Replacing({true, false}) && WriteFileBytes(b + ".~staged", "new b"));
    ASSERT_TRUE(MoveFileA(a.c_str(), (a + ".~backup").c_str()) && WriteFileBytes(a, "new a"));
}

const std::string kDone = "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer.";
const std::string kDamaged = "Le fichier de mise \xC3\xA0 jour est endommag\xC3\xA9 ou illisible. Aucun fichier "
                             "n'a \xC3\xA9t\xC3\xA9 modifi\xC3\xA9.";
const std::string kStart = "D\xC3\xA9" "but : mode ", kProgress = "Mise \xE0 jour...";
const std::string kUndone = "Reprise : une mise \xC3\xA0 jour interrompue a \xC3\xA9t\xC3\xA9 annul\xC3\xA9" "e, les "
                            "fichiers sont revenus \xC3\xA0 leur \xC3\xA9tat d'avant.";

const ModeCase kModeCases[] = {
    {"quiet", "/quiet /log run.log fix.dvk", {}, 0, kNew, {}, kDone},
    {"quiet, any case, quoted path", "-QUIET \"fix 2.dvk\" -Log run.log", {}, 0, kNew, {}, kDone},
    {"quiet, not installed", "/quiet /log run.log absent.dvk", {}, 1603, kOld, {},
     "L'application que vous essayez de mettre \xC3\xA0 jour n'est pas install\xC3\xA9" "e. Installez "
     "l'application et essayez \xC3\xA0 nouveau."},
    {"quiet, damaged package", "/quiet /log run.log cut.dvk", {}, 1619, kOld, {}, kDamaged},
    {"quiet, missing package", "/quiet missing.dvk", {}, 1619, kOld, {}, ""},
    {"passive closes itself", "/passive /log run.log fix.dvk", {}, 0, kNew, {kProgress}, kDone},
    {"passive, damaged package", "/passive cut.dvk", {}, 1619, kOld, {kProgress}, ""},
    {"package, Yes", "fix.dvk /log run.log", {kYes, kClose}, 0, kNew, {"Dravlek", kProgress}, kDone},
    {"package, No", "fix.dvk /log run.log", {kNo}, 1602, kOld, {"Dravlek"}, kStart + "interactif, paquet fix.dvk"},
    {"list closed", "/log run.log", {kCancel}, 1602, kOld, {"Dravlek"}, kStart + "interactif"},
    {"recover, nothing to do", "/recover /quiet /log run.log", {}, 0, kOld, {}, kStart + "/recover"},
    {"usage", "/?", {kOk}, 0, kOld, {"Dravlek"}, ""},
    {"87: unknown switch, usage first", "/silent fix.dvk", {kOk}, 87, kOld, {"Dravlek"}, ""},
    {"87: quiet without a package", "/quiet /log run.log", {}, 87, kOld, {},
     "Ligne de commande incorrecte : paquet manquant (/quiet)"},
    {"87: a log that cannot be opened", "/quiet /log nofolder\\run.log fix.dvk", {}, 87, kOld, {}, ""},
    {"another instance, quiet", "/quiet /log run.log fix.dvk", {}, 1618, kOld, {},
     "Une autre mise \xC3\xA0 jour est en cours.", true},
    {"another instance, recover", "/recover /quiet", {}, 1618, kOld, {}, "", true},
    {"Global\\DravlekUpdate taken by any process: no longer the lock, applied", "/quiet /log run.log fix.dvk", {}, 0,
     kNew, {}, kDone, false, false, true},
    {"recover quietly: the interrupted update undone", "/recover /quiet /log run.log", {}, 0, kOld, {}, kUndone, false,
     true},
    {"quiet: undone without a box, then applied", "/quiet /log run.log fix.dvk", {}, 0, kNew, {}, kDone, false, true},
    {"package: box 118 before the question", "fix.dvk", {kUndoneBox, kNo}, 1602, kOld, {"Dravlek", "Dravlek"}, "",
     false, true},
};

TEST(CommandLineModesTest, EachModeEndsWithItsCodeFilesLogAndWindows) {
    const std::string root = gWork + "\\root", folder = gWork + "\\modes", log = folder + "\\run.log";
    auto package = [](const char* key) {
        return BuildPackageBytes("Correctif", key, {{2, "a.dll", "a.dll", "new a"}, {0, "b.txt", "b.txt", "new b"}});
    };
    for (const ModeCase& c : kModeCases) {
        RemoveTree(root);
        RemoveTree(folder);
        CreateDirectoryA(root.c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
        for (const auto& [name, bytes] : kOld) WriteFileBytes(root + "\\" + name, bytes);
        for (const char* name : {"\\fix.dvk", "\\fix 2.dvk"}) {
            WriteFileBytes(folder + name, package("Software\\DravlekE2E\\Product"));
        }
        WriteFileBytes(folder + "\\absent.dvk", package("Software\\DravlekE2E\\Missing"));
        WriteFileBytes(folder + "\\cut.dvk", package("Software\\DravlekE2E\\Product").substr(0, 40));
        std::vector<std::string> notes;
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
        ASSERT_NE(journals, nullptr);
        for (const std::string& name : journals->List()) journals->Remove(name);
        if (c.interrupted) LeaveInterruptedUpdate(*journals, root);
        std::optional<InstanceMutex> held;
        if (c.anotherInstance) held.emplace();
        ASSERT_TRUE(!held || held->Owned()) << c.why;
        UniqueKernelHandle squatted(c.squatter ? CreateMutexA(nullptr, TRUE, "Global\\DravlekUpdate") : nullptr);

        const Outcome outcome = RunUpdater(c.arguments, folder, c.presses);
        held.reset();
        squatted.Reset();
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.why;
        EXPECT_EQ(ListTree(root), c.root) << c.why;
        EXPECT_EQ(outcome.captions, c.windows) << c.why;
        EXPECT_TRUE(!c.windows.empty() || outcome.windows == 0) << c.why << ": no window of any kind";

        const std::string text = ReadFileBytes(log);
        std::vector<std::string> lines;  // without their date and time
        for (std::size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
            lines.push_back(text.substr(at + 20, end - at - 20));
        }
        ASSERT_EQ(lines.size() >= 2, !c.logTail.empty()) << c.why << ":\n" << text;
        if (lines.empty()) continue;
        EXPECT_EQ(lines.front().rfind(kStart, 0), 0u) << c.why << ":\n" << text;
        EXPECT_EQ(lines[lines.size() - 2], c.logTail) << c.why;
        EXPECT_EQ(lines.back().rfind("Code de sortie : " + std::to_string(c.exitCode) + " (", 0), 0u) << c.why;
        EXPECT_EQ(text.find("%)"), std::string::npos) << c.why << ": no progress line";
        EXPECT_EQ(text.find(kUndone) != std::string::npos, c.interrupted) << c.why << ": the recovery logged";
        EXPECT_TRUE(journals->List().empty()) << c.why;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 4) return 2;
    gUpdater = argv[1];
    gWork = argv[3];
    return RUN_ALL_TESTS();
}
