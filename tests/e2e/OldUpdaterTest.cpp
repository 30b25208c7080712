// The updater as it was before .dvx packages (tests/fixtures/old-updater, built
// by scripts/build-old-updater.sh) meets them under Wine: a .dvx, the same
// bytes renamed .dvk, and names "*.dvk" may match too (through 8.3 aliases on
// NTFS; Wine lists some of them as well). It must list none of them and,
// given one on its command line, write nothing.
//   old_updater_e2e.exe [<old dravlek-update.exe> <status_hook.dll> <work>]
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "engine/Crypto.h"
#include "package/DvxWriter.h"
#include "package/PackageWriter.h"
#include "tests/support/UpdaterProcess.h"

namespace {

EntryDigest DigestOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish().value_or(EntryDigest{});
}

// A .dvx the newer updater applies: a.dll from a zstd frame, b.txt stored,
// keep.txt deleted. What an old reader sees of it is the prefix every .dvx
// begins with: a title for a person, an empty key, one entry whose record
// lies at offset -1.
std::string NewerPackage() {
    const std::string frame("\x28\xB5\x2F\xFD\x24\x05\x29\x00\x00" "new a" "\x8C\xB2\x4A\x9B", 18);
    return BuildDvxBytes("Correctif 3", "Software\\DravlekE2E\\Product",
                         {{EntryKind::kZstd, kRequiredFlag, "a.dll", frame, 5, DigestOf("new a")},
                          {EntryKind::kStored, 0, "b.txt", "new b", 5, DigestOf("new b")},
                          {EntryKind::kDelete, 0, "keep.txt", "", 0, EntryDigest{}}});
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
    const std::string newer = NewerPackage();
    ASSERT_FALSE(newer.empty());
    for (const char* name : kNames) WriteFileBytes(folder + "\\" + name, newer);
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
