// dvk pack: what a package made from a folder or a list holds, that the same
// input gives the same bytes, and every refusal.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "package/PatchPackage.h"
#include "package/RecordHeader.h"
#include "package/UniqueStdioFile.h"
#include "tests/tools/DvkRunner.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/DvkTrees.h"
#include "tools/dvk/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

class DvkPackTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.File(name); }

    // Packs the sample tree; the package's path.
    std::string PackSample(const std::string& name, std::vector<std::string> extra = {}) {
        if (!fs::exists(Path("tree"))) WriteTree(Path("tree"), SampleTree());
        std::vector<std::string> args = {"pack", Path(name), "--title", "Mise \xC3\xA0 jour \xE2\x80\x93 2",
                                         "--key", "Software\\\xC3\x89" "diteur\\Produit", Path("tree")};
        args.insert(args.end(), extra.begin(), extra.end());
        DvkRun run = RunDvk(args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        return Path(name);
    }

    TempDir dir_;
};

// The data of an entry, read through the package's own stream.
std::string EntryData(PatchPackage& package, const PackageEntry& entry) {
    PackageStream& stream = package.Stream();
    stream.Seek(entry.recordOffset);
    RecordHeader header;
    EXPECT_EQ(ReadRecordHeader(stream, header), RecordField::kComplete);
    std::string data(static_cast<std::size_t>(entry.dataSize), '\0');
    EXPECT_EQ(stream.Read(&data[0], data.size()), data.size());
    return data;
}

TEST_F(DvkPackTest, AFolderBecomesSortedEntriesWithCp1252NamesAndTheirBytes) {
    PatchPackage package;
    ASSERT_TRUE(package.Open(PackSample("sample.dvk", {"--required", "bin/*.dll"})));
    EXPECT_EQ(package.GetTitle(), "Mise \xE0 jour \x96 2");
    EXPECT_EQ(package.GetRegistryKey(), "Software\\\xC9" "diteur\\Produit");

    // Sorted by the target's bytes in code page 1252, '\' between folders.
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"bin\\deep\\er\\nest.dat", "bin/deep/er/nest.dat"},
        {"bin\\\xC4rger.dll", "bin/\xC3\x84rger.dll"},
        {"caf\xE9.txt", "caf\xC3\xA9.txt"},
        {"data\\big.bin", "data/big.bin"},
        {"empty.txt", "empty.txt"},
        {"\x80uro \x96 \x93quoted\x94.txt", "\xE2\x82\xACuro \xE2\x80\x93 \xE2\x80\x9Cquoted\xE2\x80\x9D.txt"},
    };
    const FileTree tree = SampleTree();
    ASSERT_EQ(package.GetEntryCount(), static_cast<std::int32_t>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const PackageEntry& entry = package.GetEntries()[i];
        EXPECT_EQ(entry.targetName, expected[i].first) << i;
        EXPECT_EQ(entry.sourceName, expected[i].first) << i;
        const std::string& bytes = tree.at(expected[i].second);
        EXPECT_EQ(entry.dataSize, static_cast<std::int32_t>(bytes.size())) << i;
        EXPECT_TRUE(EntryData(package, entry) == bytes) << "data of " << expected[i].second;
        EXPECT_EQ(entry.flags, i == 1 ? 0x02 : 0x00) << "only bin\\*.dll is required: " << i;
    }
}

TEST_F(DvkPackTest, TheSameFilesGiveTheSameBytesWhereverAndHoweverTheyLie) {
    std::string first = ReadFileBytes(PackSample("first.dvk"));
    std::string again = ReadFileBytes(PackSample("again.dvk"));
    ASSERT_GT(first.size(), 5u * 1024 * 1024);
    EXPECT_TRUE(first == again);

    // The same tree elsewhere, its files made in the opposite order and
    // stamped at another time.
    FileTree tree = SampleTree();
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) WriteTree(Path("other/place"), {{it->first, it->second}});
    fs::last_write_time(fs::u8path(Path("other/place/caf\xC3\xA9.txt")),
                        fs::file_time_type::clock::now() - std::chrono::hours(50));
    DvkRun run = RunDvk({"pack", "copy.dvk", "--title", "Mise \xC3\xA0 jour \xE2\x80\x93 2", "--key",
                         "Software\\\xC3\x89" "diteur\\Produit", "place"},
                        Path("other"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(ReadFileBytes(Path("other/copy.dvk")) == first);
}

TEST_F(DvkPackTest, AListGivesFullControlOverOrderNamesAndFlags) {
    WriteTree(Path("files"), {{"one.txt", "1"}, {"two.bin", "22"}, {"sub/three.dll", "333"}});
    WriteFileBytes(Path("files/abs.txt"), "absolute");
    std::string list =
        "# shipped files\n"
        "\n"
        "two.bin\tbin\\two.bin\t0\r\n"          // a line saved on Windows
        "sub/three.dll\tbin\\lib\\three.dll\t2\n"
        "one.txt\tLISEZ-MOI-\xC3\xA9t\xC3\xA9.txt\t0x81\n" +
        Path("files/abs.txt") + "\tabs.txt\t0\n";
    WriteFileBytes(Path("files/list.txt"), list);
    DvkRun run = RunDvk({"pack", Path("list.dvk"), "--title", "L", "--key", "K", "--list", Path("files/list.txt"),
                         "--required", "abs.TXT"});
    ASSERT_EQ(run.status, 0) << run.err;

    PatchPackage package;
    ASSERT_TRUE(package.Open(Path("list.dvk")));
    ASSERT_EQ(package.GetEntries().size(), 4u);
    const std::vector<PackageEntry>& entries = package.GetEntries();
    EXPECT_EQ(entries[0].targetName, "bin\\two.bin");
    EXPECT_EQ(entries[0].sourceName, "two.bin");
    EXPECT_EQ(entries[0].flags, 0x00);
    EXPECT_EQ(EntryData(package, entries[0]), "22");
    EXPECT_EQ(entries[1].targetName, "bin\\lib\\three.dll");
    EXPECT_EQ(entries[1].sourceName, "sub/three.dll");
    EXPECT_EQ(entries[1].flags, 0x02);
    EXPECT_EQ(entries[2].targetName, "LISEZ-MOI-\xE9t\xE9.txt");
    EXPECT_EQ(entries[2].flags, 0x81);
    EXPECT_EQ(EntryData(package, entries[2]), "1");
    EXPECT_EQ(entries[3].targetName, "abs.txt");
    EXPECT_EQ(entries[3].flags, 0x02) << "--required adds the flag to a list's entries";
    EXPECT_EQ(EntryData(package, entries[3]), "absolute");
}

// One refused pack: its exit status, its one stderr line, and that nothing
// was written next to the package.
struct Refusal {
    const char* why;
    std::vector<std::string> args;  // after "pack OUT"
    int status;
    std::string message;  // a part of the stderr line
};

void ExpectRefused(const Refusal& c, const std::string& out, const std::string& outFolder,
                   const std::vector<std::string>& namesBefore) {
    std::vector<std::string> args = {"pack", out};
    args.insert(args.end(), c.args.begin(), c.args.end());
    DvkRun run = RunDvk(args);
    EXPECT_EQ(run.status, c.status) << c.why << ": " << run.err;
    ASSERT_EQ(run.ErrLines().size(), 1u) << c.why << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.why << ": " << run.err;
    EXPECT_EQ(run.err.rfind("dvk pack: ", 0), 0u) << c.why;
    EXPECT_EQ(run.out, "") << c.why;
    EXPECT_EQ(ListNames(outFolder), namesBefore) << c.why << ": something was left behind";
}

TEST_F(DvkPackTest, NamesThatCannotReachWindowsIntactAreRefusedNamingTheFile) {
    fs::create_directories(Path("out"));
    const std::vector<Refusal> cases = {
        {"device name", {}, 1, "'CON.txt': the updater refuses this target name"},
        {"device name in a folder", {}, 1, "'sub/aux.log'"},
        {"colon", {}, 1, "'a:b.txt'"},
        {"character outside cp1252", {}, 1, "'\xE6\x97\xA5\xE6\x9C\xAC.txt': the name has a character with no "
                                            "code page 1252 byte (U+65E5)"},
        {"name that is not UTF-8", {}, 1, "not valid UTF-8"},
        {"Windows-forbidden character", {}, 1, "'what?.txt'"},
        {"two names, one Windows file", {}, 1, "would be the same file on Windows"},
        {"a trailing dot", {}, 1, "would be the same file on Windows"},
        {"a trailing space", {}, 1, "would be the same file on Windows"},
        {"trailing dots and spaces in a folder", {}, 1, "would be the same file on Windows"},
    };
    const std::vector<FileTree> trees = {
        {{"ok.txt", "x"}, {"CON.txt", "x"}},
        {{"sub/aux.log", "x"}},
        {{"a:b.txt", "x"}},
        {{"ok.txt", "x"}, {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "x"}},
        {{"caf\xE9.txt", "x"}},
        {{"what?.txt", "x"}},
        {{"Readme.TXT", "x"}, {"readme.txt", "y"}},
        {{"a.txt", "x"}, {"a.txt.", "y"}},
        {{"a.txt", "x"}, {"a.txt ", "y"}},
        {{"Sub. ./a.txt", "x"}, {"sub/A.TXT", "y"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::string tree = Path("tree" + std::to_string(i));
        WriteTree(tree, trees[i]);
        Refusal c = cases[i];
        c.args = {"--title", "T", "--key", "K", tree};
        ExpectRefused(c, Path("out/p.dvk"), Path("out"), {});
    }
}

TEST_F(DvkPackTest, AFileTooLargeForAnEntryIsRefusedBeforeAnythingIsRead) {
    fs::create_directories(Path("out"));
    WriteTree(Path("tree"), {{"small.txt", "x"}});
    // Sparse where the file system allows: 2^31 bytes, one more than an entry holds.
    ASSERT_NE(UniqueStdioFile(std::fopen(Path("tree/huge.bin").c_str(), "wb")), nullptr);
    std::error_code code;
    fs::resize_file(Path("tree/huge.bin"), 2147483648ull, code);
    if (code) GTEST_SKIP() << "cannot make a 2 GiB file here: " << code.message();
    ExpectRefused({"2^31 bytes", {"--title", "T", "--key", "K", Path("tree")}, 1,
                   "'huge.bin': 2147483648 bytes is more than a package entry can hold"},
                  Path("out/p.dvk"), Path("out"), {});
    // One byte less fits the format; the refusal above is about the size alone.
    fs::resize_file(Path("tree/huge.bin"), 100);
    EXPECT_EQ(RunDvk({"pack", Path("out/p.dvk"), "--title", "T", "--key", "K", Path("tree")}).status, 0);
}

TEST_F(DvkPackTest, BadCommandLinesAndInputsAreRefusedAndAnOldPackageSurvives) {
    WriteTree(Path("tree"), {{"a.txt", "a"}, {"bin/b.dll", "b"}});
    WriteFileBytes(Path("bad-list.txt"), "a.txt\ta.txt\n");
    WriteFileBytes(Path("bad-flags.txt"), "tree/a.txt\ta.txt\t256\n");
    WriteFileBytes(Path("missing-source.txt"), "tree/none.txt\tnone.txt\t0\n");
    WriteFileBytes(Path("dot-folder.txt"), "tree/a.txt\ta.txt\t0\ntree/bin/b.dll\t.\\a.txt\t0\n");
    WriteFileBytes(Path("empty-folder.txt"), "tree/a.txt\tsub\\a\t0\ntree/bin/b.dll\tsub\\\\a\t0\n");
    // The kernel gives /proc files a size of 0 but content when read: like a
    // file that grows while it is packed, met only after writing has begun.
    WriteFileBytes(Path("growing.txt"), "tree/a.txt\ta.txt\t0\n/proc/self/status\tstatus.txt\t0\n");
    fs::create_directories(Path("out"));
    WriteFileBytes(Path("out/p.dvk"), "the previous package");
    fs::create_directories(Path("fifo-tree"));
    ASSERT_EQ(mkfifo(Path("fifo-tree/pipe").c_str(), 0600), 0);
    // A release folder with a link to a secret elsewhere.
    WriteTree(Path("link-tree"), {{"app.exe", "program"}});
    WriteFileBytes(Path("secret"), "private key");
    ASSERT_EQ(symlink(Path("secret").c_str(), Path("link-tree/id_rsa").c_str()), 0);
    WriteFileBytes(Path("link-list.txt"), "link-tree/id_rsa\tid_rsa\t0\n");

    const std::string tree = Path("tree");
    const std::vector<Refusal> cases = {
        {"unknown option", {"--title", "T", "--key", "K", tree, "--bogus"}, 2, "unknown option '--bogus'"},
        {"no title", {"--key", "K", tree}, 2, "--title is missing"},
        {"no key", {"--title", "T", tree}, 2, "--key is missing"},
        {"no folder", {"--title", "T", "--key", "K"}, 2, "DIR) or --list FILE is missing"},
        {"folder and list", {"--title", "T", "--key", "K", tree, "--list", Path("bad-list.txt")}, 2, "not both"},
        {"title twice", {"--title", "T", "--title", "U", "--key", "K", tree}, 2, "given more than once"},
        {"missing folder", {"--title", "T", "--key", "K", Path("nowhere")}, 1, "no such folder"},
        {"empty title", {"--title", "", "--key", "K", tree}, 1, "the title is empty"},
        {"title outside cp1252", {"--title", "\xE2\x86\x92", "--key", "K", tree}, 1, "(U+2192)"},
        {"key outside cp1252", {"--title", "T", "--key", "Software\\\xC5\x81" "\xC3\xB3" "d\xC5\xBA", tree}, 1,
         "registry key has a character with no code page 1252 byte (U+0141)"},
        {"absolute key", {"--title", "T", "--key", "\\Software\\X", tree}, 1, "below HKEY_LOCAL_MACHINE"},
        {"pattern matching nothing", {"--title", "T", "--key", "K", tree, "--required", "*.exe"}, 1,
         "--required '*.exe' matches no file"},
        {"list line without flags", {"--title", "T", "--key", "K", "--list", Path("bad-list.txt")}, 1,
         "line 1: expected source<TAB>target<TAB>flags"},
        {"list flags too big", {"--title", "T", "--key", "K", "--list", Path("bad-flags.txt")}, 1,
         "flags must be a number from 0 to 255"},
        {"list source missing", {"--title", "T", "--key", "K", "--list", Path("missing-source.txt")}, 1,
         "line 1: 'tree/none.txt': not a readable file"},
        {"missing list", {"--title", "T", "--key", "K", "--list", Path("none.txt")}, 1, "cannot read the list"},
        {"a '.' folder", {"--title", "T", "--key", "K", "--list", Path("dot-folder.txt")}, 1,
         "would be the same file on Windows (.\\a.txt)"},
        {"an empty folder name", {"--title", "T", "--key", "K", "--list", Path("empty-folder.txt")}, 1,
         "would be the same file on Windows (sub\\\\a)"},
        {"a file growing while packed", {"--title", "T", "--key", "K", "--list", Path("growing.txt")}, 1,
         "'/proc/self/status': the file grew while it was packed"},
        {"a pipe in the folder", {"--title", "T", "--key", "K", Path("fifo-tree")}, 1, "'pipe': not a regular file"},
        {"a link to a file in the folder", {"--title", "T", "--key", "K", Path("link-tree")}, 1,
         "'id_rsa': a link; pack the file it points to, or give --follow-links"},
        {"a link named by a list", {"--title", "T", "--key", "K", "--list", Path("link-list.txt")}, 1,
         "line 1: 'link-tree/id_rsa': a link"},
    };
    for (const Refusal& c : cases) ExpectRefused(c, Path("out/p.dvk"), Path("out"), {"p.dvk"});
    EXPECT_EQ(ReadFileBytes(Path("out/p.dvk")), "the previous package");

    // With --follow-links the link's file goes in, and the output names it.
    for (const std::vector<std::string>& input : {std::vector<std::string>{Path("link-tree")},
                                                  std::vector<std::string>{"--list", Path("link-list.txt")}}) {
        std::vector<std::string> args = {"pack", Path("linked.dvk"), "--title", "T", "--key", "K", "--follow-links"};
        args.insert(args.end(), input.begin(), input.end());
        DvkRun run = RunDvk(args);
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string shown = input.size() == 1 ? "id_rsa" : "link-tree/id_rsa";
        EXPECT_EQ(run.OutLines().front(), "'" + shown + "': a link, packed from '" + fs::canonical(Path("secret")).string() + "'");
        PatchPackage package;
        ASSERT_TRUE(package.Open(Path("linked.dvk")));
        EXPECT_EQ(EntryData(package, package.GetEntries().back()), "private key");
    }

    // The package may not be written into the folder being packed.
    ExpectRefused({"package inside the folder", {"--title", "T", "--key", "K", tree}, 1, "lies inside the folder"},
                  Path("tree/bin/p.dvk"), Path("tree/bin"), {"b.dll"});
    // Nor into a folder that does not exist.
    ExpectRefused({"no folder for the package", {"--title", "T", "--key", "K", tree}, 1, "cannot create"},
                  Path("out/none/p.dvk"), Path("out"), {"p.dvk"});
}

// The temporary file never goes through a link planted beside the package:
// not at the name the process number made predictable, not at the package's
// own name (replaced by the new file, not followed).
TEST_F(DvkPackTest, TheTemporaryFileIsNewAndUnguessable) {
    struct Case {
        const char* why;
        std::string planted;  // a link to victim.txt at this name beside out/p.dvk
    };
    for (const Case& c : {Case{"the pid's name", "p.dvk.part" + std::to_string(getpid())},
                          Case{"the package's name", "p.dvk"}}) {
        TempDir each;
        fs::create_directories(each.File("out"));
        WriteFileBytes(each.File("victim.txt"), "victim");
        ASSERT_EQ(symlink(each.File("victim.txt").c_str(), each.File("out/" + c.planted).c_str()), 0);
        AtomicFile file(fs::path(each.File("out/p.dvk")));
        AtomicFile other(fs::path(each.File("out/p.dvk")));
        std::string error;
        ASSERT_TRUE(file.Create(error) && other.Create(error)) << c.why << ": " << error;
        EXPECT_NE(file.TempPath(), other.TempPath()) << c.why;
        file.Stream() << "package";
        ASSERT_TRUE(file.Commit(error)) << c.why << ": " << error;
        EXPECT_EQ(ReadFileBytes(each.File("victim.txt")), "victim") << c.why;
        EXPECT_FALSE(fs::is_symlink(each.File("out/p.dvk"))) << c.why;
        EXPECT_EQ(ReadFileBytes(each.File("out/p.dvk")), "package") << c.why;
    }
}

TEST_F(DvkPackTest, HelpDescribesEveryCommand) {
    DvkRun top = RunDvk({"--help"});
    EXPECT_EQ(top.status, 0);
    for (const char* command : {"pack", "info", "verify", "extract"}) {
        EXPECT_NE(top.out.find(std::string("  ") + command + " "), std::string::npos) << command;
        DvkRun run = RunDvk({command, "--help"});
        EXPECT_EQ(run.status, 0) << command;
        EXPECT_EQ(run.out.rfind(std::string("Usage: dvk ") + command + " ", 0), 0u) << command << ": " << run.out;
        EXPECT_EQ(run.err, "");
    }
    DvkRun none = RunDvk({});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("Usage: dvk COMMAND"), std::string::npos);
    DvkRun unknown = RunDvk({"unpack"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "dvk: unknown command 'unpack' (see dvk --help)\n");
}

}  // namespace
