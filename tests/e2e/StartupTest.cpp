// The program's start under Wine: one instance at a time (InstanceMutex),
// and the recovery of interrupted updates from the
// journal folder, each told in its box before the selection dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "engine/UpdateJournal.h"
#include "engine/platform/win32/UniqueHandle.h"
#include "tests/e2e/E2eDriver.h"
#include "tests/support/TestFiles.h"
#include "ui/InstanceMutex.h"

namespace {

using Tree = std::map<std::string, std::string>;

std::string Root() {
    return E2ePaths().work + "\\root";
}

bool ResetRoot(const Tree& files) {
    bool ok = RemoveTree(Root()) && CreateDirectoryA(Root().c_str(), nullptr);
    for (const auto& file : files) ok = WriteFileBytes(Root() + "\\" + file.first, file.second) && ok;
    return ok;
}

// A journal as an update leaves it when killed: a.txt and c.txt existed
// ("old a", "old c"), b.txt is new. With replaced = 2, a and b were replaced
// and c is still staged; with replaced = 3 every target is new and the
// update was about to remove the backups.
bool LeaveInterruptedUpdate(JournalFolder& journals, const std::string& root, int replaced) {
    const std::vector<JournalEntry> entries = {
        {root + "\\a.txt", root + "\\a.txt.~dvk0.new", root + "\\a.txt.~dvk0.old"},
        {root + "\\b.txt", root + "\\b.txt.~dvk1.new", root + "\\b.txt.~dvk1.old"},
        {root + "\\c.txt", root + "\\c.txt.~dvk2.new", root + "\\c.txt.~dvk2.old"},
    };
    std::unique_ptr<UpdateJournal> journal = UpdateJournal::Begin(journals, root, entries);
    bool ok = journal && journal->Replacing({true, false, true});
    // A replaced entry's staged file became its target; the others wait.
    for (int i = 0; i < 3 && ok; ++i) {
        const JournalEntry& entry = entries[static_cast<std::size_t>(i)];
        std::string newBytes = std::string("new ") + static_cast<char>('a' + i);
        if (i >= replaced) {
            ok = WriteFileBytes(entry.staged, newBytes);
            continue;
        }
        if (i != 1) ok = MoveFileA(entry.target.c_str(), entry.backup.c_str());
        ok = ok && WriteFileBytes(entry.target, newBytes);
    }
    if (ok && replaced == 3) ok = journal->Committed();
    return ok;
}

DWORD WINAPI TakeMutexAndEnd(void* out) {
    static_cast<std::unique_ptr<InstanceMutex>*>(out)->reset(new InstanceMutex);
    return 0;
}

// A thread that ends owning the mutex leaves it abandoned; the object it
// hands back keeps the mutex, and its namespace, in existence.
std::unique_ptr<InstanceMutex> AbandonedMutex() {
    std::unique_ptr<InstanceMutex> mutex;
    UniqueKernelHandle thread(CreateThread(nullptr, 0, TakeMutexAndEnd, &mutex, 0, nullptr));
    WaitForSingleObject(thread.Get(), INFINITE);
    return mutex;
}

struct StartCase {
    const char* name;
    int replaced;            // -1: no new journal; else as LeaveInterruptedUpdate
    bool firstInstanceRuns;  // started before, showing its selection dialog
    bool abandonedMutex;
    const char* heldOpen;    // a root file held open without delete sharing
    int box;                 // 0: none
    bool selectionShown;
    Tree rootAfter;
    std::size_t journalsAfter;
};

TEST(StartupE2eTest, OneInstanceAtATimeAndRecoveryToldInItsBox) {
    const Tree before = {{"a.txt", "old a"}, {"c.txt", "old c"}};
    const Tree halfway = {{"a.txt", "new a"}, {"a.txt.~dvk0.old", "old a"}, {"b.txt", "new b"},
                          {"c.txt", "old c"}, {"c.txt.~dvk2.new", "new c"}};
    const Tree after = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}};
    // In order: the fourth leaves a journal that the fifth finishes.
    const StartCase cases[] = {
        {"a killed update's journal is undone at start: box 118, then the selection dialog", 2, false, false, "",
         IDS_UPDATE_UNDONE, true, before, 0},
        {"an update killed after its last replacement is finished at start, without a box", 3, false, false, "", 0,
         true, after, 0},
        {"a second instance while the first shows its dialog: box 120, it ends touching nothing", 2, true, false, "",
         IDS_ALREADY_RUNNING, false, halfway, 1},
        {"a target held open during the undo: box 119, the journal kept, the selection dialog after it", 2, false,
         false, "a.txt", IDS_UNDO_INCOMPLETE, true, {{"a.txt", "new a"}, {"a.txt.~dvk0.old", "old a"}, {"c.txt", "old c"}}, 1},
        {"the next start finishes that undo: box 118", -1, false, false, "", IDS_UPDATE_UNDONE, true, before, 0},
        {"a mutex abandoned by its holder counts as free: no box", -1, false, true, "", 0, true, before, 0},
    };
    std::vector<std::string> notes;
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
    ASSERT_NE(journals, nullptr);
    const std::string folder = E2ePaths().work + "\\cases\\start";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<UpdaterRun> first;
        if (c.firstInstanceRuns) {
            first = std::make_unique<UpdaterRun>(E2ePaths(), folder, E2ePaths().work + "\\logs\\first.log");
            ASSERT_TRUE(first->Ready()) << first->Problem();
        }
        if (c.replaced >= 0) {
            for (const std::string& name : journals->List()) ASSERT_TRUE(journals->Remove(name)) << name;
            ASSERT_TRUE(ResetRoot(before));
            ASSERT_TRUE(LeaveInterruptedUpdate(*journals, Root(), c.replaced));
        }
        UniqueFileHandle held;
        if (*c.heldOpen) {
            held.Reset(CreateFileA((Root() + "\\" + c.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        }
        std::unique_ptr<InstanceMutex> mutex = c.abandonedMutex ? AbandonedMutex() : nullptr;
        ASSERT_TRUE(!mutex || mutex->Owned());
        {
            UpdaterRun run(E2ePaths(), folder, E2ePaths().work + "\\logs\\start.log");
            std::vector<std::string> expected;
            if (c.box != 0) expected.push_back(BuiltInMessageString(c.box));
            EXPECT_EQ(run.StartBoxes(), expected);
            EXPECT_EQ(run.Selection() != nullptr, c.selectionShown);
            if (run.Selection()) run.Click(run.Item(IDCANCEL));
            EXPECT_TRUE(run.WaitForExit()) << "the program ends";
        }
        mutex.reset();
        held.Reset();
        if (first) {
            EXPECT_TRUE(IsWindowVisible(first->Selection())) << "the first instance still shows its dialog";
            first->Click(first->Item(IDCANCEL));
            EXPECT_TRUE(first->WaitForExit()) << "the first instance ends";
        }
        EXPECT_EQ(ListTree(Root()), c.rootAfter);
        EXPECT_EQ(journals->List().size(), c.journalsAfter);
    }
    // Whatever a failed case left must not reach the other tests.
    for (const std::string& name : journals->List()) EXPECT_TRUE(journals->Remove(name)) << name;
}

}  // namespace
