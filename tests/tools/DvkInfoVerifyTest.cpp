// dvk info and dvk verify: what they show of sound packages, and which rule
// and byte they name for damaged ones.
#include <gtest/gtest.h>

#include "package/PackageWriter.h"
#include "package/PatchPackage.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/DvkRunner.h"
#include "package/CodePage1252.h"

namespace {

class DvkInspectTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(WriteFileBytes(dir_.File(name), bytes));
        return dir_.File(name);
    }

    TempDir dir_;
};

// Entries with cp1252 names, a required one, odd flags and an empty one.
std::string MixedPackage() {
    return BuildPackageBytes("Correctif \x96 \xE9t\xE9", "Software\\\xC9" "diteur\\Produit",
                             {{0x02, "app.exe", "bin\\app.exe", "MZ-program"},
                              {0x81, "lisez-moi", "LISEZ-MOI \x80.txt", "texte"},
                              {0x00, "vide", "vide.txt", ""}});
}

// The whole output, byte for byte: written out by hand from the package's
// layout (offsets, flags, sizes) and the names in UTF-8.
TEST_F(DvkInspectTest, InfoJsonGivesWhatTheReaderReadsInUtf8) {
    Write("mixed.dvk", MixedPackage());
    DvkRun run = RunDvk({"info", "mixed.dvk", "--json"}, dir_.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ReadFileBytes(std::string(DVK_GOLDEN_DIR) + "/info-mixed.json"));
}

// The signer as the PublicKey value writes it; each entry's SHA-256 as
// sha256sum prints it.
TEST_F(DvkInspectTest, InfoJsonOfASignedPackageNamesItsSigner) {
    Write("signed.dvk", SignedExampleBytes('A'));
    DvkRun run = RunDvk({"info", "--json", "signed.dvk"}, dir_.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ReadFileBytes(std::string(DVK_GOLDEN_DIR) + "/info-signed.json"));
}

TEST_F(DvkInspectTest, InfoJsonOfAPackageWithoutEntriesKeepsTheStoredCount) {
    std::string bytes;
    AppendString(bytes, "Vide");
    AppendString(bytes, "K");
    AppendInt32(bytes, -1);
    Write("none.dvk", bytes);
    DvkRun run = RunDvk({"info", "--json", "none.dvk"}, dir_.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, ReadFileBytes(std::string(DVK_GOLDEN_DIR) + "/info-no-entries.json"));

    DvkRun table = RunDvk({"info", dir_.File("none.dvk")});
    EXPECT_NE(table.out.find("Entries:       0 (the header says -1)"), std::string::npos) << table.out;
}

TEST_F(DvkInspectTest, InfoTableShowsHeaderAndOneRowPerEntry) {
    DvkRun run = RunDvk({"info", Write("mixed.dvk", MixedPackage())});
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines = run.OutLines();
    ASSERT_EQ(lines.size(), 10u) << run.out;
    EXPECT_EQ(lines[0], "Title:         Correctif \xE2\x80\x93 \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(lines[1], "Registry key:  Software\\\xC3\x89" "diteur\\Produit");
    EXPECT_EQ(lines[2], "Entries:       3");
    EXPECT_EQ(lines[3], "File size:     " + std::to_string(MixedPackage().size()) + " bytes");
    EXPECT_EQ(lines[4], "Signature:     unsigned");
    EXPECT_EQ(lines[6].find("Index"), 0u);
    // Offsets as the writer placed them: a header of 57 bytes (title 16,
    // key 25, count, three slots), then each record after the one before.
    EXPECT_EQ(lines[7], "    0          57  yes       0x02          10  app.exe    bin\\app.exe");
    EXPECT_EQ(lines[8], "    1          92  no        0x81           5  lisez-moi  LISEZ-MOI \xE2\x82\xAC.txt");
    EXPECT_EQ(lines[9], "    2         128  no        0x00           0  vide       vide.txt");
}

TEST_F(DvkInspectTest, VerifyPassesASoundPackage) {
    DvkRun run = RunDvk({"verify", Write("mixed.dvk", MixedPackage())});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, dir_.File("mixed.dvk") + ": sound, 3 entries, " + std::to_string(MixedPackage().size()) +
                           " bytes\nsignature: unsigned\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(DvkInspectTest, VerifyAndInfoNameTheFirstRuleBrokenAndItsByte) {
    const std::string sound = MixedPackage();
    // Offsets in MixedPackage: title 0, key 16, count 41, slots 45, 49, 53;
    // records at 57, 92 and 128 (flags, then size at +1, source at +5).
    struct Case {
        const char* why;
        std::string bytes;
        std::string line;  // what follows "dvk verify: FILE: "
    };
    std::vector<Case> cases;
    cases.push_back({"cut inside the last data", sound.substr(0, 125),
                     "entry 1: data runs past the end of the file (byte 93)"});
    cases.push_back({"cut inside the header", sound.substr(0, 30),
                     "registry key is cut off by the end of the file (byte 16)"});
    {
        std::string bytes = sound;
        PutInt32(bytes, 49, 5000);
        cases.push_back({"offset past the end", bytes,
                         "entry 1: record offset lies at or past the end of the file (byte 49)"});
        PutInt32(bytes, 49, -2);
        cases.push_back({"negative offset", bytes, "entry 1: record offset is negative (byte 49)"});
        PutInt32(bytes, 41, 1000000);
        cases.push_back({"count beyond the file", bytes,
                         "entry count is larger than the offset table the file can hold (byte 41)"});
    }
    cases.push_back({"unsafe target",
                     BuildPackageBytes("T", "K", {{0, "a", "ok.txt", "1"}, {0, "b", "..\\evil.dll", "2"}}),
                     // header 2 + 2 + 4 + 8 = 16; record 0 is 1+4+2+7+1 = 15 bytes
                     "entry 1: target name is not a safe relative path (byte 38)"});
    for (const Case& c : cases) {
        const std::string path = Write("damaged.dvk", c.bytes);
        DvkRun verify = RunDvk({"verify", path});
        EXPECT_EQ(verify.status, 1) << c.why;
        EXPECT_EQ(verify.out, "") << c.why;
        EXPECT_EQ(verify.err, "dvk verify: " + path + ": " + c.line + "\n") << c.why;

        DvkRun info = RunDvk({"info", path, "--json"});
        EXPECT_EQ(info.status, 1) << c.why;
        EXPECT_EQ(info.out, "") << c.why;
        EXPECT_EQ(info.err, "dvk info: '" + path + "' is damaged: " + c.line + "\n") << c.why;

        PatchPackage package;
        EXPECT_FALSE(package.Open(path)) << c.why << ": the updater must refuse what verify refuses";
    }
}

TEST_F(DvkInspectTest, FilesThatCannotBeReadAreReportedNotShown) {
    for (const char* command : {"verify", "info"}) {
        DvkRun missing = RunDvk({command, dir_.File("missing.dvk")});
        EXPECT_EQ(missing.status, 1) << command;
        EXPECT_EQ(missing.err, std::string("dvk ") + command + ": '" + dir_.File("missing.dvk") + "': no such file\n");
        DvkRun folder = RunDvk({command, dir_.Path()});
        EXPECT_EQ(folder.status, 1) << command;
        EXPECT_NE(folder.err.find("is a folder, not a package"), std::string::npos) << folder.err;
        DvkRun two = RunDvk({command, "a.dvk", "b.dvk"});
        EXPECT_EQ(two.status, 2) << command;
        EXPECT_EQ(two.ErrLines().size(), 1u) << two.err;
    }
}

}  // namespace
