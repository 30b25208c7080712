// The real program started with a command line, under Wine: per mode its exit
// code, the install root afterwards, its log, and every top-level window it
// made while it ran, with the icon and buttons of each message box.
//   command_line_e2e.exe <dravlek-update.exe> <status_hook.dll> <work>
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

std::string gUpdater, gHook, gWork;

using Tree = std::map<std::string, std::string>;
const Tree kOld = {{"a.dll", "old a"}, {"keep.txt", "old"}};
const Tree kNew = {{"a.dll", "new a"}, {"b.txt", "new b"}, {"keep.txt", "old"}};

// A button the test presses when the window of that caption and child text
// is up: the question, the usage box, the list, Close once enabled. A
// negative button selects row -button - 1 of the list instead.
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
const Press kBusyBox{"Dravlek", 0xFFFF, LoadMessageString(IDS_ALREADY_RUNNING), IDOK};
const Press kStartFailedBox{"Dravlek", 0xFFFF, LoadMessageString(IDS_START_FAILED), IDOK};
const Press kFirstRow{"Dravlek", 1001, "", -1}, kSecondRow{"Dravlek", 1001, "", -2}, kUpdate{"Dravlek", 1003, "", 1003};

struct Outcome {
    DWORD exitCode = 0;
    std::vector<std::string> captions;  // each top-level window once, but the hidden IME ones
    int windows = 0;                    // every top-level window, IME ones too
    std::vector<std::string> buttons;   // of each message box, in order: "OK", "Yes No"
};

// The buttons a message box has, by name.
std::string Buttons(HWND box) {
    const char* names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};  // by id, IDOK to IDNO
    std::string text;
    for (int id = IDOK; id <= IDNO; ++id) {
        if (IsWindowVisible(GetDlgItem(box, id))) text += (text.empty() ? "" : " ") + std::string(names[id]);
    }
    return text;
}

BOOL CALLBACK Collect(HWND window, LPARAM found) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    auto* windows = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(found);
    if (owner == windows->first) windows->second.push_back(window);
    return TRUE;
}

std::wstring Wide(const std::string& text, UINT codePage = CP_ACP) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

// Runs the updater in folder, looking at its windows every 2 ms until it ends.
Outcome RunUpdater(const std::string& arguments, const std::string& folder, std::vector<Press> presses) {
    Outcome outcome{9999, {}, 0, {}};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // The wide line, as a script hands over names that no code page holds.
    std::wstring commandLine = Wide("\"" + gUpdater + "\" ") + Wide(arguments, CP_UTF8);
    if (!CreateProcessW(Wide(gUpdater).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        Wide(folder).c_str(), &startup, &process)) {
        return outcome;
    }
    std::map<HWND, bool> seen, boxes;
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
            if (stillThere && IsWindowVisible(window) && GetDlgItem(window, 0xFFFF) && !boxes[window]) {
                boxes[window] = true;
                outcome.buttons.push_back(Buttons(window));
            }
            HWND child = GetDlgItem(window, presses.empty() ? 0 : presses.front().childId);
            if (!presses.empty() && child && WindowText(window) == presses.front().caption && IsWindowEnabled(child) &&
                (presses.front().childText.empty() || WindowText(child) == presses.front().childText)) {
                const int button = presses.front().button;
                if (button < 0) {
                    SendMessageA(child, LB_SETCURSEL, static_cast<WPARAM>(-button - 1), 0);
                    PostMessageA(window, WM_COMMAND, MAKEWPARAM(presses.front().childId, LBN_SELCHANGE),
                                 reinterpret_cast<LPARAM>(child));
                } else {
                    PostMessageA(GetDlgItem(window, button), BM_CLICK, 0, 0);
                }
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
    // Each message box, in order: its icon (what the status hook saw it given) and buttons.
    std::vector<std::string> boxes = {};
    const char* failure = "";          // set to 1 for the status hook: DVK_E2E_FAIL_...
    const char* absent = "";           // a file (UTF-8 name) the run must not make
    bool squatter = false;             // the test holds a mutex of the old name, as anyone may
};

// The journal and files of an update killed once it had replaced a.dll,
// with b.txt still staged.
void LeaveInterruptedUpdate(JournalFolder& journals, const std::string& root) {
    const std::string a = root + "\\a.dll", b = root + "\\b.txt";
    auto journal = UpdateJournal::Begin(journals, root, {{a, a + ".~dvk0.new", a + ".~dvk0.old"},
                                                         {b, b + ".~dvk1.new", b + ".~dvk1.old"}});
    ASSERT_TRUE(journal && journal->Replacing({true, false}) && WriteFileBytes(b + ".~dvk1.new", "new b"));
    ASSERT_TRUE(MoveFileA(a.c_str(), (a + ".~dvk0.old").c_str()) && WriteFileBytes(a, "new a"));
}

const std::string kDone = "Mise \xC3\xA0 jour termin\xC3\xA9" "e. Cliquez sur Fermer.";
const std::string kDamaged = "Le fichier de mise \xC3\xA0 jour est endommag\xC3\xA9 ou illisible. Aucun fichier "
                             "n'a \xC3\xA9t\xC3\xA9 modifi\xC3\xA9.";
const std::string kStart = "D\xC3\xA9" "but : mode ", kProgress = "Mise \xE0 jour...";
const std::string kNotInstalled = "L'application que vous essayez de mettre \xC3\xA0 jour n'est pas install\xC3\xA9" "e. "
                                  "Installez l'application et essayez \xC3\xA0 nouveau.";
const std::string kStartFailed = "Impossible de d\xC3\xA9marrer la mise \xC3\xA0 jour. Aucun fichier n'a "
                                 "\xC3\xA9t\xC3\xA9 modifi\xC3\xA9.";
const std::string kUndone = "Reprise : une mise \xC3\xA0 jour interrompue a \xC3\xA9t\xC3\xA9 annul\xC3\xA9" "e, les "
                            "fichiers sont revenus \xC3\xA0 leur \xC3\xA9tat d'avant.";

const ModeCase kModeCases[] = {
    {"quiet", "/quiet /log run.log fix.dvk", {}, 0, kNew, {}, kDone},
    {"quiet, any case, quoted path", "-QUIET \"fix 2.dvk\" -Log run.log", {}, 0, kNew, {}, kDone},
    {"quiet, not installed", "/quiet /log run.log absent.dvk", {}, 1603, kOld, {}, kNotInstalled},
    {"quiet, damaged package", "/quiet /log run.log cut.dvk", {}, 1619, kOld, {}, kDamaged},
    {"quiet, missing package", "/quiet missing.dvk", {}, 1619, kOld, {}, ""},
    {"passive closes itself", "/passive /log run.log fix.dvk", {}, 0, kNew, {kProgress}, kDone},
    {"passive, damaged package", "/passive cut.dvk", {}, 1619, kOld, {kProgress}, ""},
    {"package, Yes", "fix.dvk /log run.log", {kYes, kClose}, 0, kNew, {"Dravlek", kProgress}, kDone, false, false,
     {"none Yes No"}},
    {"package, No", "fix.dvk /log run.log", {kNo}, 1602, kOld, {"Dravlek"}, kStart + "interactif, paquet fix.dvk",
     false, false, {"none Yes No"}},
    {"list closed", "/log run.log", {kCancel}, 1602, kOld, {"Dravlek"}, kStart + "interactif"},
    {"recover, nothing to do", "/recover /quiet /log run.log", {}, 0, kOld, {}, kStart + "/recover"},
    {"usage", "/?", {kOk}, 0, kOld, {"Dravlek"}, "", false, false, {"information OK"}},
    {"87: unknown switch, usage first", "/silent fix.dvk", {kOk}, 87, kOld, {"Dravlek"}, "", false, false,
     {"information OK"}},
    {"87: quiet without a package", "/quiet /log run.log", {}, 87, kOld, {},
     "Ligne de commande incorrecte : paquet manquant (/quiet)"},
    {"87: a log that cannot be opened", "/quiet /log nofolder\\run.log fix.dvk", {}, 87, kOld, {}, ""},
    {"another instance, quiet", "/quiet /log run.log fix.dvk", {}, 1618, kOld, {},
     "Une autre mise \xC3\xA0 jour est en cours.", true},
    {"another instance, recover", "/recover /quiet", {}, 1618, kOld, {}, "", true},
    {"Global\\DravlekUpdate taken by any process: no longer the lock, applied", "/quiet /log run.log fix.dvk", {}, 0,
     kNew, {}, kDone, false, false, {}, "", "", true},
    {"recover quietly: the interrupted update undone", "/recover /quiet /log run.log", {}, 0, kOld, {}, kUndone, false,
     true},
    {"quiet: undone without a box, then applied", "/quiet /log run.log fix.dvk", {}, 0, kNew, {}, kDone, false, true},
    {"package: box 118 before the question", "fix.dvk", {kUndoneBox, kNo}, 1602, kOld, {"Dravlek", "Dravlek"}, "",
     false, true, {"information OK", "none Yes No"}},
    {"package, another instance: box 120", "fix.dvk", {kBusyBox}, 1618, kOld, {"Dravlek"}, "", true, false,
     {"warning OK"}},
    {"package, Yes, no progress dialog: box 116", "fix.dvk /log run.log", {kYes, kStartFailedBox}, 1603, kOld,
     {"Dravlek", "Dravlek"}, kStartFailed, false, false, {"none Yes No", "error OK"}, "DVK_E2E_FAIL_DIALOG"},
    {"list: first row, product not installed", "/log run.log", {kFirstRow, kUpdate, kYes, kClose}, 1603, kOld,
     {"Dravlek", "Dravlek", kProgress}, kNotInstalled, false, false, {"none Yes No"}},
    {"list: second row applied", "/log run.log", {kSecondRow, kUpdate, kYes, kClose}, 0, kNew,
     {"Dravlek", "Dravlek", kProgress}, kDone, false, false, {"none Yes No"}},
    {"passive: no box 118, undone then applied", "/passive /log run.log fix.dvk", {}, 0, kNew, {kProgress}, kDone,
     false, true},
    {"passive, another instance: no box 120", "/passive /log run.log fix.dvk", {}, 1618, kOld, {},
     "Une autre mise \xC3\xA0 jour est en cours.", true},
    {"passive, 87: no usage box", "/passive /silent fix.dvk", {}, 87, kOld, {}, ""},
    {"passive, the worker cannot start: 116 logged, the dialog closes itself", "/passive /log run.log fix.dvk", {},
     1603, kOld, {kProgress}, kStartFailed, false, false, {}, "DVK_E2E_FAIL_THREAD_START"},
    // Beside fix-\xC5\x82.dvk lies its look-alike fix-l.dvk, a package of a product that is not installed.
    {"a name outside code page 1252 opens that file, not its look-alike", "/quiet /log run.log fix-\xC5\x82.dvk", {},
     0, kNew, {}, kDone},
    {"a fullwidth quote keeps /log inside the package's name",
     "/quiet \"fix\xEF\xBC\x82 /log planted.log \xEF\xBC\x82.dvk\"", {}, 1619, kOld, {}, "", false, false, {}, "",
     "planted.log"},
    {"87: a log name outside code page 1252", "/quiet /log \xC5\x82.log fix.dvk", {}, 87, kOld, {}, "", false, false, {}, "",
     "l.log"},
    {"87: a log that is a second name of another file", "/quiet /log run.log fix.dvk", {}, 87, kOld, {}, "", false,
     false, {}, "", "other.log"},
};

TEST(CommandLineModesTest, EachModeEndsWithItsCodeFilesLogAndWindows) {
    const std::string root = gWork + "\\root", folder = gWork + "\\modes", log = folder + "\\run.log";
    // In every process of the desktop, so that it is in the updater from its
    // first window on: it tells each message box's icon, and breaks what a
    // row asks it to.
    HMODULE hookModule = LoadLibraryA(gHook.c_str());
    auto* hookProc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void*>(GetProcAddress(hookModule, "StatusHookProc")));
    ASSERT_NE(hookProc, nullptr) << gHook;
    const std::string boxLog = gWork + "\\boxes.log";
    SetEnvironmentVariableA("DVK_E2E_BOX_LOG", boxLog.c_str());
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
        // Titled apart, so that it is the list's first row.
        WriteFileBytes(folder + "\\absent.dvk", BuildPackageBytes("Absent", "Software\\DravlekE2E\\Missing",
                                                                   {{0, "b.txt", "b.txt", "new b"}}));
        WriteFileBytes(folder + "\\fix-l.dvk", package("Software\\DravlekE2E\\Missing"));
        const std::string good = package("Software\\DravlekE2E\\Product");
        HANDLE wide = CreateFileW(Wide(folder + "\\fix-\xC5\x82.dvk", CP_UTF8).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(wide, good.data(), static_cast<DWORD>(good.size()), &written, nullptr)) << c.why;
        CloseHandle(wide);
        if (std::string(c.absent) == "other.log") {
            // The absent file is made here, as the log's other name: it must stay empty.
            ASSERT_TRUE(WriteFileBytes(folder + "\\other.log", "")) << c.why;
            ASSERT_TRUE(CreateHardLinkA(log.c_str(), (folder + "\\other.log").c_str(), nullptr)) << c.why;
        }
        WriteFileBytes(folder + "\\cut.dvk", package("Software\\DravlekE2E\\Product").substr(0, 40));
        std::vector<std::string> notes;
        std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
        ASSERT_NE(journals, nullptr);
        for (const std::string& name : journals->List()) ASSERT_TRUE(journals->Remove(name)) << name;
        if (c.interrupted) LeaveInterruptedUpdate(*journals, root);
        std::optional<InstanceMutex> held;
        if (c.anotherInstance) held.emplace();
        ASSERT_TRUE(!held || held->Owned()) << c.why;
        UniqueKernelHandle squatted(c.squatter ? CreateMutexA(nullptr, TRUE, "Global\\DravlekUpdate") : nullptr);

        DeleteFileA(boxLog.c_str());
        if (*c.failure) SetEnvironmentVariableA(c.failure, "1");
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, hookProc, hookModule, 0);
        const Outcome outcome = RunUpdater(c.arguments, folder, c.presses);
        UnhookWindowsHookEx(hook);
        if (*c.failure) SetEnvironmentVariableA(c.failure, nullptr);
        held.reset();
        squatted.Reset();
        std::vector<std::string> boxes;
        for (const std::string& record : ReadStatusLog(boxLog)) {
            if (record == "box") boxes.push_back("none");
            if (record.rfind("icon ", 0) == 0 && !boxes.empty()) boxes.back() = record.substr(5);
        }
        for (std::size_t i = 0; i < boxes.size() && i < outcome.buttons.size(); ++i) boxes[i] += " " + outcome.buttons[i];
        EXPECT_EQ(boxes, c.boxes) << c.why;
        EXPECT_EQ(outcome.buttons.size(), c.boxes.size()) << c.why;
        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.why;
        EXPECT_EQ(ListTree(root), c.root) << c.why;
        EXPECT_EQ(outcome.captions, c.windows) << c.why;
        EXPECT_TRUE(!c.windows.empty() || outcome.windows == 0) << c.why << ": no window of any kind";

        if (std::string(c.absent) == "other.log") {
            EXPECT_EQ(ReadFileBytes(folder + "\\other.log"), "") << c.why;
        } else if (*c.absent != '\0') {
            EXPECT_EQ(GetFileAttributesW(Wide(folder + "\\" + c.absent, CP_UTF8).c_str()), INVALID_FILE_ATTRIBUTES)
                << c.why;
        }
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
    gHook = argv[2];
    gWork = argv[3];
    return RUN_ALL_TESTS();
}
