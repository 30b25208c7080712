// The POSIX journal folder (dvk extract's, and the native tests'): journals
// planted in it, links in its place, are set aside or refused, and what
// they point to is not touched.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/JournalFolder.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

const char kJournal[] = "0001-1-0.journal";

class PosixJournalFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::create_directory(folder_));
        ASSERT_TRUE(WriteFileBytes(victim_, "the victim's"));
    }
    // The names in the folder that start with name followed by ".untrusted-".
    std::size_t SetAsideCopies(const std::string& name) {
        std::size_t count = 0;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            count += entry.path().filename().string().rfind(name + ".untrusted-", 0) == 0;
        }
        return count;
    }

    TempDir dir_;
    const std::string folder_ = dir_.File("journals");
    const std::string victim_ = dir_.File("victim.txt");
};

TEST_F(PosixJournalFolderTest, APlantedJournalIsSetAsideAndWhatItPointsToIsUntouched) {
    const std::string journal = folder_ + "/" + kJournal;
    const struct {
        const char* why;
        bool (*plant)(const std::string& journal, const std::string& victim);
        bool needsRoot;
    } cases[] = {
        {"a symbolic link", [](const std::string& j, const std::string& v) { return ::symlink(v.c_str(), j.c_str()) == 0; }, false},
        {"a second hard link", [](const std::string& j, const std::string& v) { return ::link(v.c_str(), j.c_str()) == 0; }, false},
        {"others may write it",
         [](const std::string& j, const std::string&) { return WriteFileBytes(j, "x") && ::chmod(j.c_str(), 0666) == 0; }, false},
        {"a FIFO", [](const std::string& j, const std::string&) { return ::mkfifo(j.c_str(), 0600) == 0; }, false},
        {"a folder", [](const std::string& j, const std::string&) { return ::mkdir(j.c_str(), 0700) == 0; }, false},
        {"another user's",
         [](const std::string& j, const std::string&) { return WriteFileBytes(j, "x") && ::chown(j.c_str(), 65534, 65534) == 0; },
         true},
    };
    for (const auto& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) continue;  // only root can give a file away
        ASSERT_TRUE(c.plant(journal, victim_)) << c.why;
        std::unique_ptr<JournalFolder> folder = OpenJournalFolder(folder_);
        EXPECT_TRUE(folder->List().empty()) << c.why;
        std::string bytes;
        EXPECT_FALSE(folder->Read(kJournal, bytes)) << c.why;
        EXPECT_FALSE(fs::exists(fs::symlink_status(journal))) << c.why;
        EXPECT_EQ(SetAsideCopies(kJournal), 1u) << c.why;
        const std::vector<std::string> notes = folder->TakeNotes();
        ASSERT_EQ(notes.size(), 1u) << c.why;
        EXPECT_EQ(notes[0].rfind("Journal mis de c\364t\351, non suivi (", 0), 0u) << notes[0];
        EXPECT_EQ(ReadFileBytes(victim_), "the victim's") << c.why;
        fs::remove_all(folder_);
        ASSERT_TRUE(fs::create_directory(folder_));
    }
}

TEST_F(PosixJournalFolderTest, AJournalSwappedForALinkAfterTheListIsNotRead) {
    std::unique_ptr<JournalFolder> folder = OpenJournalFolder(folder_);
    std::string name;
    ASSERT_TRUE(folder->Create(name));
    ASSERT_EQ(folder->List(), std::vector<std::string>{name});
    const std::string journal = folder_ + "/" + name;
    ASSERT_TRUE(fs::remove(journal));
    ASSERT_EQ(::symlink(victim_.c_str(), journal.c_str()), 0);
    std::string bytes;
    EXPECT_FALSE(folder->Read(name, bytes));
    EXPECT_FALSE(folder->OpenForAppend(name, 0));
    EXPECT_EQ(SetAsideCopies(name), 1u);
    EXPECT_EQ(ReadFileBytes(victim_), "the victim's");
}

TEST_F(PosixJournalFolderTest, AFolderThatIsALinkOrNotOursHoldsNoJournal) {
    std::string name;
    ASSERT_TRUE(OpenJournalFolder(folder_)->Create(name));
    ASSERT_EQ(::symlink(folder_.c_str(), dir_.File("link").c_str()), 0);
    ASSERT_TRUE(WriteFileBytes(dir_.File("file"), ""));
    struct Case {
        const char* why;
        std::string path;
    };
    std::vector<Case> cases = {{"c'est un lien", dir_.File("link")}, {"ce n'est pas un dossier", dir_.File("file")}};
    if (::geteuid() == 0) {
        ASSERT_TRUE(fs::create_directory(dir_.File("foreign")));
        ASSERT_EQ(::chown(dir_.File("foreign").c_str(), 65534, 65534), 0);
        cases.push_back({"son propri\351taire n'est ni le syst\350me ni les administrateurs", dir_.File("foreign")});
    }
    for (const Case& c : cases) {
        std::unique_ptr<JournalFolder> folder = OpenJournalFolder(c.path);
        EXPECT_TRUE(folder->List().empty()) << c.why;
        std::string made;
        EXPECT_FALSE(folder->Create(made)) << c.why;
        const std::vector<std::string> notes = folder->TakeNotes();
        ASSERT_EQ(notes.size(), 1u) << c.why;
        EXPECT_EQ(notes[0], "Dossier des journaux inutilisable (" + std::string(c.why) + ") : " + c.path);
    }
    EXPECT_EQ(OpenJournalFolder(folder_)->List(), std::vector<std::string>{name}) << "the linked folder is untouched";
}

TEST_F(PosixJournalFolderTest, TheUsersOwnFolderLeftWritableByAUmaskIsClosedToOthers) {
    ASSERT_EQ(::chmod(folder_.c_str(), 0777), 0);
    std::string name;
    EXPECT_TRUE(OpenJournalFolder(folder_)->Create(name));
    struct stat status {};
    ASSERT_EQ(::stat(folder_.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
}

TEST_F(PosixJournalFolderTest, TheSystemFolderIsRefusedWhenALinkStandsInItsPlace) {
    const std::string state = dir_.File("state");
    ASSERT_TRUE(fs::create_directories(state + "/dravlek"));
    ASSERT_EQ(::symlink(folder_.c_str(), (state + "/dravlek/update").c_str()), 0);
    const char* old = std::getenv("XDG_STATE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    std::vector<std::string> notes;
    EXPECT_FALSE(OpenSystemJournalFolder(notes));
    old ? ::setenv("XDG_STATE_HOME", saved.c_str(), 1) : ::unsetenv("XDG_STATE_HOME");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0], "Dossier des journaux inutilisable (c'est un lien) : " + state + "/dravlek/update");
}

}  // namespace
