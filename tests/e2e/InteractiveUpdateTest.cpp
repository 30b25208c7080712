// dravlek-update.exe under Wine, started in a prepared folder and driven like
// a user through its windows: the rows it lists, every status line it shows
// (recorded by the hook DLL) and the files it leaves in the install root.
// run-e2e.sh registers <work>\root under HKLM\Software\DravlekE2E\Product.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/MessageStrings.h"
#include "package/PackageWriter.h"
#include "tests/support/RowName.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/UpdaterProcess.h"

namespace {

const char kInstalledKey[] = "Software\\DravlekE2E\\Product";
const char kMissingKey[] = "Software\\DravlekE2E\\Missing";

std::string Text(int id) {
    return BuiltInMessageString(id);
}

struct Entry {
    std::uint8_t flags;
    std::string target;
    std::string data;
    std::vector<int> percents;  // the progress lines' numbers, as the user reads them
};

std::string PackageBytes(const std::string& title, const std::string& key, const std::vector<Entry>& entries) {
    std::vector<PackageContent> contents;
    for (const Entry& entry : entries) contents.push_back({entry.flags, entry.target, entry.target, entry.data});
    return BuildPackageBytes(title, key, contents);
}

class InteractiveUpdateTest : public ::testing::Test {
protected:
    static std::string Root() { return E2ePaths().Root(); }
    static std::string LogPath(const std::string& name) { return E2ePaths().work + "\\logs\\" + name + ".log"; }

    // A fresh folder of cases\, holding package as p.dvk unless it is "".
    static std::string NewCaseFolder(const std::string& name, const std::string& package = "") {
        const std::string folder = E2ePaths().work + "\\cases\\" + name;
        EXPECT_TRUE(ResetTree(folder, {}) && (package.empty() || WriteFileBytes(folder + "\\p.dvk", package)))
            << folder;
        return folder;
    }

    static void CheckSelectionTexts(const UpdaterProcess& run) {
        EXPECT_EQ(WindowText(run.Selection()), "Dravlek");
        EXPECT_EQ(WindowText(run.Item(IDC_PACKAGE_PROMPT)), Text(IDS_SELECT_PROMPT));
        EXPECT_EQ(WindowText(run.Item(IDC_UPDATE)), Text(IDS_UPDATE_BUTTON));
        EXPECT_EQ(WindowText(run.Item(IDCANCEL)), Text(IDS_CANCEL_BUTTON));
        EXPECT_FALSE(IsWindowEnabled(run.Item(IDC_UPDATE))) << "Update is disabled before a selection";
        const LONG style = GetWindowLongA(run.Selection(), GWL_STYLE);
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_SYSMENU), WS_SYSMENU)
            << "fixed size, close box only";
    }

    static void CheckProgressTexts(HWND progress) {
        EXPECT_EQ(WindowText(progress), Text(IDS_PROGRESS_CAPTION));
        EXPECT_EQ(WindowText(GetDlgItem(progress, IDC_STATUS_LABEL)), Text(IDS_STATUS_LABEL));
        EXPECT_EQ(WindowText(GetDlgItem(progress, IDC_CLOSE)), Text(IDS_CLOSE_BUTTON));
        EXPECT_EQ(GetWindowLongA(progress, GWL_STYLE) & WS_SYSMENU, 0) << "no system menu or close box";
    }

    // Update, Yes, and Close enabled at the end: the progress dialog.
    static void ConfirmAndWaitForClose(const UpdaterProcess& run, HWND& progress, DWORD timeoutMs = 30000) {
        run.Click(run.Item(IDC_UPDATE));
        HWND box = run.WaitForConfirmation();
        ASSERT_NE(box, nullptr) << "the confirmation box appears";
        run.Click(GetDlgItem(box, IDYES));
        progress = run.WaitForProgress();
        ASSERT_NE(progress, nullptr) << "the progress dialog appears";
        EXPECT_FALSE(IsWindowEnabled(run.Selection())) << "the selection dialog is disabled meanwhile";
        HWND close = GetDlgItem(progress, IDC_CLOSE);
        ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, timeoutMs)) << "Close becomes enabled";
        CheckProgressTexts(progress);
    }

    // Starts the program in folder, selects the first row, Update, Yes, waits
    // for Close and presses it; every status line shown.
    static void UpdateAndClose(const std::string& folder, std::vector<std::string>& lines) {
        const std::string log = LogPath("apply");
        UpdaterProcess run(E2ePaths(), folder, log);
        ASSERT_TRUE(run.Ready()) << run.Problem();
        ASSERT_TRUE(run.ClickRow(0)) << "row selected";
        HWND progress = nullptr;
        ASSERT_NO_FATAL_FAILURE(ConfirmAndWaitForClose(run, progress));
        lines = ReadStatusLog(log);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(WindowText(GetDlgItem(progress, IDC_STATUS_BOX)), lines.back()) << "the status box shows the last line";
        run.Click(GetDlgItem(progress, IDC_CLOSE));
        EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
    }
};

// --- listing ---------------------------------------------------------------

TEST_F(InteractiveUpdateTest, EmptyFolderListsNothingAndCancelEnds) {
    ASSERT_TRUE(ResetTree(Root(), {{"keep.txt", "old"}}));
    UpdaterProcess run(E2ePaths(), NewCaseFolder("empty"), LogPath("empty"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    CheckSelectionTexts(run);
    EXPECT_EQ(run.Rows(), std::vector<std::string>{});
    run.Click(run.Item(IDCANCEL));
    EXPECT_TRUE(run.WaitForExit()) << "Cancel ends the program";
    EXPECT_EQ(ListTree(Root()), (FolderTree{{"keep.txt", "old"}}));
}

// Names, titles and creation order all disagree, so only the row-to-file tie
// can put the right file behind each row; damaged files are not listed.
TEST_F(InteractiveUpdateTest, RowsSortedAndTiedToTheirFiles) {
    const struct {
        const char* file;
        const char* title;
    } listed[] = {
        {"b-zeta.dvk", "Zeta"}, {"a-mid.dvk", "Mid"}, {"twin-2.dvk", "Twin"}, {"c-alpha.dvk", "Alpha"},
        {"d-empty.dvk", ""},    {"twin-1.dvk", "Twin"},
    };
    const std::vector<std::string> sortedTitles = {"", "Alpha", "Mid", "Twin", "Twin", "Zeta"};
    const std::string folder = NewCaseFolder("rows");
    for (const auto& package : listed) {
        ASSERT_TRUE(WriteFileBytes(folder + "\\" + package.file,
                                   PackageBytes(package.title, kInstalledKey, {{0, "which.txt", package.file, {}}})));
    }
    // Not packages: cut short, an unsafe target, a folder named like one.
    const std::string good = PackageBytes("Damaged", kInstalledKey, {{0, "x.txt", "0123456789", {}}});
    const std::string unsafe = PackageBytes("Unsafe", kInstalledKey, {{0, "..\\outside.txt", "x", {}}});
    ASSERT_TRUE(WriteFileBytes(folder + "\\damaged.dvk", good.substr(0, good.size() - 4)));
    ASSERT_TRUE(WriteFileBytes(folder + "\\unsafe.dvk", unsafe));
    ASSERT_TRUE(CreateDirectoryA((folder + "\\folder.dvk").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder + "\\not-a-package.txt", good));

    std::vector<std::string> appliedFiles;
    for (std::size_t row = 0; row < sortedTitles.size(); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        ASSERT_TRUE(ResetTree(Root(), {}));
        UpdaterProcess run(E2ePaths(), folder, LogPath("rows"));
        ASSERT_TRUE(run.Ready()) << run.Problem();
        ASSERT_EQ(run.Rows(), sortedTitles);
        ASSERT_TRUE(run.ClickRow(static_cast<int>(row)));
        HWND progress = nullptr;
        ASSERT_NO_FATAL_FAILURE(ConfirmAndWaitForClose(run, progress));
        run.Click(GetDlgItem(progress, IDC_CLOSE));
        EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
        const FolderTree root = ListTree(Root());
        ASSERT_EQ(root.size(), 1u) << "only which.txt written";
        std::set<std::string> titledSo;
        for (const auto& package : listed) {
            if (sortedTitles[row] == package.title) titledSo.insert(package.file);
        }
        EXPECT_EQ(titledSo.count(root.at("which.txt")), 1u) << root.at("which.txt");
        appliedFiles.push_back(root.at("which.txt"));
    }
    EXPECT_NE(appliedFiles[3], appliedFiles[4]) << "the two rows titled Twin apply different files";
}

// --- selection and confirmation -------------------------------------------------

// Update disabled until a selection; No keeps the dialog and asks again; Esc ends.
TEST_F(InteractiveUpdateTest, UpdateNeedsSelectionAndConfirmation) {
    ASSERT_TRUE(ResetTree(Root(), {{"keep.txt", "old"}}));
    const std::string folder =
        NewCaseFolder("confirm", PackageBytes("Package", kInstalledKey, {{0, "new.txt", "new", {}}}));
    UpdaterProcess run(E2ePaths(), folder, LogPath("confirm"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    HWND update = run.Item(IDC_UPDATE), list = run.Item(IDC_PACKAGE_LIST);
    EXPECT_FALSE(IsWindowEnabled(update));

    // Enter, and the Update command itself, do nothing while nothing is selected.
    run.PressKey(VK_RETURN);
    SendMessageA(run.Selection(), WM_COMMAND, MAKEWPARAM(IDC_UPDATE, BN_CLICKED), reinterpret_cast<LPARAM>(update));
    EXPECT_EQ(run.WaitForConfirmation(700), nullptr) << "no confirmation without a selection";
    EXPECT_FALSE(run.Exited());

    EXPECT_TRUE(run.ClickRow(0));
    EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(update) != FALSE; }, 5000)) << "Update enabled by the selection";
    // A double click only selects.
    PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(8, 4));
    PostMessageA(list, WM_LBUTTONUP, 0, MAKELPARAM(8, 4));
    EXPECT_EQ(run.WaitForConfirmation(700), nullptr) << "a double click starts nothing";
    EXPECT_FALSE(run.Exited());

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        run.Click(update);
        HWND box = run.WaitForConfirmation();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(WindowText(GetDlgItem(box, kMessageBoxText)), Text(IDS_CONFIRM));
        EXPECT_TRUE(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO) && !GetDlgItem(box, IDCANCEL)) << "Yes and No only";
        const LRESULT defaultId = SendMessageA(box, DM_GETDEFID, 0, 0);
        const LONG yesStyle = GetWindowLongA(GetDlgItem(box, IDYES), GWL_STYLE);
        EXPECT_TRUE((HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == IDYES) ||
                    (yesStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            << "Yes is the default answer (" << defaultId << ", style " << yesStyle << ")";
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[16] = "";
            GetClassNameA(child, className, sizeof className);
            EXPECT_FALSE(lstrcmpiA(className, "Static") == 0 && IsWindowVisible(child) &&
                         (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                         SendMessageA(child, STM_GETICON, 0, 0))
                << "no icon in the confirmation box";
        }
        run.Click(GetDlgItem(box, IDNO));
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }, 5000)) << "No closes the box";
        EXPECT_FALSE(run.Exited());
        EXPECT_TRUE(IsWindowEnabled(run.Selection())) << "the selection dialog stays";
        EXPECT_EQ(SendMessageA(list, LB_GETCURSEL, 0, 0), 0) << "the selection stays";
        EXPECT_TRUE(IsWindowEnabled(update)) << "Update stays enabled";
    }
    run.PressKey(VK_ESCAPE);
    EXPECT_TRUE(run.WaitForExit()) << "Esc ends the program";
    EXPECT_EQ(ListTree(Root()), (FolderTree{{"keep.txt", "old"}}));
    EXPECT_EQ(ReadStatusLog(LogPath("confirm")), std::vector<std::string>{}) << "no status line";
}

// Selected, then ended some way: ends without writing.
struct Ending {
    const char* name;
    void (*end)(const UpdaterProcess&);
};
const Ending kEndings[] = {
    {"Cancel button", [](const UpdaterProcess& run) { run.Click(run.Item(IDCANCEL)); }},
    {"Esc", [](const UpdaterProcess& run) { run.PressKey(VK_ESCAPE); }},
    {"close box", [](const UpdaterProcess& run) { PostMessageA(run.Selection(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {"WM_CLOSE", [](const UpdaterProcess& run) { PostMessageA(run.Selection(), WM_CLOSE, 0, 0); }},
};
void PrintTo(const Ending& ending, std::ostream* out) {
    *out << ending.name;
}

class EndingWithoutUpdateTest : public InteractiveUpdateTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(EndingWithoutUpdateTest, EndsWithoutWriting) {
    ASSERT_TRUE(ResetTree(Root(), {{"keep.txt", "old"}}));
    const std::string folder =
        NewCaseFolder("ending", PackageBytes("Package", kInstalledKey, {{0, "keep.txt", "new", {}}}));
    UpdaterProcess run(E2ePaths(), folder, LogPath("ending"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0));
    GetParam().end(run);
    EXPECT_TRUE(run.WaitForExit()) << "the program ends";
    EXPECT_EQ(ListTree(Root()), (FolderTree{{"keep.txt", "old"}}));
}

INSTANTIATE_TEST_SUITE_P(Endings, EndingWithoutUpdateTest, ::testing::ValuesIn(kEndings),
                         [](const auto& row) { return RowName(row.index, row.param.name); });

// --- applying --------------------------------------------------------------

enum class Outcome { kComplete, kNotInstalled, kRequiredMissing, kWriteFailed };
struct ApplyCase {
    const char* name;
    const char* registryKey;
    FolderTree rootBefore;
    std::vector<Entry> entries;
    Outcome outcome;
    std::string failingTarget;  // kRequiredMissing, kWriteFailed
    std::string heldOpen;       // a root file held open without write or delete sharing
};
void PrintTo(const ApplyCase& apply, std::ostream* out) {
    *out << apply.name;
}

std::vector<ApplyCase> ApplyCases() {
    const std::string name = "r\xE9sum\xE9 \xE0 lire.txt";  // cp1252 bytes in a target name
    return {
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
}

class ApplyOutcomeTest : public InteractiveUpdateTest, public ::testing::WithParamInterface<ApplyCase> {};

TEST_P(ApplyOutcomeTest, StatusLinesAndInstallRoot) {
    const ApplyCase& apply = GetParam();
    ASSERT_TRUE(ResetTree(Root(), apply.rootBefore));
    const std::string folder = NewCaseFolder("apply", PackageBytes("Package", apply.registryKey, apply.entries));

    // Every entry is tested first, then extracted with its progress lines.
    std::vector<std::string> tests, expected;
    FolderTree rootAfter = apply.rootBefore;
    for (const Entry& entry : apply.entries) {
        tests.push_back(Text(IDS_TESTING) + " " + entry.target);
        if (entry.target == apply.failingTarget && apply.outcome == Outcome::kRequiredMissing) break;
    }
    if (apply.outcome == Outcome::kNotInstalled) expected = {Text(IDS_NOT_INSTALLED)};
    if (apply.outcome == Outcome::kRequiredMissing) {
        expected = tests;
        expected.push_back(Text(IDS_REQUIRED_FILE_MISSING) + " " + apply.failingTarget);
    }
    if (apply.outcome == Outcome::kComplete) {
        expected = tests;
        for (const Entry& entry : apply.entries) {
            expected.push_back(Text(IDS_EXTRACTING) + " " + entry.target);
            for (int percent : entry.percents)
                expected.push_back(Text(IDS_EXTRACTING) + ": " + entry.target + " (" + std::to_string(percent) + " %)");
            rootAfter[entry.target] = entry.data;
        }
        expected.push_back(Text(IDS_UPDATE_COMPLETE));
    }

    UniqueFileHandle held;
    if (!apply.heldOpen.empty()) {
        held.Reset(CreateFileA((Root() + "\\" + apply.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held) << "target held open";
    }
    std::vector<std::string> lines;
    ASSERT_NO_FATAL_FAILURE(UpdateAndClose(folder, lines));
    static_cast<void>(held.Reset());  // the root is read below

    if (apply.outcome == Outcome::kWriteFailed) {
        // Where the write fails depends on how targets are replaced; what the
        // user must see is the Test lines, then the failing file at the end.
        ASSERT_GT(lines.size(), tests.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + tests.size()), tests);
        EXPECT_EQ(lines.back(), Text(IDS_WRITE_FAILED) + " " + apply.failingTarget);
    } else {
        EXPECT_EQ(lines, expected);
    }
    EXPECT_EQ(ListTree(Root()), rootAfter);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ApplyOutcomeTest, ::testing::ValuesIn(ApplyCases()),
                         [](const auto& row) { return RowName(row.index, row.param.name); });

// Sets a value of a key below HKLM, making the key.
[[nodiscard]] bool SetMachineValue(const std::string& key, const char* name, DWORD type, const std::string& value) {
    UniqueRegistryKey open;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, open.Put(),
                           nullptr) == ERROR_SUCCESS &&
           RegSetValueExA(open.Get(), name, 0, type, reinterpret_cast<const BYTE*>(value.data()),
                          static_cast<DWORD>(value.size())) == ERROR_SUCCESS;
}

// The keys a case sets: none when it starts, removed however it ends.
struct MachineKeys {
    MachineKeys() { Remove(); }
    ~MachineKeys() { Remove(); }
    static void Remove() {
        for (const char* key : {"Software\\Example", "Software\\DravlekE2E\\Protected",
                                "Software\\Dravlek\\SignedProducts", "Software\\Policies\\Dravlek"}) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
        }
    }
};

// Signed packages against a product's PublicKey in the real registry. The
// signed examples name HKLM\Software\Example, registered here for the test.
struct SignedCase {
    const char* name;
    std::string package;
    DWORD type;  // of PublicKey; REG_NONE: no such value
    std::string value;
    std::vector<std::string> lines;
    bool installed = true;  // false: the key has no Path
};
void PrintTo(const SignedCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<SignedCase> SignedCases() {
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
    return {
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
}

class SignedPackageTest : public InteractiveUpdateTest, public ::testing::WithParamInterface<SignedCase> {};

TEST_P(SignedPackageTest, AgainstTheProductsKeys) {
    const SignedCase& c = GetParam();
    MachineKeys keys;
    ASSERT_TRUE(ResetTree(Root(), {{"a.dll", "old a"}}));
    ASSERT_TRUE(!c.installed || SetMachineValue("Software\\Example", "Path", REG_SZ, Root() + '\0'));
    ASSERT_TRUE(c.type == REG_NONE || SetMachineValue("Software\\Example", "PublicKey", c.type, c.value));
    std::vector<std::string> lines;
    ASSERT_NO_FATAL_FAILURE(UpdateAndClose(NewCaseFolder("signed", c.package), lines));
    EXPECT_EQ(lines, c.lines);
    const FolderTree applied = {{"a.dll", "0123456789"}, {"readme.txt", "abc"}};
    const FolderTree unchanged = {{"a.dll", "old a"}};
    EXPECT_EQ(ListTree(Root()), c.lines.back() == Text(IDS_UPDATE_COMPLETE) ? applied : unchanged);
}

INSTANTIATE_TEST_SUITE_P(Keys, SignedPackageTest, ::testing::ValuesIn(SignedCases()),
                         [](const auto& row) { return RowName(row.index, row.param.name); });

// A folder bound to its publisher's key, and the machine's policy, in the
// real registry. Software\DravlekE2E\Protected, listed under SignedProducts,
// has a PublicKey and reaches work\trust\app through the link work\app-link
// (run-e2e.sh makes it); the example packages name Software\Example, whose
// Path each row sets.
struct ProtectedCase {
    const char* name;
    std::string package;
    std::string path;  // Software\Example's, below work\trust
    bool policy;
    std::string publicKey;  // Software\Example's, "" for none
    FolderTree after;       // empty: unchanged, refused with 122
};
void PrintTo(const ProtectedCase& c, std::ostream* out) {
    *out << c.name;
}

const FolderTree kTrustBefore = {
    {"app\\", "<dir>"}, {"app\\a.dll", "old a"}, {"other\\", "<dir>"}, {"other\\a.dll", "old a"}};

std::vector<ProtectedCase> ProtectedCases() {
    return {
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
}

class ProtectedFolderTest : public InteractiveUpdateTest, public ::testing::WithParamInterface<ProtectedCase> {};

TEST_P(ProtectedFolderTest, RefusesUnsignedPackages) {
    const ProtectedCase& c = GetParam();
    const std::string trust = E2ePaths().work + "\\trust", protectedKey = "Software\\DravlekE2E\\Protected";
    MachineKeys keys;
    ASSERT_TRUE(SetMachineValue(protectedKey, "Path", REG_SZ, E2ePaths().work + "\\app-link") &&
                SetMachineValue(protectedKey, "PublicKey", REG_SZ, kKeyB) &&
                SetMachineValue("Software\\Dravlek\\SignedProducts", "Maker", REG_SZ, protectedKey));
    ASSERT_TRUE(ResetTree(trust, kTrustBefore));
    ASSERT_TRUE(SetMachineValue("Software\\Example", "Path", REG_SZ, trust + c.path));
    ASSERT_TRUE(c.publicKey.empty() || SetMachineValue("Software\\Example", "PublicKey", REG_SZ, c.publicKey));
    ASSERT_TRUE(!c.policy || SetMachineValue("Software\\Policies\\Dravlek", "RequireSignedPackages", REG_DWORD,
                                             std::string("\x01\0\0\0", 4)));
    std::vector<std::string> lines;
    ASSERT_NO_FATAL_FAILURE(UpdateAndClose(NewCaseFolder("trust", c.package), lines));
    EXPECT_EQ(lines.back(), Text(c.after.empty() ? IDS_NOT_SIGNED : IDS_UPDATE_COMPLETE));
    EXPECT_EQ(ListTree(trust), c.after.empty() ? kTrustBefore : c.after);
}

INSTANTIATE_TEST_SUITE_P(Folders, ProtectedFolderTest, ::testing::ValuesIn(ProtectedCases()),
                         [](const auto& row) { return RowName(row.index, row.param.name); });

// The package deleted or cut short after it was listed: told, nothing applied, ends.
class PackageGoneTest : public InteractiveUpdateTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PackageGoneTest, BeforeUpdate) {
    const bool deleted = GetParam();
    ASSERT_TRUE(ResetTree(Root(), {{"a.txt", "old a"}}));
    const std::string folder = NewCaseFolder("gone", PackageBytes("Package", kInstalledKey, {{0, "a.txt", "new", {}}}));
    const std::string log = LogPath("gone");
    UpdaterProcess run(E2ePaths(), folder, log);
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0));
    ASSERT_TRUE(deleted ? DeleteFileA((folder + "\\p.dvk").c_str()) != FALSE
                        : WriteFileBytes(folder + "\\p.dvk", "Package"));
    HWND progress = nullptr;
    ASSERT_NO_FATAL_FAILURE(ConfirmAndWaitForClose(run, progress));
    EXPECT_EQ(ReadStatusLog(log), std::vector<std::string>{Text(IDS_PACKAGE_DAMAGED)});
    run.Click(GetDlgItem(progress, IDC_CLOSE));
    EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
    EXPECT_EQ(ListTree(Root()), (FolderTree{{"a.txt", "old a"}}));
}

INSTANTIATE_TEST_SUITE_P(DeletedOrCutShort, PackageGoneTest, ::testing::Bool(),
                         [](const auto& row) { return std::string(row.param ? "Deleted" : "CutShort"); });

// The worker thread cannot start: told, Close enabled, nothing written.
TEST_F(InteractiveUpdateTest, WorkerCannotStart) {
    ASSERT_TRUE(ResetTree(Root(), {{"a.txt", "old a"}}));
    const std::string folder =
        NewCaseFolder("nothread", PackageBytes("Package", kInstalledKey, {{0, "a.txt", "new", {}}}));
    const std::string log = LogPath("nothread");
    UpdaterProcess run(E2ePaths(), folder, log, true);
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0));
    HWND progress = nullptr;
    ASSERT_NO_FATAL_FAILURE(ConfirmAndWaitForClose(run, progress, 10000));
    EXPECT_EQ(ReadStatusLog(log), std::vector<std::string>{Text(IDS_START_FAILED)});
    run.Click(GetDlgItem(progress, IDC_CLOSE));
    EXPECT_TRUE(run.WaitForExit()) << "the program ends after Close";
    EXPECT_EQ(ListTree(Root()), (FolderTree{{"a.txt", "old a"}}));
}

// --- during and after an apply ------------------------------------------------

// Esc, Enter and close requests do nothing during a long apply; Esc ends it afterwards.
TEST_F(InteractiveUpdateTest, KeysAndCloseIgnoredDuringApply) {
    ASSERT_TRUE(ResetTree(Root(), {}));
    const std::size_t size = 16u * 1024 * 1024;  // 4096 progress lines
    const std::string data = PatternData(size, 9);
    const std::string folder = NewCaseFolder("long", PackageBytes("Long", kInstalledKey, {{0, "long.bin", data, {}}}));
    const std::string log = LogPath("long");
    UpdaterProcess run(E2ePaths(), folder, log);
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0));
    HWND progress = run.ConfirmUpdate();
    ASSERT_NE(progress, nullptr);
    HWND close = GetDlgItem(progress, IDC_CLOSE);

    EXPECT_TRUE(WaitFor([&] { return ReadStatusLog(log).size() > 20; }, 10000)) << "the apply is under way";
    EXPECT_FALSE(IsWindowEnabled(close)) << "Close disabled while applying";
    run.PressKey(VK_ESCAPE);
    run.PressKey(VK_RETURN);
    PostMessageA(progress, WM_COMMAND, IDOK, 0);
    PostMessageA(progress, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(progress, WM_CLOSE, 0, 0);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
    // Several more lines taken means the UI thread has been through its
    // queue, posted messages included.
    const std::size_t seen = ReadStatusLog(log).size();
    EXPECT_TRUE(WaitFor([&] { return ReadStatusLog(log).size() > seen + 50; }, 10000)) << "the apply goes on";
    EXPECT_FALSE(IsWindowEnabled(close)) << "the apply was still running when the keys were handled (make it longer)";
    EXPECT_TRUE(IsWindow(progress) && IsWindowVisible(progress)) << "the progress dialog stays";
    EXPECT_FALSE(run.Exited());

    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(close) != FALSE; }, 60000)) << "Close enabled at the end";
    EXPECT_EQ(WindowText(GetDlgItem(progress, IDC_STATUS_BOX)), Text(IDS_UPDATE_COMPLETE));
    EXPECT_EQ(ReadStatusLog(log).size(), 1 + 1 + size / 4096 + 1) << "every line recorded";
    run.PressKey(VK_ESCAPE);
    EXPECT_TRUE(run.WaitForExit()) << "Esc ends the finished progress dialog and the program (focus on "
                                   << run.FocusDescription() << ")";
    // Not EXPECT_EQ: a failure would print 16 MiB.
    EXPECT_TRUE(ReadFileBytes(Root() + "\\long.bin") == data) << "the long file is written whole";
}

// Enter ends the progress dialog once Close is enabled.
TEST_F(InteractiveUpdateTest, EnterEndsFinishedProgress) {
    ASSERT_TRUE(ResetTree(Root(), {}));
    const std::string folder = NewCaseFolder("enter", PackageBytes("Package", kInstalledKey, {{0, "a.txt", "new", {}}}));
    UpdaterProcess run(E2ePaths(), folder, LogPath("enter"));
    ASSERT_TRUE(run.Ready()) << run.Problem();
    EXPECT_TRUE(run.ClickRow(0));
    HWND progress = nullptr;
    ASSERT_NO_FATAL_FAILURE(ConfirmAndWaitForClose(run, progress));
    run.PressKey(VK_RETURN);
    EXPECT_TRUE(run.WaitForExit()) << "Enter ends it and the program";
    EXPECT_EQ(ReadFileBytes(Root() + "\\a.txt"), "new") << "the file is written";
}

}  // namespace
