// The POSIX journal folder (dvk extract's, and the native tests'): journals
// planted in it, links in its place, are set aside or refused, and what
// they point to is not touched.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/JournalFolder.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

class PosixJournalFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::create_directory(folder_));
        ASSERT_TRUE(WriteFileBytes(victim_, "the victim's"));
    }
    TempDir dir_;
    const std::string folder_ = dir_.File("journals"), victim_ = dir_.File("victim.txt");
    const std::string journal_ = folder_ + "/1.journal";
};

TEST_F(PosixJournalFolderTest, APlantedJournalIsSetAsideAndWhatItPointsToIsUntouched) {
    const char* v = victim_.c_str();
    const char* j = journal_.c_str();
    const struct {
        const char* reason;
        std::function<bool()> plant;
    } cases[] = {
        {"c'est un lien", [&] { return ::symlink(v, j) == 0; }},
        {"il a plusieurs noms (liens physiques)", [&] { return ::link(v, j) == 0; }},
        {"d'autres comptes peuvent le modifier", [&] { return WriteFileBytes(j, "x") && ::chmod(j, 0666) == 0; }},
        {"ce n'est pas un fichier", [&] { return ::mkfifo(j, 0600) == 0; }},
        {"ce n'est pas un fichier", [&] { return ::mkdir(j, 0700) == 0; }},
        {"son propri\351taire n'est ni le syst\350me ni les administrateurs",  // only root can give a file away
         [&] { return ::geteuid() == 0 && WriteFileBytes(j, "x") && ::chown(j, 65534, 65534) == 0; }},
    };
    for (const auto& c : cases) {
        if (!c.plant()) {
            EXPECT_NE(::geteuid(), 0u) << c.reason;
            continue;
        }
        std::unique_ptr<JournalFolder> folder = OpenJournalFolder(folder_);
        EXPECT_TRUE(folder->List().empty()) << c.reason;
        std::string bytes;
        EXPECT_FALSE(folder->Read("1.journal", bytes)) << c.reason;
        EXPECT_FALSE(fs::exists(fs::symlink_status(journal_))) << c.reason;
        const std::vector<std::string> notes = folder->TakeNotes();
        ASSERT_EQ(notes.size(), 1u) << c.reason;
        const std::string lead = "Journal mis de c\364t\351, non suivi (" + std::string(c.reason) + ") : " + journal_ +
                                 " -> 1.journal.untrusted-";
        EXPECT_EQ(notes[0].substr(0, lead.size()), lead);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1) << "kept aside";
        EXPECT_EQ(ReadFileBytes(victim_), "the victim's") << c.reason;
        fs::remove_all(folder_);
        ASSERT_TRUE(fs::create_directory(folder_));
    }
}

TEST_F(PosixJournalFolderTest, AJournalSwappedForALinkAfterTheListIsNotRead) {
    std::unique_ptr<JournalFolder> folder = OpenJournalFolder(folder_);
    std::string name;
    ASSERT_TRUE(folder->Create(name));
    ASSERT_EQ(folder->List(), std::vector<std::string>{name});
    ASSERT_TRUE(fs::remove(folder_ + "/" + name));
    ASSERT_EQ(::symlink(victim_.c_str(), (folder_ + "/" + name).c_str()), 0);
    std::string bytes;
    EXPECT_FALSE(folder->Read(name, bytes));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder_ + "/" + name))) << "set aside";
    EXPECT_EQ(ReadFileBytes(victim_), "the victim's");
}

TEST_F(PosixJournalFolderTest, AFolderThatIsALinkOrNotOursHoldsNoJournal) {
    std::string name;
    ASSERT_TRUE(OpenJournalFolder(folder_)->Create(name));
    ASSERT_EQ(::symlink(folder_.c_str(), dir_.File("link").c_str()), 0);
    ASSERT_TRUE(fs::create_directory(dir_.File("foreign")));
    const bool root = ::geteuid() == 0 && ::chown(dir_.File("foreign").c_str(), 65534, 65534) == 0;
    const struct {
        const char* reason;
        std::string path;
    } cases[] = {{"c'est un lien", dir_.File("link")},
                 {"ce n'est pas un dossier", victim_},
                 {"son propri\351taire n'est ni le syst\350me ni les administrateurs", dir_.File("foreign")}};
    for (const auto& c : cases) {
        if (c.path == dir_.File("foreign") && !root) continue;
        std::unique_ptr<JournalFolder> folder = OpenJournalFolder(c.path);
        std::string made;
        EXPECT_TRUE(folder->List().empty() && !folder->Create(made)) << c.reason;
        EXPECT_EQ(folder->TakeNotes(),
                  std::vector<std::string>{"Dossier des journaux inutilisable (" + std::string(c.reason) + ") : " + c.path});
    }
    EXPECT_EQ(OpenJournalFolder(folder_)->List(), std::vector<std::string>{name}) << "the linked folder is untouched";
    // The user's own folder left writable by a umask is closed to the others.
    ASSERT_EQ(::chmod(folder_.c_str(), 0777), 0);
    EXPECT_EQ(OpenJournalFolder(folder_)->List(), std::vector<std::string>{name});
    EXPECT_EQ(fs::status(folder_).permissions(), fs::perms(0755));
}

}  // namespace
