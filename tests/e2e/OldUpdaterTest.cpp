// The updater as it was before .dvx packages (tests/fixtures/old-updater, built
// by scripts/build-old-updater.sh) meets them under Wine: a .dvx, the same
// bytes renamed .dvk, and names that NTFS's 8.3 aliases let "*.dvk" match. It
// must list none of them and, given one on its command line, write nothing.
//   old_updater_e2e.exe <old dravlek-update.exe> <status_hook.dll> <work>
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>

#include "package/PackageWriter.h"
#include "tests/support/UpdaterProcess.h"

namespace {

void AppendInt32(std::string& bytes, std::int32_t value) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
}

// A .dvx as far as an old reader can see: the .dvk-shaped prefix every .dvx
// begins with (a title for a person, an empty key, one entry whose record
// lies at offset -1), then the newer format with the product's real key and
// a compressed entry whose bytes must never reach the install root.
std::string NewerPackage() {
    std::string bytes = "Cette mise \xE0 jour n\xE9" "cessite une version plus r\xE9" "cente de Dravlek Update.";
    bytes += '\0';
    bytes += '\0';
    AppendInt32(bytes, 1);
    AppendInt32(bytes, -1);
    bytes += "DVX\x1A";
    AppendInt32(bytes, 1);
    bytes += "Correctif 3";
    bytes += '\0';
    bytes += "Software\\DravlekE2E\\Product";
    bytes += '\0';
    AppendInt32(bytes, 1);
    bytes += "a.dll";
    bytes += '\0';
    bytes += "\x28\xB5\x2F\xFD";  // a zstd frame's magic, then what an old reader would take for file bytes
    bytes += std::string(64, '\x5A');
    return bytes;
}

const std::map<std::string, std::string> kRoot = {{"a.dll", "old a"}, {"keep.txt", "old"}};

// Names the newer file is given; the content is always the .dvx above.
const char* const kNames[] = {"fix.dvx", "fix3.dvk", "x.dvkz", "x.dvk2", "x.dvk~"};

void Prepare(const std::string& root, const std::string& folder) {
    RemoveTree(root);
    RemoveTree(folder);
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const auto& [name, bytes] : kRoot) WriteFileBytes(root + "\\" + name, bytes);
    for (const char* name : kNames) WriteFileBytes(folder + "\\" + name, NewerPackage());
    // A package of its own format, so that an empty list cannot pass for a refusal.
    WriteFileBytes(folder + "\\own.dvk", BuildPackageBytes("Correctif 2", "Software\\DravlekE2E\\Product",
                                                           {{0, "b.txt", "b.txt", "new b"}}));
}


TEST(OldUpdaterTest, ListsOnlyItsOwnFormat) {
    const std::string root = E2ePaths().work + "\\root", folder = E2ePaths().work + "\\list";
    Prepare(root, folder);
    const auto folderBefore = ListTree(folder);
    {
        UpdaterProcess run({E2ePaths().updater, "", E2ePaths().work}, folder, E2ePaths().work + "\\status.log");
        ASSERT_TRUE(run.Ready()) << run.Problem();
        EXPECT_EQ(run.Rows(), std::vector<std::string>{"Correctif 2"});
        run.Click(run.Item(IDCANCEL));
        EXPECT_TRUE(run.WaitForExit());
    }
    EXPECT_EQ(ListTree(root), kRoot);
    EXPECT_EQ(ListTree(folder), folderBefore);
}

struct CommandLineCase {
    const char* mode;
    const char* name;
};

const CommandLineCase kCommandLineCases[] = {
    {"/quiet", "fix.dvx"}, {"/quiet", "fix3.dvk"}, {"/quiet", "x.dvkz"},  {"/quiet", "x.dvk2"},
    {"/quiet", "x.dvk~"},  {"/passive", "fix3.dvk"}, {"/passive", "fix.dvx"},
};

TEST(OldUpdaterTest, RefusesTheNewerFormatOnItsCommandLine) {
    const std::string root = E2ePaths().work + "\\root", folder = E2ePaths().work + "\\command-line";
    for (const CommandLineCase& c : kCommandLineCases) {
        Prepare(root, folder);
        const auto folderBefore = ListTree(folder);
        const std::string arguments = std::string(c.mode) + " " + c.name;
        EXPECT_EQ(RunUntilExit(E2ePaths().updater, arguments, folder), 1619u) << arguments;
        EXPECT_EQ(ListTree(root), kRoot) << arguments;
        EXPECT_EQ(ListTree(folder), folderBefore) << arguments;
    }
}

}  // namespace
