// Which alternative of an entry the installed file gets, and how the Test
// stage reads an installed file.
#include <gtest/gtest.h>

#include <optional>

#include "engine/Crypto.h"
#include "engine/InstalledFileHash.h"
#include "engine/PatchChoice.h"
#include "tests/support/TestFiles.h"

#ifndef _WIN32
#include <unistd.h>
#else
#include <windows.h>
#endif

namespace {

EntryDigest Digest(std::uint8_t first) {
    EntryDigest digest{};
    digest[0] = first;
    return digest;
}

TEST(PatchChoiceTest, ThePatchOfTheInstalledBytesElseTheWholeCopyElseNothing) {
    const PatchBase a{100, Digest(1)};
    const PatchBase b{200, Digest(2)};
    const PatchBase aAgain{100, Digest(1)};
    const std::optional<InstalledFile> absent;
    const std::optional<InstalledFile> atA = InstalledFile{100, Digest(1)};
    const std::optional<InstalledFile> atB = InstalledFile{200, Digest(2)};
    const std::optional<InstalledFile> modified = InstalledFile{100, Digest(9)};
    const std::optional<InstalledFile> sizeOfA = InstalledFile{101, Digest(1)};  // same hash, other size
    const AlternativeChoice patch0{AlternativeKind::kPatch, 0};
    const AlternativeChoice patch1{AlternativeKind::kPatch, 1};
    const AlternativeChoice whole{AlternativeKind::kWholeCopy, 0};
    const AlternativeChoice wrong{AlternativeKind::kWrongBase, 0};
    const AlternativeChoice missing{AlternativeKind::kTargetMissing, 0};
    const struct {
        const char* name;
        std::optional<InstalledFile> installed;
        EntryAlternatives alternatives;
        AlternativeChoice expected;
    } cases[] = {
        {"the one base", atA, {{a}, false}, patch0},
        {"the second of two bases", atB, {{a, b}, false}, patch1},
        {"a base before the whole copy", atB, {{a, b}, true}, patch1},
        {"the first of two equal bases", atA, {{a, aAgain}, false}, patch0},
        {"a modified file, whole copy", modified, {{a, b}, true}, whole},
        {"a modified file, patches only", modified, {{a, b}, false}, wrong},
        {"the hash of a base but not its size", sizeOfA, {{a}, false}, wrong},
        {"absent, patches only", absent, {{a}, false}, missing},
        {"absent, whole copy", absent, {{a}, true}, whole},
        {"whole copy only", atA, {{}, true}, whole},
    };
    for (const auto& c : cases) {
        const AlternativeChoice choice = ChooseAlternative(c.installed, c.alternatives);
        EXPECT_TRUE(choice == c.expected) << c.name;
    }
}

EntryDigest HashOf(const std::string& bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return *hash.Finish();
}

TEST(PatchChoiceTest, TheTestStageHashesWhatIsInstalled) {
    TempDir dir;
    const std::string big = PatternData((std::size_t{3} << 20) + 17, 11);  // more than one slice
    ASSERT_TRUE(WriteFileBytes(dir.File("big.dll"), big));
    ASSERT_TRUE(WriteFileBytes(dir.File("empty.txt"), ""));
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    const struct {
        const char* name;
        std::optional<std::string> bytes;  // nothing: no hash expected
    } cases[] = {
        {"big.dll", big},
        {"empty.txt", std::string()},
        {"absent.dll", std::nullopt},
        {"", std::nullopt},  // the folder itself
    };
    for (const auto& c : cases) {
        const std::optional<InstalledFile> installed = HashInstalledFile(*files, dir.File(c.name));
        ASSERT_EQ(installed.has_value(), c.bytes.has_value()) << c.name;
        if (!installed) continue;
        EXPECT_EQ(installed->size, c.bytes->size()) << c.name;
        EXPECT_TRUE(installed->hash == HashOf(*c.bytes)) << c.name;
    }
}

#ifndef _WIN32
TEST(PatchChoiceTest, ALinkAtTheTargetIsNoBase) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("real.dll"), "bytes"));
    ASSERT_EQ(::symlink(dir.File("real.dll").c_str(), dir.File("link.dll").c_str()), 0);
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    EXPECT_FALSE(HashInstalledFile(*files, dir.File("link.dll")).has_value());
    EXPECT_TRUE(HashInstalledFile(*files, dir.File("real.dll")).has_value());
}
#else
// While a base is mapped nobody can write, truncate, rename or delete it.
TEST(PatchChoiceTest, AMappedBaseCannotBeChanged) {
    TempDir dir;
    const std::string path = dir.File("base.dll");
    ASSERT_TRUE(WriteFileBytes(path, "the base"));
    std::unique_ptr<MappedFile> view = MapFileForReading(path);
    ASSERT_TRUE(view);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(view->Data()), view->Size()), "the base");
    const struct {
        const char* name;
        DWORD access;
    } cases[] = {{"write", GENERIC_WRITE}, {"delete or rename", DELETE}};
    for (const auto& c : cases) {
        HANDLE handle = CreateFileA(path.c_str(), c.access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(handle, INVALID_HANDLE_VALUE) << c.name;
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    EXPECT_FALSE(MoveFileA(path.c_str(), dir.File("moved.dll").c_str()));
    view.reset();
    EXPECT_TRUE(MoveFileA(path.c_str(), dir.File("moved.dll").c_str()));
}
#endif

}  // namespace
