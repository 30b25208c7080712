// The journal's records: names of any bytes come back whole, and a journal
// cut or damaged anywhere reads as the records before the damage.
#include <gtest/gtest.h>

#include "engine/UpdateJournal.h"
#include "tests/support/TestFiles.h"

namespace {

class UpdateJournalTest : public ::testing::Test {
protected:
    TempDir dir_;
    std::unique_ptr<JournalFolder> folder_ = OpenJournalFolder(dir_.Path());
};

TEST_F(UpdateJournalTest, NamesOfAnyBytesComeBackWhole) {
    std::string everyByte;
    for (int c = 1; c <= 0xFF; ++c) everyByte += static_cast<char>(c);
    const std::vector<JournalEntry> entries = {
        {everyByte, everyByte + ".new", everyByte + ".old"},
        {"", "\n", std::string(70000, '\xFF')},
        {"C:\\Program Files\\Produit\\\xC4rger.dll", "x.~dvk1.new", "x.~dvk1.old"},
    };
    std::unique_ptr<UpdateJournal> journal = UpdateJournal::Begin(*folder_, everyByte, entries);
    ASSERT_TRUE(journal);
    std::string bytes;
    ASSERT_TRUE(folder_->Read(journal->Name(), bytes));
    JournalState state = ParseJournal(bytes);
    ASSERT_TRUE(state.begun);
    EXPECT_EQ(state.root, everyByte);
    ASSERT_EQ(state.entries.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(state.entries[i].target, entries[i].target) << i;
        EXPECT_EQ(state.entries[i].staged, entries[i].staged) << i;
        EXPECT_EQ(state.entries[i].backup, entries[i].backup) << i;
    }
    EXPECT_EQ(state.wholeSize, bytes.size());
}

// Killed in the middle of a write, or with the disk's last sector garbled:
// what was whole before is read, nothing after it.
TEST_F(UpdateJournalTest, AJournalCutOrDamagedAnywhereReadsAsItsWholeRecords) {
    std::unique_ptr<UpdateJournal> journal =
        UpdateJournal::Begin(*folder_, "root", {{"t0", "s0", "b0"}, {"t1", "s1", "b1"}});
    ASSERT_TRUE(journal);
    // The journal's size after each record.
    std::vector<std::size_t> ends;
    std::string bytes;
    for (int record = 0; record < 5; ++record) {
        ASSERT_TRUE(folder_->Read(journal->Name(), bytes));
        ends.push_back(bytes.size());
        ASSERT_TRUE(record == 0   ? journal->Replacing({true, false})
                    : record == 1 ? journal->Undoing()
                    : record == 2 ? journal->Undone(1)
                                  : journal->Committed());
    }
    ASSERT_TRUE(folder_->Read(journal->Name(), bytes));
    ends.push_back(bytes.size());
    // The end of the last whole record within the first n bytes (0: none whole).
    auto wholeWithin = [&](std::size_t n) {
        std::size_t whole = 0;
        for (std::size_t end : ends) whole = end <= n ? end : whole;
        return whole;
    };
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        JournalState state = ParseJournal(bytes.substr(0, cut));
        EXPECT_EQ(state.begun, cut >= ends[0]) << "cut at " << cut;
        if (state.begun) {
            EXPECT_EQ(state.wholeSize, wholeWithin(cut)) << "cut at " << cut;
        }
        if (cut <= ends[0] || cut == bytes.size()) continue;
        std::string garbled = bytes;
        garbled[cut - 1] = static_cast<char>(garbled[cut - 1] ^ 0x40);
        EXPECT_EQ(ParseJournal(garbled).wholeSize, wholeWithin(cut - 1)) << "byte " << cut - 1 << " garbled";
    }
    JournalState whole = ParseJournal(bytes);
    EXPECT_TRUE(whole.replacing && whole.undoing && whole.committed);
    EXPECT_EQ(whole.replace, (std::vector<unsigned char>{2, 1}));
    EXPECT_EQ(whole.undone, (std::vector<bool>{false, true}));
}

}  // namespace
