// The journal's records: names of any bytes come back whole, and a journal
// cut or damaged anywhere reads as the records before the damage.
#include <gtest/gtest.h>

#include "engine/UpdateJournal.h"
#include "tests/unit/TestFiles.h"

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
    // The journal's size after each record: its content so far, as a summary.
    std::vector<std::pair<std::size_t, std::string>> marks;
    std::string bytes;
    auto mark = [&](const char* summary) {
        ASSERT_TRUE(folder_->Read(journal->Name(), bytes));
        marks.emplace_back(bytes.size(), summary);
    };
    mark("begun");
    ASSERT_TRUE(journal->Replacing());
    mark("begun replacing");
    ASSERT_TRUE(journal->Replace(0, true));
    mark("begun replacing 0:existed");
    ASSERT_TRUE(journal->Replace(1, false));
    mark("begun replacing 0:existed 1:new");
    ASSERT_TRUE(journal->Undoing());
    mark("begun replacing 0:existed 1:new undoing");
    ASSERT_TRUE(journal->Undone(1));
    mark("begun replacing 0:existed 1:new undoing undone:1");
    ASSERT_TRUE(journal->Committed());
    mark("begun replacing 0:existed 1:new undoing undone:1 committed");

    auto summarise = [](const JournalState& state) {
        if (!state.begun) return std::string("nothing");
        std::string text = "begun";
        if (state.replacing) text += " replacing";
        for (std::size_t i = 0; i < state.replace.size(); ++i) {
            if (state.replace[i] != 0) text += " " + std::to_string(i) + (state.replace[i] == 2 ? ":existed" : ":new");
        }
        if (state.undoing) text += " undoing";
        for (std::size_t i = 0; i < state.undone.size(); ++i) {
            if (state.undone[i]) text += " undone:" + std::to_string(i);
        }
        if (state.committed) text += " committed";
        return text;
    };
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        std::string expected = "nothing";
        std::size_t whole = cut < 8 ? 0 : 8;
        for (const auto& [size, summary] : marks) {
            if (size <= cut) expected = summary, whole = size;
        }
        JournalState state = ParseJournal(bytes.substr(0, cut));
        EXPECT_EQ(summarise(state), expected) << "cut at " << cut;
        if (cut >= 8) EXPECT_EQ(state.wholeSize, whole) << "cut at " << cut;
        // A garbled byte in the last record drops that record alone.
        if (cut > 0 && cut < bytes.size() && cut >= marks[0].first) {
            std::string garbled = bytes;
            garbled[cut - 1] = static_cast<char>(garbled[cut - 1] ^ 0x40);
            std::string before = "nothing";
            for (const auto& [size, summary] : marks) {
                if (size < cut) before = summary;
            }
            EXPECT_EQ(summarise(ParseJournal(garbled)), before) << "byte " << cut - 1 << " garbled";
        }
    }
}

}  // namespace
