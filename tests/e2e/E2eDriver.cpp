// End-to-end tests of dravlek-update.exe under Wine: starts the program in a
// prepared folder, drives it like a user through its windows, and checks the
// rows it lists, every status line it shows (recorded by the hook DLL) and
// the files it leaves in the install root. Also checks the compiled
// resources of the .exe.
//
// Usage: e2e_driver <dravlek-update.exe> <status_hook.dll> <work folder>
// The run script registers <work>\root under HKLM\Software\DravlekE2E\Product.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "engine/UpdateJournal.h"
#include "package/PackageWriter.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/ResourceChecks.h"

namespace {

const char kInstalledKey[] = "Software\\DravlekE2E\\Product";
const char kMissingKey[] = "Software\\DravlekE2E\\Missing";

std::string Text(int id) {
    return BuiltInMessageString(id);
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += "\n      " + Printable(line);
    return out;
}

// Bytes that differ from entry to entry, so a mixed-up copy shows.
std::string Pattern(std::size_t size, int salt) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + salt * 7 + i / 4096) & 0xFF);
    return data;
}

class E2eTests {
public:
    E2eTests(const DriverPaths& paths) : paths_(paths) {}

    int Run();

private:
    struct Entry {
        std::uint8_t flags;
        std::string target;
        std::string data;
        std::vector<int> percents;  // the progress lines' numbers, as the user reads them
    };
    enum class Outcome { kComplete, kNotInstalled, kRequiredMissing, kWriteFailed };
    struct ApplyCase {
        const char* name;
        const char* registryKey;
        std::map<std::string, std::string> rootBefore;
        std::vector<Entry> entries;
        Outcome outcome;
        std::string failingTarget;  // kRequiredMissing, kWriteFailed
        std::string heldOpen;       // a root file held open without write or delete sharing
    };

    bool SetUp();
    std::string Root() const { return paths_.work + "\\root"; }
    std::string NewCaseFolder(const std::string& name);
    std::string LogPath(const std::string& name) const { return paths_.work + "\\logs\\" + name + ".log"; }
    bool ResetRoot(const std::map<std::string, std::string>& files);
    bool WritePackage(const std::string& path, const std::string& title, const std::string& key,
                      const std::vector<Entry>& entries);

    // Update, Yes, wait for Close; returns the progress dialog (null on failure).
    HWND ConfirmAndWaitForClose(UpdaterRun& run, DWORD timeoutMs = 30000);
    void CheckProgressTexts(HWND progress);
    void CheckSelectionTexts(UpdaterRun& run);

    void ResourcesOfTheProgram();
    void EmptyFolder();
    void RowsSortedAndTiedToTheirFiles();
    void UpdateNeedsSelectionAndConfirmation();
    void EndingWithoutUpdate();
    void ApplyOutcomes();
    void RunApplyCase(const ApplyCase& apply);
    void PackageGoneBeforeUpdate();
    void WorkerCannotStart();
    void KeysAndCloseIgnoredDuringApply();
    void EnterEndsFinishedProgress();
    void StartBoxesAndTheJournal();

    DriverPaths paths_;
    Checker check_;
};

bool E2eTests::SetUp() {
    check_.BeginCase("set-up");
    check_.Check(GetACP() == 1252, "the ANSI code page is 1252, not " + std::to_string(GetACP()));
    RemoveTree(paths_.work + "\\cases");
    RemoveTree(paths_.work + "\\logs");
    CreateDirectoryA(paths_.work.c_str(), nullptr);
    CreateDirectoryA((paths_.work + "\\cases").c_str(), nullptr);
    CreateDirectoryA((paths_.work + "\\logs").c_str(), nullptr);
    CreateDirectoryA(Root().c_str(), nullptr);

    HKEY key;
    bool ok = check_.Check(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstalledKey, 0, KEY_READ, &key) == ERROR_SUCCESS,
                           "the test product is registered");
    if (ok) {
        char path[MAX_PATH] = {};
        DWORD size = sizeof path - 1;
        RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(key);
        ok = check_.Check(lstrcmpiA(path, Root().c_str()) == 0,
                          "its Path is the work root: " + std::string(path) + " vs " + Root());
    }
    HKEY missing;
    bool absent = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMissingKey, 0, KEY_READ, &missing) != ERROR_SUCCESS;
    if (!absent) RegCloseKey(missing);
    return check_.Check(absent, "the missing product's key does not exist") && ok;
}

std::string E2eTests::NewCaseFolder(const std::string& name) {
    std::string folder = paths_.work + "\\cases\\" + name;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool E2eTests::ResetRoot(const std::map<std::string, std::string>& files) {
    bool ok = RemoveTree(Root()) && CreateDirectoryA(Root().c_str(), nullptr);
    for (const auto& file : files) {
        std::string path = Root() + "\\" + file.first;
        if (file.second == "<dir>") {
            ok = CreateDirectoryA(path.substr(0, path.size() - 1).c_str(), nullptr) && ok;
        } else {
            ok = WriteBytes(path, file.second) && ok;
        }
    }
    return check_.Check(ok, "install root prepared");
}

bool E2eTests::WritePackage(const std::string& path, const std::string& title, const std::string& key,
                            const std::vector<Entry>& entries) {
    std::vector<PackageContent> contents;
    for (const Entry& entry : entries) contents.push_back({entry.flags, entry.target, entry.target, entry.data});
    return check_.Check(WriteBytes(path, BuildPackageBytes(title, key, contents)), "package written: " + path);
}

void E2eTests::CheckSelectionTexts(UpdaterRun& run) {
    check_.Check(WindowText(run.Selection()) == "Dravlek", "selection caption");
    check_.Check(WindowText(run.Item(1002)) == Text(IDS_SELECT_PROMPT), "prompt text");
    check_.Check(WindowText(run.Item(1003)) == Text(IDS_UPDATE_BUTTON), "Update button text");
    check_.Check(WindowText(run.Item(IDCANCEL)) == Text(IDS_CANCEL_BUTTON), "Cancel button text");
    check_.Check(!IsWindowEnabled(run.Item(1003)), "Update is disabled before a selection");
    LONG style = GetWindowLongA(run.Selection(), GWL_STYLE);
    check_.Check((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0 && (style & WS_SYSMENU),
                 "fixed size, close box only");
}

void E2eTests::CheckProgressTexts(HWND progress) {
    check_.Check(WindowText(progress) == Text(IDS_PROGRESS_CAPTION), "progress caption: " + Printable(WindowText(progress)));
    check_.Check(WindowText(GetDlgItem(progress, 1004)) == Text(IDS_STATUS_LABEL), "status label text");
    check_.Check(WindowText(GetDlgItem(progress, 1006)) == Text(IDS_CLOSE_BUTTON), "Close button text");
    check_.Check((GetWindowLongA(progress, GWL_STYLE) & WS_SYSMENU) == 0, "no system menu or close box");
}

HWND E2eTests::ConfirmAndWaitForClose(UpdaterRun& run, DWORD timeoutMs) {
    run.Click(run.Item(1003));
    HWND box = run.WaitForConfirmation();
    if (!check_.Check(box != nullptr, "the confirmation box appears")) return nullptr;
    run.Click(GetDlgItem(box, IDYES));
    HWND progress = run.WaitForProgress();
    if (!check_.Check(progress != nullptr, "the progress dialog appears")) return nullptr;
    check_.Check(!IsWindowEnabled(run.Selection()), "the selection dialog is disabled meanwhile");
    HWND close = GetDlgItem(progress, 1006);
    if (!check_.Check(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, timeoutMs), "Close becomes enabled"))
        return nullptr;
    CheckProgressTexts(progress);
    return progress;
}

// --- listing ---------------------------------------------------------------

void E2eTests::EmptyFolder() {
    check_.BeginCase("empty folder: no rows, Update disabled, Cancel ends");
    ResetRoot({{"keep.txt", "old"}});
    std::string folder = NewCaseFolder("empty");
    UpdaterRun run(paths_, folder, LogPath("empty"));
    if (!check_.Check(run.Ready(), run.Problem())) return;
    CheckSelectionTexts(run);
    check_.Check(run.Rows().empty(), "no rows");
    run.Click(run.Item(IDCANCEL));
    check_.Check(run.WaitForExit(), "Cancel ends the program");
    check_.Check(ListTree(Root()) == std::map<std::string, std::string>{{"keep.txt", "old"}}, "root unchanged");
}

void E2eTests::RowsSortedAndTiedToTheirFiles() {
    // Names, titles and creation order all disagree, so only the row-to-file
    // tie can put the right file behind each row.
    struct Listed {
        const char* file;
        const char* title;
    };
    const Listed listed[] = {
        {"b-zeta.dvk", "Zeta"}, {"a-mid.dvk", "Mid"}, {"twin-2.dvk", "Twin"}, {"c-alpha.dvk", "Alpha"},
        {"d-empty.dvk", ""},    {"twin-1.dvk", "Twin"},
    };
    const std::vector<std::string> sortedTitles = {"", "Alpha", "Mid", "Twin", "Twin", "Zeta"};

    check_.BeginCase("rows sorted by title, each tied to its own file; damaged files not listed");
    std::string folder = NewCaseFolder("rows");
    for (const Listed& package : listed) {
        WritePackage(folder + "\\" + package.file, package.title, kInstalledKey,
                     {{0, "which.txt", package.file, {100}}});
    }
    // Not packages: cut short, an unsafe target, a folder named like one.
    std::string good = BuildPackageBytes("Damaged", kInstalledKey, {{0, "x.txt", "x.txt", "0123456789"}});
    WriteBytes(folder + "\\damaged.dvk", good.substr(0, good.size() - 4));
    WriteBytes(folder + "\\unsafe.dvk",
               BuildPackageBytes("Unsafe", kInstalledKey, {{0, "..\\outside.txt", "..\\outside.txt", "x"}}));
    CreateDirectoryA((folder + "\\folder.dvk").c_str(), nullptr);
    WriteBytes(folder + "\\not-a-package.txt", good);

    std::vector<std::string> appliedFiles;
    for (std::size_t row = 0; row < sortedTitles.size(); ++row) {
        ResetRoot({});
        std::string log = LogPath("rows-" + std::to_string(row));
        UpdaterRun run(paths_, folder, log);
        if (!check_.Check(run.Ready(), run.Problem())) return;
        std::vector<std::string> rows = run.Rows();
        if (!check_.Check(rows == sortedTitles, "rows are the sorted titles:" + Join(rows))) return;
        check_.Check(run.ClickRow(static_cast<int>(row)), "row " + std::to_string(row) + " selected");
        HWND progress = ConfirmAndWaitForClose(run);
        if (!progress) return;
        run.Click(GetDlgItem(progress, 1006));
        check_.Check(run.WaitForExit(), "the program ends after Close");
        std::string applied;
        ReadBytes(Root() + "\\which.txt", applied);
        appliedFiles.push_back(applied);
        std::string expected;
        for (const Listed& package : listed) {
            if (sortedTitles[row] == package.title) expected += std::string(expected.empty() ? "" : " or ") + package.file;
        }
        check_.Check(expected.find(applied) != std::string::npos && !applied.empty(),
                     "row " + std::to_string(row) + " (" + Printable(sortedTitles[row]) + ") applied " + applied +
                         ", expected " + expected);
        check_.Check(ListTree(Root()).size() == 1, "only which.txt written");
    }
    check_.Check(appliedFiles.size() == 6 && appliedFiles[3] != appliedFiles[4],
                 "the two rows titled Twin apply different files");
}

// --- selection and confirmation -------------------------------------------------

void E2eTests::UpdateNeedsSelectionAndConfirmation() {
    check_.BeginCase("Update disabled until a selection; No keeps the dialog and asks again; Esc ends");
    ResetRoot({{"keep.txt", "old"}});
    std::string folder = NewCaseFolder("confirm");
    WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "new.txt", "new", {100}}});
    UpdaterRun run(paths_, folder, LogPath("confirm"));
    if (!check_.Check(run.Ready(), run.Problem())) return;
    check_.Check(!IsWindowEnabled(run.Item(1003)), "Update disabled");

    // Enter, and the Update command itself, do nothing while nothing is selected.
    run.PressKey(VK_RETURN);
    SendMessageA(run.Selection(), WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED), reinterpret_cast<LPARAM>(run.Item(1003)));
    check_.Check(run.WaitForConfirmation(700) == nullptr, "no confirmation without a selection");
    check_.Check(!run.Exited(), "still running");

    check_.Check(run.ClickRow(0), "row selected");
    check_.Check(WaitFor([&] { return IsWindowEnabled(run.Item(1003)) != FALSE; }, 5000), "Update enabled by the selection");
    // A double click only selects.
    PostMessageA(run.Item(1001), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, 4));
    PostMessageA(run.Item(1001), WM_LBUTTONUP, 0, MAKELPARAM(8, 4));
    check_.Check(run.WaitForConfirmation(700) == nullptr && !run.Exited(), "a double click starts nothing");

    for (int round = 1; round <= 2; ++round) {
        run.Click(run.Item(1003));
        HWND box = run.WaitForConfirmation();
        if (!check_.Check(box != nullptr, "confirmation shown, round " + std::to_string(round))) return;
        check_.Check(WindowText(GetDlgItem(box, 0xFFFF)) == Text(IDS_CONFIRM), "the question");
        check_.Check(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDCANCEL), "Yes and No only");
        LRESULT defaultId = SendMessageA(box, DM_GETDEFID, 0, 0);
        LONG yesStyle = GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE);
        check_.Check((HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == IDYES) ||
                         (yesStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON,
                     "Yes is the default answer (" + std::to_string(defaultId) + ", style " + std::to_string(yesStyle) + ")");
        bool icon = false;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[16];
            GetClassNameA(child, className, sizeof className);
            if (lstrcmpiA(className, "Static") == 0 && IsWindowVisible(child) &&
                (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageA(child, STM_GETICON, 0, 0))
                icon = true;
        }
        check_.Check(!icon, "no icon in the confirmation box");
        run.Click(GetDlgItem(box, IDNO));
        check_.Check(WaitFor([&] { return !IsWindow(box); }, 5000), "No closes the box");
        check_.Check(!run.Exited() && IsWindowEnabled(run.Selection()), "the selection dialog stays");
        check_.Check(SendMessageA(run.Item(1001), LB_GETCURSEL, 0, 0) == 0, "the selection stays");
        check_.Check(IsWindowEnabled(run.Item(1003)) != FALSE, "Update stays enabled");
    }
    run.PressKey(VK_ESCAPE);
    check_.Check(run.WaitForExit(), "Esc ends the program");
    check_.Check(ListTree(Root()) == std::map<std::string, std::string>{{"keep.txt", "old"}}, "nothing written");
    check_.Check(ReadStatusLog(LogPath("confirm")).empty(), "no status line");
}

void E2eTests::EndingWithoutUpdate() {
    struct Ending {
        const char* name;
        void (*end)(const UpdaterRun&);
    };
    const Ending endings[] = {
        {"Cancel button", [](const UpdaterRun& run) { run.Click(run.Item(IDCANCEL)); }},
        {"Esc", [](const UpdaterRun& run) { run.PressKey(VK_ESCAPE); }},
        {"close box", [](const UpdaterRun& run) { PostMessageA(run.Selection(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"WM_CLOSE", [](const UpdaterRun& run) { PostMessageA(run.Selection(), WM_CLOSE, 0, 0); }},
    };
    for (const Ending& ending : endings) {
        check_.BeginCase(std::string("selected, then ") + ending.name + ": ends without writing");
        ResetRoot({{"keep.txt", "old"}});
        std::string folder = NewCaseFolder("ending");
        WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "keep.txt", "new", {100}}});
        UpdaterRun run(paths_, folder, LogPath("ending"));
        if (!check_.Check(run.Ready(), run.Problem())) continue;
        check_.Check(run.ClickRow(0), "row selected");
        ending.end(run);
        check_.Check(run.WaitForExit(), "the program ends");
        check_.Check(ListTree(Root()) == std::map<std::string, std::string>{{"keep.txt", "old"}}, "nothing written");
    }
}

// --- applying --------------------------------------------------------------

void E2eTests::ApplyOutcomes() {
    const std::string name = "r\xE9sum\xE9 \xE0 lire.txt";  // cp1252 bytes in a target name
    const ApplyCase cases[] = {
        {"successful apply: every line and every file",
         kInstalledKey,
         {{"app.dll", "old app"}, {"data\\", "<dir>"}, {"data\\big.bin", "old big"}, {"empty.dat", "not empty"}},
         {{2, "app.dll", Pattern(10000, 1), {41, 82, 100}},
          {0, name, Pattern(3, 2), {100}},
          {0, "empty.dat", "", {}},
          {2, "data\\big.bin", Pattern(32768, 3), {13, 25, 38, 50, 63, 75, 88, 100}},
          {0, "edge.bin", Pattern(4097, 4), {100, 100}},
          {0, "block.bin", Pattern(4096, 5), {100}}},
         Outcome::kComplete, "", ""},
        {"product not installed: one line, nothing written",
         kMissingKey,
         {{"app.dll", "old app"}},
         {{0, "app.dll", Pattern(100, 1), {100}}},
         Outcome::kNotInstalled, "", ""},
        {"required file missing: Test lines up to it, nothing written",
         kInstalledKey,
         {{"a.txt", "old a"}},
         {{2, "a.txt", Pattern(10, 1), {100}}, {0, "b.txt", Pattern(10, 2), {100}},
          {2, "lib\\missing.dll", Pattern(10, 3), {100}}, {2, "a.txt", Pattern(10, 4), {100}}},
         Outcome::kRequiredMissing, "lib\\missing.dll", ""},
        {"write failure: the install root stays as it was",
         kInstalledKey,
         {{"a.txt", "old a"}, {"b.txt", "old b"}},
         {{0, "a.txt", Pattern(5000, 1), {82, 100}}, {0, "b.txt", Pattern(10, 2), {100}},
          {0, "c.txt", Pattern(10, 3), {100}}},
         Outcome::kWriteFailed, "b.txt", "b.txt"},
    };
    for (const ApplyCase& apply : cases) RunApplyCase(apply);
}

void E2eTests::RunApplyCase(const ApplyCase& apply) {
    check_.BeginCase(apply.name);
    ResetRoot(apply.rootBefore);
    std::string folder = NewCaseFolder("apply");
    WritePackage(folder + "\\p.dvk", "Package", apply.registryKey, apply.entries);

    std::vector<std::string> expected;
    std::map<std::string, std::string> rootAfter = apply.rootBefore;
    switch (apply.outcome) {
        case Outcome::kNotInstalled:
            expected.push_back(Text(IDS_NOT_INSTALLED));
            break;
        case Outcome::kRequiredMissing:
            for (const Entry& entry : apply.entries) {
                expected.push_back(Text(IDS_TESTING) + " " + entry.target);
                if (entry.target == apply.failingTarget) break;
            }
            expected.push_back(Text(IDS_REQUIRED_FILE_MISSING) + " " + apply.failingTarget);
            break;
        case Outcome::kWriteFailed:
        case Outcome::kComplete:
            for (const Entry& entry : apply.entries) expected.push_back(Text(IDS_TESTING) + " " + entry.target);
            for (const Entry& entry : apply.entries) {
                expected.push_back(Text(IDS_EXTRACTING) + " " + entry.target);
                for (int percent : entry.percents)
                    expected.push_back(Text(IDS_EXTRACTING) + ": " + entry.target + " (" + std::to_string(percent) + " %)");
                rootAfter[entry.target] = entry.data;
            }
            expected.push_back(Text(IDS_UPDATE_COMPLETE));
            break;
    }

    HANDLE held = INVALID_HANDLE_VALUE;
    if (!apply.heldOpen.empty()) {
        held = CreateFileA((Root() + "\\" + apply.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        check_.Check(held != INVALID_HANDLE_VALUE, "target held open");
    }
    std::string log = LogPath("apply");
    {
        UpdaterRun run(paths_, folder, log);
        if (check_.Check(run.Ready(), run.Problem()) && check_.Check(run.ClickRow(0), "row selected")) {
            HWND progress = ConfirmAndWaitForClose(run);
            if (progress) {
                std::vector<std::string> lines = ReadStatusLog(log);
                check_.Check(!lines.empty() && WindowText(GetDlgItem(progress, 1005)) == lines.back(),
                             "the status box shows the last line");
                run.Click(GetDlgItem(progress, 1006));
                check_.Check(run.WaitForExit(), "the program ends after Close");
            }
        }
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

    std::vector<std::string> lines = ReadStatusLog(log);
    if (apply.outcome == Outcome::kWriteFailed) {
        // Where the write fails depends on how targets are replaced; what the
        // user must see is the Test lines, then the failing file at the end.
        std::vector<std::string> tests(expected.begin(), expected.begin() + apply.entries.size());
        check_.Check(lines.size() > tests.size() && std::vector<std::string>(lines.begin(), lines.begin() + tests.size()) == tests,
                     "the Test lines come first:" + Join(lines));
        check_.Check(!lines.empty() && lines.back() == Text(IDS_WRITE_FAILED) + " " + apply.failingTarget,
                     "the last line names the file that could not be written:" + Join(lines));
        rootAfter = apply.rootBefore;
    } else {
        check_.Check(lines == expected, "status lines, byte for byte:" + Join(lines) + "\n    expected:" + Join(expected));
    }
    std::map<std::string, std::string> actual = ListTree(Root());
    if (!check_.Check(actual == rootAfter, "install root afterwards")) {
        for (const auto& file : actual) {
            auto wanted = rootAfter.find(file.first);
            if (wanted == rootAfter.end() || wanted->second != file.second)
                std::printf("    differs or extra: %s (%u bytes)\n", Printable(file.first).c_str(),
                            static_cast<unsigned>(file.second.size()));
        }
        for (const auto& file : rootAfter)
            if (!actual.count(file.first)) std::printf("    missing: %s\n", Printable(file.first).c_str());
    }
}

void E2eTests::PackageGoneBeforeUpdate() {
    const char* variants[] = {"deleted", "cut short"};
    for (const char* variant : variants) {
        check_.BeginCase(std::string("package ") + variant + " after it was listed: told, nothing applied, ends");
        ResetRoot({{"a.txt", "old a"}});
        std::string folder = NewCaseFolder("gone");
        WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "a.txt", "new", {100}}});
        std::string log = LogPath("gone");
        UpdaterRun run(paths_, folder, log);
        if (!check_.Check(run.Ready(), run.Problem())) continue;
        check_.Check(run.ClickRow(0), "row selected");
        if (std::string(variant) == "deleted") {
            check_.Check(DeleteFileA((folder + "\\p.dvk").c_str()) != FALSE, "package deleted");
        } else {
            check_.Check(WriteBytes(folder + "\\p.dvk", "Package"), "package cut short");
        }
        HWND progress = ConfirmAndWaitForClose(run);
        if (!progress) continue;
        check_.Check(ReadStatusLog(log) == std::vector<std::string>{Text(IDS_PACKAGE_DAMAGED)},
                     "one line says the package cannot be read:" + Join(ReadStatusLog(log)));
        run.Click(GetDlgItem(progress, 1006));
        check_.Check(run.WaitForExit(), "the program ends after Close");
        check_.Check(ListTree(Root()) == std::map<std::string, std::string>{{"a.txt", "old a"}}, "nothing written");
    }
}

void E2eTests::WorkerCannotStart() {
    check_.BeginCase("worker thread cannot start: told, Close enabled, nothing written");
    ResetRoot({{"a.txt", "old a"}});
    std::string folder = NewCaseFolder("nothread");
    WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "a.txt", "new", {100}}});
    std::string log = LogPath("nothread");
    UpdaterRun run(paths_, folder, log, true);
    if (!check_.Check(run.Ready(), run.Problem())) return;
    check_.Check(run.ClickRow(0), "row selected");
    HWND progress = ConfirmAndWaitForClose(run, 10000);
    if (!progress) return;
    check_.Check(ReadStatusLog(log) == std::vector<std::string>{Text(IDS_START_FAILED)},
                 "one line says the update could not start:" + Join(ReadStatusLog(log)));
    run.Click(GetDlgItem(progress, 1006));
    check_.Check(run.WaitForExit(), "the program ends after Close");
    check_.Check(ListTree(Root()) == std::map<std::string, std::string>{{"a.txt", "old a"}}, "nothing written");
}

// --- during and after an apply ------------------------------------------------

void E2eTests::KeysAndCloseIgnoredDuringApply() {
    check_.BeginCase("Esc, Enter and close requests do nothing during a long apply; Esc ends it afterwards");
    ResetRoot({});
    std::string folder = NewCaseFolder("long");
    const std::size_t size = 16u * 1024 * 1024;  // 4096 progress lines
    std::string data = Pattern(size, 9);
    WritePackage(folder + "\\p.dvk", "Long", kInstalledKey, {{0, "long.bin", data, {}}});
    std::string log = LogPath("long");
    UpdaterRun run(paths_, folder, log);
    if (!check_.Check(run.Ready(), run.Problem())) return;
    check_.Check(run.ClickRow(0), "row selected");
    run.Click(run.Item(1003));
    HWND box = run.WaitForConfirmation();
    if (!check_.Check(box != nullptr, "confirmation")) return;
    run.Click(GetDlgItem(box, IDYES));
    HWND progress = run.WaitForProgress();
    if (!check_.Check(progress != nullptr, "progress dialog")) return;
    HWND close = GetDlgItem(progress, 1006);
    HWND statusBox = GetDlgItem(progress, 1005);

    check_.Check(WaitFor([&] { return ReadStatusLog(log).size() > 20; }, 10000), "the apply is under way");
    check_.Check(!IsWindowEnabled(close), "Close disabled while applying");
    run.PressKey(VK_ESCAPE);
    run.PressKey(VK_RETURN);
    PostMessageA(progress, WM_COMMAND, IDOK, 0);
    PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(progress, WM_CLOSE, 0, 0);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Several more lines taken means the UI thread has been through its
    // queue, posted messages included.
    std::size_t seen = ReadStatusLog(log).size();
    check_.Check(WaitFor([&] { return ReadStatusLog(log).size() > seen + 50; }, 10000), "the apply goes on");
    bool stillApplying = !IsWindowEnabled(close);
    check_.Check(stillApplying, "the apply was still running when the keys were handled (make it longer)");
    check_.Check(IsWindow(progress) && IsWindowVisible(progress) && !run.Exited(), "the progress dialog stays");

    if (!check_.Check(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, 60000), "Close enabled at the end"))
        return;
    check_.Check(WindowText(statusBox) == Text(IDS_UPDATE_COMPLETE), "completion line shown");
    std::vector<std::string> lines = ReadStatusLog(log);
    check_.Check(lines.size() == 1 + 1 + size / 4096 + 1, "every line recorded: " + std::to_string(lines.size()));
    run.PressKey(VK_ESCAPE);
    check_.Check(run.WaitForExit(), "Esc ends the finished progress dialog and the program (focus on " +
                                        run.FocusDescription() + ")");
    std::string written;
    check_.Check(ReadBytes(Root() + "\\long.bin", written) && written == data, "the long file is written whole");
}

void E2eTests::EnterEndsFinishedProgress() {
    check_.BeginCase("Enter ends the progress dialog once Close is enabled");
    ResetRoot({});
    std::string folder = NewCaseFolder("enter");
    WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "a.txt", "new", {100}}});
    UpdaterRun run(paths_, folder, LogPath("enter"));
    if (!check_.Check(run.Ready(), run.Problem())) return;
    check_.Check(run.ClickRow(0), "row selected");
    if (!ConfirmAndWaitForClose(run)) return;
    run.PressKey(VK_RETURN);
    check_.Check(run.WaitForExit(), "Enter ends it and the program");
    std::string written;
    check_.Check(ReadBytes(Root() + "\\a.txt", written) && written == "new", "the file is written");
}

void E2eTests::ResourcesOfTheProgram() {
    check_.BeginCase("compiled resources: templates, strings, icon, manifest, nothing else");
    CheckProgramResources(paths_.updater, check_);
}

int E2eTests::Run() {
    if (!SetUp()) {
        std::printf("set-up failed\n");
        return 1;
    }
    ResourcesOfTheProgram();
    EmptyFolder();
    RowsSortedAndTiedToTheirFiles();
    UpdateNeedsSelectionAndConfirmation();
    EndingWithoutUpdate();
    ApplyOutcomes();
    PackageGoneBeforeUpdate();
    WorkerCannotStart();
    KeysAndCloseIgnoredDuringApply();
    EnterEndsFinishedProgress();
    StartBoxesAndTheJournal();
    std::printf("%d cases, %d failed checks\n", check_.Cases(), check_.Failures());
    return check_.Failures() == 0 ? 0 : 1;
}

// --- start: one instance, recovery ---------------------------------------------

// A journal as an update leaves it when killed: a.txt and c.txt existed
// ("old a", "old c"), b.txt is new. With replaced = 2, a and b were replaced
// and c is still staged; with replaced = 3 every target is new and the
// update was about to remove the backups.
bool LeaveInterruptedUpdate(JournalFolder& journals, const std::string& root, int replaced) {
    const std::vector<JournalEntry> entries = {
        {root + "\\a.txt", root + "\\a.txt.~staged", root + "\\a.txt.~backup"},
        {root + "\\b.txt", root + "\\b.txt.~staged", root + "\\b.txt.~backup"},
        {root + "\\c.txt", root + "\\c.txt.~staged", root + "\\c.txt.~backup"},
    };
    std::unique_ptr<UpdateJournal> journal = UpdateJournal::Begin(journals, root, entries);
    bool ok = journal && journal->Replacing();
    for (int i = 0; i < 3 && ok; ++i) {
        const JournalEntry& entry = entries[static_cast<std::size_t>(i)];
        std::string newBytes = std::string("new ") + static_cast<char>('a' + i);
        bool existed = i != 1;
        if (i >= replaced) {
            ok = WriteBytes(entry.staged, newBytes);
            continue;
        }
        ok = journal->Replace(static_cast<std::size_t>(i), existed);
        if (existed) ok = ok && MoveFileA(entry.target.c_str(), entry.backup.c_str());
        ok = ok && WriteBytes(entry.target, newBytes);
    }
    if (ok && replaced == 3) ok = journal->Committed();
    return ok;
}

DWORD WINAPI TakeMutexAndEnd(void* out) {
    *static_cast<HANDLE*>(out) = CreateMutexA(nullptr, TRUE, "Global\\DravlekUpdate");
    return 0;
}

// An ending thread leaves the mutex it owns abandoned; the handle kept here
// keeps the mutex in existence.
HANDLE AbandonedMutex() {
    HANDLE mutex = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, TakeMutexAndEnd, &mutex, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return mutex;
}

void E2eTests::StartBoxesAndTheJournal() {
    using Files = std::map<std::string, std::string>;
    const Files before = {{"a.txt", "old a"}, {"c.txt", "old c"}};
    const Files halfway = {{"a.txt", "new a"}, {"a.txt.~backup", "old a"}, {"b.txt", "new b"},
                           {"c.txt", "old c"}, {"c.txt.~staged", "new c"}};
    const Files after = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}};
    struct StartCase {
        const char* name;
        int replaced;              // -1: no journal; else as LeaveInterruptedUpdate
        bool firstInstanceRuns;    // started before, showing its selection dialog
        bool abandonedMutex;
        const char* heldOpen;      // a root file held open without delete sharing
        int box;                   // 0: none
        bool selectionShown;
        Files rootAfter;
        std::size_t journalsAfter;
    };
    const StartCase cases[] = {
        {"a killed update's journal is undone at start: box 118, then the selection dialog", 2, false, false, "",
         IDS_UPDATE_UNDONE, true, before, 0},
        {"an update killed after its last replacement is finished at start, without a box", 3, false, false, "", 0,
         true, after, 0},
        {"a second instance while the first shows its dialog: box 120, it ends touching nothing", 2, true, false, "",
         IDS_ALREADY_RUNNING, false, halfway, 1},
        {"a target held open during the undo: box 119, the journal kept", 2, false, false, "a.txt",
         IDS_UNDO_INCOMPLETE, true, {{"a.txt", "new a"}, {"a.txt.~backup", "old a"}, {"c.txt", "old c"}}, 1},
        {"the next start finishes that undo: box 118", -1, false, false, "", IDS_UPDATE_UNDONE, true, before, 0},
        {"a mutex abandoned by its holder counts as free: no box", -1, false, true, "", 0, true, before, 0},
    };
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder();
    if (!check_.Check(journals != nullptr, "the journal folder opens")) return;
    for (const StartCase& c : cases) {
        check_.BeginCase(c.name);
        std::string folder = NewCaseFolder("start");
        std::unique_ptr<UpdaterRun> first;
        if (c.firstInstanceRuns) {
            first = std::make_unique<UpdaterRun>(paths_, folder, LogPath("first"));
            if (!check_.Check(first->Ready(), "first instance: " + first->Problem())) continue;
        }
        if (c.replaced >= 0) {
            for (const std::string& name : journals->List()) journals->Remove(name);
            ResetRoot(before);
            if (!check_.Check(LeaveInterruptedUpdate(*journals, Root(), c.replaced), "journal written")) continue;
        }
        HANDLE held = INVALID_HANDLE_VALUE;
        if (*c.heldOpen) {
            held = CreateFileA((Root() + "\\" + c.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        }
        HANDLE mutex = c.abandonedMutex ? AbandonedMutex() : nullptr;
        {
            UpdaterRun run(paths_, folder, LogPath("start"));
            std::vector<std::string> expected;
            if (c.box != 0) expected.push_back(Text(c.box));
            check_.Check(run.StartBoxes() == expected, "boxes at start:" + Join(run.StartBoxes()));
            check_.Check((run.Selection() != nullptr) == c.selectionShown, "selection dialog shown or not");
            if (run.Selection()) run.Click(run.Item(IDCANCEL));
            check_.Check(run.WaitForExit(), "the program ends");
        }
        if (mutex) CloseHandle(mutex);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (first) {
            check_.Check(IsWindowVisible(first->Selection()) != FALSE, "the first instance still shows its dialog");
            first->Click(first->Item(IDCANCEL));
            check_.Check(first->WaitForExit(), "the first instance ends");
        }
        check_.Check(ListTree(Root()) == c.rootAfter, "install root afterwards");
        check_.Check(journals->List().size() == c.journalsAfter,
                     "journals left: " + std::to_string(journals->List().size()));
    }
    // Whatever a failed case left must not reach the other tests.
    for (const std::string& name : journals->List()) journals->Remove(name);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: e2e_driver <dravlek-update.exe> <status_hook.dll> <work folder>\n");
        return 2;
    }
    E2eTests tests({argv[1], argv[2], argv[3]});
    return tests.Run();
}
