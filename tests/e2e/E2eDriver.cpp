// End-to-end tests of dravlek-update.exe under Wine: starts the program in a
// prepared folder, drives it like a user through its windows, and checks the
// rows it lists, every status line it shows (recorded by the hook DLL) and
// the files it leaves in the install root. GoogleTest, one test per case;
// ProgramResourcesTest.cpp checks the compiled resources of the .exe.
//
// Usage: e2e_driver [GoogleTest flags] <dravlek-update.exe> <status_hook.dll> <work folder>
// The run script registers <work>\root under HKLM\Software\DravlekE2E\Product.
#include "tests/e2e/E2eDriver.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "engine/MessageStrings.h"
#include "package/PackageWriter.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UpdaterRun.h"
#include "win32/Handles.h"

namespace {

DriverPaths thePaths;

using Tree = std::map<std::string, std::string>;

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
    Tree rootBefore;
    std::vector<Entry> entries;
    Outcome outcome;
    std::string failingTarget;  // kRequiredMissing, kWriteFailed
    std::string heldOpen;       // a root file held open without write or delete sharing
};

// Once for the whole run: the folders, and the registry as run-e2e.sh left it.
class E2eEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
};

class UpdaterE2eTest : public ::testing::Test {
protected:
    const DriverPaths& paths_ = thePaths;

    static std::string Root() { return thePaths.work + "\\root"; }
    std::string NewCaseFolder(const std::string& name);
    std::string LogPath(const std::string& name) const { return paths_.work + "\\logs\\" + name + ".log"; }
    void ResetRoot(const Tree& files);
    void WritePackage(const std::string& path, const std::string& title, const std::string& key,
                      const std::vector<Entry>& entries);

    // Update, Yes, wait for Close; returns the progress dialog (null on failure).
    HWND ConfirmAndWaitForClose(UpdaterRun& run, DWORD timeoutMs = 30000);
    void CheckProgressTexts(HWND progress);
    void CheckSelectionTexts(UpdaterRun& run);
    void RunApplyCase(const ApplyCase& apply);
    // Starts the program in folder, selects the first row, Update, Yes, waits
    // for Close and presses it; every status line shown.
    std::vector<std::string> UpdateAndClose(const std::string& folder);
};

void E2eEnvironment::SetUp() {
    const DriverPaths& paths_ = thePaths;
    const std::string root = thePaths.work + "\\root";
    EXPECT_TRUE(GetACP() == 1252) << "the ANSI code page is 1252, not " + std::to_string(GetACP());
    RemoveTree(paths_.work + "\\cases");
    RemoveTree(paths_.work + "\\logs");
    CreateDirectoryA(paths_.work.c_str(), nullptr);
    CreateDirectoryA((paths_.work + "\\cases").c_str(), nullptr);
    CreateDirectoryA((paths_.work + "\\logs").c_str(), nullptr);
    CreateDirectoryA(root.c_str(), nullptr);

    UniqueRegistryKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstalledKey, 0, KEY_READ, key.Put()), ERROR_SUCCESS)
        << "the test product is registered";
    char path[MAX_PATH] = {};
    DWORD size = sizeof path - 1;
    RegQueryValueExA(key.Get(), "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    ASSERT_EQ(lstrcmpiA(path, root.c_str()), 0) << "its Path is the work root: " << path << " vs " << root;
    UniqueRegistryKey missing;
    ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMissingKey, 0, KEY_READ, missing.Put()), ERROR_SUCCESS)
        << "the missing product's key does not exist";
}

std::string UpdaterE2eTest::NewCaseFolder(const std::string& name) {
    std::string folder = paths_.work + "\\cases\\" + name;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

void UpdaterE2eTest::ResetRoot(const Tree& files) {
    bool ok = RemoveTree(Root()) && CreateDirectoryA(Root().c_str(), nullptr);
    for (const auto& file : files) {
        std::string path = Root() + "\\" + file.first;
        if (file.second == "<dir>") {
            ok = CreateDirectoryA(path.substr(0, path.size() - 1).c_str(), nullptr) && ok;
        } else {
            ok = WriteFileBytes(path, file.second) && ok;
        }
    }
    ASSERT_TRUE(ok) << "install root prepared";
}

void UpdaterE2eTest::WritePackage(const std::string& path, const std::string& title, const std::string& key,
                            const std::vector<Entry>& entries) {
    std::vector<PackageContent> contents;
    for (const Entry& entry : entries) contents.push_back({entry.flags, entry.target, entry.target, entry.data});
    ASSERT_TRUE(WriteFileBytes(path, BuildPackageBytes(title, key, contents))) << "package written: " << path;
}

void UpdaterE2eTest::CheckSelectionTexts(UpdaterRun& run) {
    EXPECT_TRUE(WindowText(run.Selection()) == "Dravlek") << "selection caption";
    EXPECT_TRUE(WindowText(run.Item(1002)) == Text(IDS_SELECT_PROMPT)) << "prompt text";
    EXPECT_TRUE(WindowText(run.Item(1003)) == Text(IDS_UPDATE_BUTTON)) << "Update button text";
    EXPECT_TRUE(WindowText(run.Item(IDCANCEL)) == Text(IDS_CANCEL_BUTTON)) << "Cancel button text";
    EXPECT_TRUE(!IsWindowEnabled(run.Item(1003))) << "Update is disabled before a selection";
    LONG style = GetWindowLongA(run.Selection(), GWL_STYLE);
    EXPECT_TRUE((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0 && (style & WS_SYSMENU))
        << "fixed size, close box only";
}

void UpdaterE2eTest::CheckProgressTexts(HWND progress) {
    EXPECT_TRUE(WindowText(progress) == Text(IDS_PROGRESS_CAPTION))
        << "progress caption: " + Printable(WindowText(progress));
    EXPECT_TRUE(WindowText(GetDlgItem(progress, 1004)) == Text(IDS_STATUS_LABEL)) << "status label text";
    EXPECT_TRUE(WindowText(GetDlgItem(progress, 1006)) == Text(IDS_CLOSE_BUTTON)) << "Close button text";
    EXPECT_TRUE((GetWindowLongA(progress, GWL_STYLE) & WS_SYSMENU) == 0) << "no system menu or close box";
}

HWND UpdaterE2eTest::ConfirmAndWaitForClose(UpdaterRun& run, DWORD timeoutMs) {
    run.Click(run.Item(1003));
    HWND box = run.WaitForConfirmation();
    if (!(box != nullptr)) {
        ADD_FAILURE() << "the confirmation box appears";
        return nullptr;
    }
    run.Click(GetDlgItem(box, IDYES));
    HWND progress = run.WaitForProgress();
    if (!(progress != nullptr)) {
        ADD_FAILURE() << "the progress dialog appears";
        return nullptr;
    }
    EXPECT_TRUE(!IsWindowEnabled(run.Selection())) << "the selection dialog is disabled meanwhile";
    HWND close = GetDlgItem(progress, 1006);
    if (!(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, timeoutMs))) {
        ADD_FAILURE() << "Close becomes enabled";
        return nullptr;
    }
    CheckProgressTexts(progress);
    return progress;
}

// --- listing ---------------------------------------------------------------

TEST_F(UpdaterE2eTest, EmptyFolder) {
    // empty folder: no rows, Update disabled, Cancel ends
    ResetRoot({{"keep.txt", "old"}});
    std::string folder = NewCaseFolder("empty");
    UpdaterRun run(paths_, folder, LogPath("empty"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    CheckSelectionTexts(run);
    EXPECT_TRUE(run.Rows().empty()) << "no rows";
    run.Click(run.Item(IDCANCEL));
    EXPECT_TRUE(run.WaitForExit()) << "Cancel ends the program";
    EXPECT_EQ(ListTree(Root()), (Tree{{"keep.txt", "old"}})) << "root unchanged";
}

TEST_F(UpdaterE2eTest, RowsSortedAndTiedToTheirFiles) {
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

    // Rows sorted by title, each tied to its own file; damaged files not listed.
    std::string folder = NewCaseFolder("rows");
    for (const Listed& package : listed) {
        WritePackage(folder + "\\" + package.file, package.title, kInstalledKey,
                     {{0, "which.txt", package.file, {100}}});
    }
    // Not packages: cut short, an unsafe target, a folder named like one.
    std::string good = BuildPackageBytes("Damaged", kInstalledKey, {{0, "x.txt", "x.txt", "0123456789"}});
    WriteFileBytes(folder + "\\damaged.dvk", good.substr(0, good.size() - 4));
    WriteFileBytes(folder + "\\unsafe.dvk",
               BuildPackageBytes("Unsafe", kInstalledKey, {{0, "..\\outside.txt", "..\\outside.txt", "x"}}));
    CreateDirectoryA((folder + "\\folder.dvk").c_str(), nullptr);
    WriteFileBytes(folder + "\\not-a-package.txt", good);

    std::vector<std::string> appliedFiles;
    for (std::size_t row = 0; row < sortedTitles.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        ResetRoot({});
        std::string log = LogPath("rows-" + std::to_string(row));
        UpdaterRun run(paths_, folder, log);
        ASSERT_TRUE(run.Ready()) << run.Problem();
        std::vector<std::string> rows = run.Rows();
        ASSERT_TRUE(rows == sortedTitles) << "rows are the sorted titles:" + Join(rows);
        EXPECT_TRUE(run.ClickRow(static_cast<int>(row))) << "row " + std::to_string(row) + " selected";
        HWND progress = ConfirmAndWaitForClose(run);
        if (!progress) return;
        run.Click(GetDlgItem(progress, 1006));
        EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
        std::string applied = ReadFileBytes(Root() + "\\which.txt");
        appliedFiles.push_back(applied);
        std::string expected;
        for (const Listed& package : listed) {
            if (sortedTitles[row] == package.title)
                expected += std::string(expected.empty() ? "" : " or ") + package.file;
        }
        EXPECT_TRUE(expected.find(applied) != std::string::npos && !applied.empty())
            << "row " + std::to_string(row) + " (" + Printable(sortedTitles[row]) + ") applied " + applied +
                   ", expected " + expected;
        EXPECT_TRUE(ListTree(Root()).size() == 1) << "only which.txt written";
    }
    EXPECT_TRUE(appliedFiles.size() == 6 && appliedFiles[3] != appliedFiles[4])
        << "the two rows titled Twin apply different files";
}

// --- selection and confirmation -------------------------------------------------

TEST_F(UpdaterE2eTest, UpdateNeedsSelectionAndConfirmation) {
    // Update disabled until a selection; No keeps the dialog and asks again; Esc ends
    ResetRoot({{"keep.txt", "old"}});
    std::string folder = NewCaseFolder("confirm");
    WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "new.txt", "new", {100}}});
    UpdaterRun run(paths_, folder, LogPath("confirm"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(!IsWindowEnabled(run.Item(1003))) << "Update disabled";

    // Enter, and the Update command itself, do nothing while nothing is selected.
    run.PressKey(VK_RETURN);
    SendMessageA(run.Selection(), WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED), reinterpret_cast<LPARAM>(run.Item(1003)));
    EXPECT_TRUE(run.WaitForConfirmation(700) == nullptr) << "no confirmation without a selection";
    EXPECT_TRUE(!run.Exited()) << "still running";

    EXPECT_TRUE(run.ClickRow(0)) << "row selected";
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(run.Item(1003)) != FALSE; }, 5000))
        << "Update enabled by the selection";
    // A double click only selects.
    PostMessageA(run.Item(1001), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, 4));
    PostMessageA(run.Item(1001), WM_LBUTTONUP, 0, MAKELPARAM(8, 4));
    EXPECT_TRUE(run.WaitForConfirmation(700) == nullptr && !run.Exited()) << "a double click starts nothing";

    for (int round = 1; round <= 2; ++round) {
        run.Click(run.Item(1003));
        HWND box = run.WaitForConfirmation();
        ASSERT_TRUE(box != nullptr) << "confirmation shown, round " + std::to_string(round);
        EXPECT_TRUE(WindowText(GetDlgItem(box, 0xFFFF)) == Text(IDS_CONFIRM)) << "the question";
        EXPECT_TRUE(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDCANCEL)) << "Yes and No only";
        LRESULT defaultId = SendMessageA(box, DM_GETDEFID, 0, 0);
        LONG yesStyle = GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE);
        EXPECT_TRUE((HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == IDYES) ||
                    (yesStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            << "Yes is the default answer (" + std::to_string(defaultId) + ", style " + std::to_string(yesStyle) + ")";
        bool icon = false;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[16];
            GetClassNameA(child, className, sizeof className);
            if (lstrcmpiA(className, "Static") == 0 && IsWindowVisible(child) &&
                (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageA(child, STM_GETICON, 0, 0))
                icon = true;
        }
        EXPECT_TRUE(!icon) << "no icon in the confirmation box";
        run.Click(GetDlgItem(box, IDNO));
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000)) << "No closes the box";
        EXPECT_TRUE(!run.Exited() && IsWindowEnabled(run.Selection())) << "the selection dialog stays";
        EXPECT_TRUE(SendMessageA(run.Item(1001), LB_GETCURSEL, 0, 0) == 0) << "the selection stays";
        EXPECT_TRUE(IsWindowEnabled(run.Item(1003)) != FALSE) << "Update stays enabled";
    }
    run.PressKey(VK_ESCAPE);
    EXPECT_TRUE(run.WaitForExit()) << "Esc ends the program";
    EXPECT_EQ(ListTree(Root()), (Tree{{"keep.txt", "old"}})) << "nothing written";
    EXPECT_TRUE(ReadStatusLog(LogPath("confirm")).empty()) << "no status line";
}

// Selected, then ended some way: ends without writing.
TEST_F(UpdaterE2eTest, EndingWithoutUpdate) {
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
        SCOPED_TRACE(ending.name);
        ResetRoot({{"keep.txt", "old"}});
        std::string folder = NewCaseFolder("ending");
        WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "keep.txt", "new", {100}}});
        UpdaterRun run(paths_, folder, LogPath("ending"));
        if (!(run.Ready())) {
        ADD_FAILURE() << run.Problem();
        continue;
    }
        EXPECT_TRUE(run.ClickRow(0)) << "row selected";
        ending.end(run);
        EXPECT_TRUE(run.WaitForExit()) << "the program ends";
        EXPECT_EQ(ListTree(Root()), (Tree{{"keep.txt", "old"}})) << "nothing written";
    }
}

// --- applying --------------------------------------------------------------

TEST_F(UpdaterE2eTest, ApplyOutcomes) {
    const std::string name = "r\xE9sum\xE9 \xE0 lire.txt";  // cp1252 bytes in a target name
    const ApplyCase cases[] = {
        {"successful apply: every line and every file",
         kInstalledKey,
         {{"app.dll", "old app"}, {"data\\", "<dir>"}, {"data\\big.bin", "old big"}, {"empty.dat", "not empty"}},
         {{2, "app.dll", PatternData(10000, 1), {41, 82, 100}},
          {0, name, PatternData(3, 2), {100}},
          {0, "empty.dat", "", {}},
          {2, "data\\big.bin", PatternData(32768, 3), {13, 25, 38, 50, 63, 75, 88, 100}},
          {0, "edge.bin", PatternData(4097, 4), {100, 100}},
          {0, "block.bin", PatternData(4096, 5), {100}}},
         Outcome::kComplete, "", ""},
        {"product not installed: one line, nothing written",
         kMissingKey,
         {{"app.dll", "old app"}},
         {{0, "app.dll", PatternData(100, 1), {100}}},
         Outcome::kNotInstalled, "", ""},
        {"required file missing: Test lines up to it, nothing written",
         kInstalledKey,
         {{"a.txt", "old a"}},
         {{2, "a.txt", PatternData(10, 1), {100}}, {0, "b.txt", PatternData(10, 2), {100}},
          {2, "lib\\missing.dll", PatternData(10, 3), {100}}, {2, "a.txt", PatternData(10, 4), {100}}},
         Outcome::kRequiredMissing, "lib\\missing.dll", ""},
        {"write failure: the install root stays as it was",
         kInstalledKey,
         {{"a.txt", "old a"}, {"b.txt", "old b"}},
         {{0, "a.txt", PatternData(5000, 1), {82, 100}}, {0, "b.txt", PatternData(10, 2), {100}},
          {0, "c.txt", PatternData(10, 3), {100}}},
         Outcome::kWriteFailed, "b.txt", "b.txt"},
    };
    for (const ApplyCase& apply : cases) RunApplyCase(apply);
}

std::vector<std::string> UpdaterE2eTest::UpdateAndClose(const std::string& folder) {
    std::string log = LogPath("apply");
    {
        UpdaterRun run(paths_, folder, log);
        EXPECT_TRUE(run.Ready()) << run.Problem();
        bool selected = run.Ready() && run.ClickRow(0);
        EXPECT_TRUE(selected) << "row selected";
        if (selected) {
            HWND progress = ConfirmAndWaitForClose(run);
            if (progress) {
                std::vector<std::string> lines = ReadStatusLog(log);
                EXPECT_TRUE(!lines.empty() && WindowText(GetDlgItem(progress, 1005)) == lines.back())
                    << "the status box shows the last line";
                run.Click(GetDlgItem(progress, 1006));
                EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
            }
        }
    }
    return ReadStatusLog(log);
}

void UpdaterE2eTest::RunApplyCase(const ApplyCase& apply) {
    SCOPED_TRACE(apply.name);
    ResetRoot(apply.rootBefore);
    std::string folder = NewCaseFolder("apply");
    WritePackage(folder + "\\p.dvk", "Package", apply.registryKey, apply.entries);

    std::vector<std::string> expected;
    Tree rootAfter = apply.rootBefore;
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
                    expected.push_back(Text(IDS_EXTRACTING) + ": " + entry.target + " (" + std::to_string(percent) +
                                       " %)");
                rootAfter[entry.target] = entry.data;
            }
            expected.push_back(Text(IDS_UPDATE_COMPLETE));
            break;
    }

    UniqueFileHandle held;
    if (!apply.heldOpen.empty()) {
        held.Reset(CreateFileA((Root() + "\\" + apply.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(held) << "target held open";
    }
    std::vector<std::string> lines = UpdateAndClose(folder);
    held.Reset();

    if (apply.outcome == Outcome::kWriteFailed) {
        // Where the write fails depends on how targets are replaced; what the
        // user must see is the Test lines, then the failing file at the end.
        std::vector<std::string> tests(expected.begin(), expected.begin() + apply.entries.size());
        EXPECT_TRUE(lines.size() > tests.size() &&
                    std::vector<std::string>(lines.begin(), lines.begin() + tests.size()) == tests)
            << "the Test lines come first:" + Join(lines);
        EXPECT_TRUE(!lines.empty() && lines.back() == Text(IDS_WRITE_FAILED) + " " + apply.failingTarget)
            << "the last line names the file that could not be written:" + Join(lines);
        rootAfter = apply.rootBefore;
    } else {
        EXPECT_TRUE(lines == expected) << "status lines, byte for byte:" + Join(lines) +
                                              "\n    expected:" + Join(expected);
    }
    Tree actual = ListTree(Root());
    EXPECT_TRUE(actual == rootAfter) << "install root afterwards";
    if (actual != rootAfter) {
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

// Signed packages against a product's PublicKey in the real registry. The
// signed examples name HKLM\Software\Example, registered here for the test.
TEST_F(UpdaterE2eTest, SignedPackagesAndTheProductsKeys) {
    UniqueRegistryKey product;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Example", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              product.Put(), nullptr),
              ERROR_SUCCESS);
    const std::string rootValue = Root() + std::string(1, '\0');
    RegSetValueExA(product.Get(), "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(rootValue.data()),
                   static_cast<DWORD>(rootValue.size()));
    const std::vector<std::string> today = {
        Text(IDS_TESTING) + " a.dll", Text(IDS_TESTING) + " readme.txt", Text(IDS_EXTRACTING) + " a.dll",
        Text(IDS_EXTRACTING) + ": a.dll (100 %)", Text(IDS_EXTRACTING) + " readme.txt",
        Text(IDS_EXTRACTING) + ": readme.txt (100 %)", Text(IDS_UPDATE_COMPLETE)};
    std::vector<std::string> checked = today;
    checked.insert(checked.begin(), Text(IDS_CHECKING_SIGNATURE));
    std::string damaged = SignedExampleBytes('A');
    damaged[3] ^= 1;  // in the title
    const std::string keyA = std::string(kKeyA) + '\0';
    const std::string keysBA = std::string(kKeyB) + '\0' + kKeyA + '\0' + '\0';
    struct Case {
        const char* name;
        std::string package;
        DWORD type;  // of PublicKey; REG_NONE: no such value
        std::string value;
        std::vector<std::string> lines;
        bool installed = true;  // false: the key has no Path
    };
    const Case cases[] = {
        {"unsigned, no PublicKey: as before", ExamplePackageBytes(), REG_NONE, "", today},
        {"signed, no PublicKey", SignedExampleBytes('A'), REG_NONE, "", checked},
        {"signed by the REG_SZ key", SignedExampleBytes('A'), REG_SZ, keyA, checked},
        {"signed by the second REG_MULTI_SZ key", SignedExampleBytes('A'), REG_MULTI_SZ, keysBA, checked},
        {"signed by another key", SignedExampleBytes('B'), REG_SZ, keyA,
         {Text(IDS_CHECKING_SIGNATURE), Text(IDS_NOT_SIGNED)}},
        {"unsigned, REG_MULTI_SZ keys", ExamplePackageBytes(), REG_MULTI_SZ, keysBA, {Text(IDS_NOT_SIGNED)}},
        {"signature does not verify", damaged, REG_NONE, "", {Text(IDS_CHECKING_SIGNATURE), Text(IDS_PACKAGE_DAMAGED)}},
        {"signed, product not installed: 112 alone, before any signature line", SignedExampleBytes('A'), REG_SZ, keyA,
         {Text(IDS_NOT_INSTALLED)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetRoot({{"a.dll", "old a"}});
        if (c.installed) {
            RegSetValueExA(product.Get(), "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(rootValue.data()),
                           static_cast<DWORD>(rootValue.size()));
        } else {
            RegDeleteValueA(product.Get(), "Path");
        }
        if (c.type == REG_NONE) {
            RegDeleteValueA(product.Get(), "PublicKey");
        } else {
            ASSERT_EQ(RegSetValueExA(product.Get(), "PublicKey", 0, c.type, reinterpret_cast<const BYTE*>(c.value.data()),
                                     static_cast<DWORD>(c.value.size())),
                      ERROR_SUCCESS);
        }
        const std::string folder = NewCaseFolder("signed");
        ASSERT_TRUE(WriteFileBytes(folder + "\\p.dvk", c.package));
        EXPECT_EQ(UpdateAndClose(folder), c.lines);
        const Tree applied = {{"a.dll", "0123456789"}, {"readme.txt", "abc"}};
        const Tree unchanged = {{"a.dll", "old a"}};
        EXPECT_EQ(ListTree(Root()), c.lines.back() == Text(IDS_UPDATE_COMPLETE) ? applied : unchanged);
    }
    product.Reset();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Example");
}

// A folder bound to its publisher's key, and the machine's policy, in the
// real registry. Software\DravlekE2E\Protected, listed under SignedProducts,
// has a PublicKey and reaches work\trust\app through the link work\app-link
// (run-e2e.sh makes it); the example packages name Software\Example, whose
// Path each row sets.
TEST_F(UpdaterE2eTest, ProtectedFoldersAndThePolicyRefuseUnsignedPackages) {
    const std::string trust = paths_.work + "\\trust";
    struct Keys {  // removed however the test ends
        ~Keys() {
            for (const char* key : {"Software\\Example", "Software\\DravlekE2E\\Protected",
                                    "Software\\Dravlek\\SignedProducts", "Software\\Policies\\Dravlek"}) {
                RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
            }
        }
        bool Set(const char* key, const char* name, DWORD type, const std::string& value) {
            UniqueRegistryKey open;
            return RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, open.Put(),
                                   nullptr) == ERROR_SUCCESS &&
                   RegSetValueExA(open.Get(), name, 0, type, reinterpret_cast<const BYTE*>(value.data()),
                                  static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
        }
    } keys;
    const std::string protectedKey = "Software\\DravlekE2E\\Protected";
    ASSERT_TRUE(keys.Set(protectedKey.c_str(), "Path", REG_SZ, paths_.work + "\\app-link") &&
                keys.Set(protectedKey.c_str(), "PublicKey", REG_SZ, kKeyB) &&
                keys.Set("Software\\Dravlek\\SignedProducts", "Maker", REG_SZ, protectedKey));
    const Tree before = {{"app\\", "<dir>"}, {"app\\a.dll", "old a"}, {"other\\", "<dir>"}, {"other\\a.dll", "old a"}};
    const std::string one("\x01\0\0\0", 4);
    const struct {
        const char* name;
        std::string package;
        std::string path;  // Software\Example's, below work\trust
        bool policy;
        std::string publicKey;  // Software\Example's, "" for none
        Tree after;             // "" for unchanged
    } cases[] = {
        {"unsigned, another key with the same folder", ExamplePackageBytes(), "\\app", false, "", {}},
        {"unsigned, another key with the parent folder", ExamplePackageBytes(), "", false, "", {}},
        {"unsigned, an unrelated folder", ExamplePackageBytes(), "\\other", false, "",
         {{"app\\", "<dir>"}, {"app\\a.dll", "old a"}, {"other\\", "<dir>"}, {"other\\a.dll", "0123456789"},
          {"other\\readme.txt", "abc"}}},
        {"policy: unsigned, an unrelated folder", ExamplePackageBytes(), "\\other", true, "", {}},
        {"policy: signed by the product's own key, the protected folder", SignedExampleBytes('A'), "\\app", true,
         kKeyA,
         {{"app\\", "<dir>"}, {"app\\a.dll", "0123456789"}, {"app\\readme.txt", "abc"}, {"other\\", "<dir>"},
          {"other\\a.dll", "old a"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(RemoveTree(trust) && CreateDirectoryA(trust.c_str(), nullptr));
        for (const auto& [name, bytes] : before) {
            const std::string path = trust + "\\" + name;
            ASSERT_TRUE(bytes == "<dir>" ? CreateDirectoryA(path.c_str(), nullptr) : WriteFileBytes(path, bytes));
        }
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Example");
        ASSERT_TRUE(keys.Set("Software\\Example", "Path", REG_SZ, trust + c.path));
        ASSERT_TRUE(c.publicKey.empty() || keys.Set("Software\\Example", "PublicKey", REG_SZ, c.publicKey));
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Policies\\Dravlek");
        ASSERT_TRUE(!c.policy || keys.Set("Software\\Policies\\Dravlek", "RequireSignedPackages", REG_DWORD, one));
        const std::string folder = NewCaseFolder("trust");
        ASSERT_TRUE(WriteFileBytes(folder + "\\p.dvk", c.package));
        const std::vector<std::string> lines = UpdateAndClose(folder);
        EXPECT_EQ(lines.empty() ? "" : lines.back(), Text(c.after.empty() ? IDS_NOT_SIGNED : IDS_UPDATE_COMPLETE));
        EXPECT_EQ(ListTree(trust), c.after.empty() ? before : c.after);
    }
}

// The package deleted or cut short after it was listed: told, nothing applied, ends.
TEST_F(UpdaterE2eTest, PackageGoneBeforeUpdate) {
    const char* variants[] = {"deleted", "cut short"};
    for (const char* variant : variants) {
        SCOPED_TRACE(variant);
        ResetRoot({{"a.txt", "old a"}});
        std::string folder = NewCaseFolder("gone");
        WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "a.txt", "new", {100}}});
        std::string log = LogPath("gone");
        UpdaterRun run(paths_, folder, log);
        if (!(run.Ready())) {
        ADD_FAILURE() << run.Problem();
        continue;
    }
        EXPECT_TRUE(run.ClickRow(0)) << "row selected";
        if (std::string(variant) == "deleted") {
            EXPECT_TRUE(DeleteFileA((folder + "\\p.dvk").c_str()) != FALSE) << "package deleted";
        } else {
            EXPECT_TRUE(WriteFileBytes(folder + "\\p.dvk", "Package")) << "package cut short";
        }
        HWND progress = ConfirmAndWaitForClose(run);
        if (!progress) continue;
        EXPECT_TRUE(ReadStatusLog(log) == std::vector<std::string>{Text(IDS_PACKAGE_DAMAGED)})
            << "one line says the package cannot be read:" + Join(ReadStatusLog(log));
        run.Click(GetDlgItem(progress, 1006));
        EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
        EXPECT_EQ(ListTree(Root()), (Tree{{"a.txt", "old a"}})) << "nothing written";
    }
}

TEST_F(UpdaterE2eTest, WorkerCannotStart) {
    // worker thread cannot start: told, Close enabled, nothing written
    ResetRoot({{"a.txt", "old a"}});
    std::string folder = NewCaseFolder("nothread");
    WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "a.txt", "new", {100}}});
    std::string log = LogPath("nothread");
    UpdaterRun run(paths_, folder, log, true);
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0)) << "row selected";
    HWND progress = ConfirmAndWaitForClose(run, 10000);
    if (!progress) return;
    EXPECT_TRUE(ReadStatusLog(log) == std::vector<std::string>{Text(IDS_START_FAILED)})
        << "one line says the update could not start:" + Join(ReadStatusLog(log));
    run.Click(GetDlgItem(progress, 1006));
    EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
    EXPECT_EQ(ListTree(Root()), (Tree{{"a.txt", "old a"}})) << "nothing written";
}

// --- during and after an apply ------------------------------------------------

TEST_F(UpdaterE2eTest, KeysAndCloseIgnoredDuringApply) {
    // Esc, Enter and close requests do nothing during a long apply; Esc ends it afterwards
    ResetRoot({});
    std::string folder = NewCaseFolder("long");
    const std::size_t size = 16u * 1024 * 1024;  // 4096 progress lines
    std::string data = PatternData(size, 9);
    WritePackage(folder + "\\p.dvk", "Long", kInstalledKey, {{0, "long.bin", data, {}}});
    std::string log = LogPath("long");
    UpdaterRun run(paths_, folder, log);
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0)) << "row selected";
    run.Click(run.Item(1003));
    HWND box = run.WaitForConfirmation();
    ASSERT_TRUE(box != nullptr) << "confirmation";
    run.Click(GetDlgItem(box, IDYES));
    HWND progress = run.WaitForProgress();
    ASSERT_TRUE(progress != nullptr) << "progress dialog";
    HWND close = GetDlgItem(progress, 1006);
    HWND statusBox = GetDlgItem(progress, 1005);

    EXPECT_TRUE(WaitFor([&] { return ReadStatusLog(log).size() > 20; }, 10000)) << "the apply is under way";
    EXPECT_TRUE(!IsWindowEnabled(close)) << "Close disabled while applying";
    run.PressKey(VK_ESCAPE);
    run.PressKey(VK_RETURN);
    PostMessageA(progress, WM_COMMAND, IDOK, 0);
    PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(progress, WM_CLOSE, 0, 0);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Several more lines taken means the UI thread has been through its
    // queue, posted messages included.
    std::size_t seen = ReadStatusLog(log).size();
    EXPECT_TRUE(WaitFor([&] { return ReadStatusLog(log).size() > seen + 50; }, 10000)) << "the apply goes on";
    bool stillApplying = !IsWindowEnabled(close);
    EXPECT_TRUE(stillApplying) << "the apply was still running when the keys were handled (make it longer)";
    EXPECT_TRUE(IsWindow(progress) && IsWindowVisible(progress) && !run.Exited()) << "the progress dialog stays";

    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, 60000)) << "Close enabled at the end";
    EXPECT_TRUE(WindowText(statusBox) == Text(IDS_UPDATE_COMPLETE)) << "completion line shown";
    std::vector<std::string> lines = ReadStatusLog(log);
    EXPECT_TRUE(lines.size() == 1 + 1 + size / 4096 + 1) << "every line recorded: " + std::to_string(lines.size());
    run.PressKey(VK_ESCAPE);
    EXPECT_TRUE(run.WaitForExit()) << "Esc ends the finished progress dialog and the program (focus on " +
                                          run.FocusDescription() + ")";
    EXPECT_TRUE(ReadFileBytes(Root() + "\\long.bin") == data) << "the long file is written whole";
}

TEST_F(UpdaterE2eTest, EnterEndsFinishedProgress) {
    // Enter ends the progress dialog once Close is enabled
    ResetRoot({});
    std::string folder = NewCaseFolder("enter");
    WritePackage(folder + "\\p.dvk", "Package", kInstalledKey, {{0, "a.txt", "new", {100}}});
    UpdaterRun run(paths_, folder, LogPath("enter"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0)) << "row selected";
    if (!ConfirmAndWaitForClose(run)) return;
    run.PressKey(VK_RETURN);
    EXPECT_TRUE(run.WaitForExit()) << "Enter ends it and the program";
    EXPECT_EQ(ReadFileBytes(Root() + "\\a.txt"), "new") << "the file is written";
}

}  // namespace

const DriverPaths& E2ePaths() {
    return thePaths;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: e2e_driver [GoogleTest flags] <dravlek-update.exe> <status_hook.dll> <work folder>\n");
        return 2;
    }
    thePaths = {argv[1], argv[2], argv[3]};
    ::testing::AddGlobalTestEnvironment(new E2eEnvironment);  // GoogleTest owns it
    return RUN_ALL_TESTS();
}
