// The program's start under Wine: one instance at a time (InstanceMutex),
// and the recovery of interrupted updates from the
// journal folder, each told in its box before the selection dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/JournalFolder.h"
#include "engine/MessageStrings.h"
#include "tests/support/InterruptedUpdate.h"
#include "tests/support/UpdaterProcess.h"
#include "ui/InstanceMutex.h"

namespace {

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
    int replaced;            // -1: no new journal; else of a.txt, b.txt and c.txt, as LeaveInterruptedUpdate
    bool firstInstanceRuns;  // started before, showing its selection dialog
    bool abandonedMutex;
    const char* heldOpen;    // a root file held open without delete sharing
    int box;                 // 0: none
    bool selectionShown;
    FolderTree rootAfter;
    std::size_t journalsAfter;
};

TEST(StartupE2eTest, OneInstanceAtATimeAndRecoveryToldInItsBox) {
    // a.txt and c.txt exist, b.txt is new.
    const FolderTree before = {{"a.txt", "old a"}, {"c.txt", "old c"}};
    const std::vector<UpdatedFile> update = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}};
    const FolderTree halfway = {{"a.txt", "new a"}, {"a.txt.~dvk0.old", "old a"}, {"b.txt", "new b"},
                          {"c.txt", "old c"}, {"c.txt.~dvk2.new", "new c"}};
    const FolderTree after = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}};
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
    const std::string root = E2ePaths().Root();
    const std::string folder = E2ePaths().work + "\\cases\\start";
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<UpdaterProcess> first;
        if (c.firstInstanceRuns) {
            first = std::make_unique<UpdaterProcess>(E2ePaths(), folder, E2ePaths().work + "\\logs\\first.log");
            ASSERT_TRUE(first->Ready()) << first->Problem();
        }
        if (c.replaced >= 0) {
            for (const std::string& name : journals->List()) ASSERT_TRUE(journals->Remove(name)) << name;
            ASSERT_TRUE(ResetTree(root, before));
            ASSERT_TRUE(LeaveInterruptedUpdate(*journals, root, update, static_cast<std::size_t>(c.replaced)));
        }
        UniqueFileHandle held;
        if (*c.heldOpen) {
            held.Reset(CreateFileA((root + "\\" + c.heldOpen).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        }
        std::unique_ptr<InstanceMutex> mutex = c.abandonedMutex ? AbandonedMutex() : nullptr;
        ASSERT_TRUE(!mutex || mutex->Owned());
        {
            UpdaterProcess run(E2ePaths(), folder, E2ePaths().work + "\\logs\\start.log");
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
        EXPECT_EQ(ListTree(root), c.rootAfter);
        EXPECT_EQ(journals->List().size(), c.journalsAfter);
    }
    // Whatever a failed case left must not reach the other tests.
    for (const std::string& name : journals->List()) EXPECT_TRUE(journals->Remove(name)) << name;
}

}  // namespace
