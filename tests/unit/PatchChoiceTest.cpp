// Which alternative of an entry the installed file gets, and how the Test
// stage reads an installed file.
#include <gtest/gtest.h>

#include "engine/Crypto.h"
#include "engine/InstalledFileHash.h"
#include "tests/support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

TEST(PatchChoiceTest, ThePatchOfTheInstalledBytesElseTheWholeCopyElseNothing) {
    const PatchBase a{100, {1}}, b{200, {2}};
    const InstalledFile atA{100, {1}}, atB{200, {2}}, modified{100, {9}}, sizeOfA{101, {1}};
    const AlternativeKind patch = AlternativeKind::kPatch, whole = AlternativeKind::kWholeCopy,
                          wrong = AlternativeKind::kWrongBase, missing = AlternativeKind::kTargetMissing;
    const struct {
        const char* name;
        std::optional<InstalledFile> installed;
        EntryAlternatives alternatives;
        AlternativeChoice expected;
    } cases[] = {
        {"the one base", atA, {{a}, false}, {patch, 0}},
        {"the second of two bases", atB, {{a, b}, false}, {patch, 1}},
        {"a base before the whole copy", atB, {{a, b}, true}, {patch, 1}},
        {"a modified file, whole copy", modified, {{a, b}, true}, {whole}},
        {"a modified file, patches only", modified, {{a, b}, false}, {wrong}},
        {"the hash of a base but not its size", sizeOfA, {{a}, false}, {wrong}},
        {"absent, patches only", std::nullopt, {{a}, false}, {missing}},
        {"absent, whole copy", std::nullopt, {{a}, true}, {whole}},
    };
    for (const auto& c : cases) EXPECT_TRUE(ChooseAlternative(c.installed, c.alternatives) == c.expected) << c.name;
}

TEST(PatchChoiceTest, TheTestStageHashesWhatIsInstalledAndNothingElse) {
    TempDir dir;
    const std::string big = PatternData((std::size_t{3} << 20) + 17, 11);  // more than one slice
    ASSERT_TRUE(WriteFileBytes(dir.File("big.dll"), big) && WriteFileBytes(dir.File("empty.txt"), ""));
#ifndef _WIN32
    ASSERT_EQ(::symlink(dir.File("big.dll").c_str(), dir.File("link.dll").c_str()), 0);
#endif
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    const struct {
        const char* name;
        std::optional<std::string> bytes;  // nothing: no hash
    } cases[] = {{"big.dll", big}, {"empty.txt", ""}, {"absent.dll", std::nullopt}, {"", std::nullopt},
#ifndef _WIN32
                 {"link.dll", std::nullopt}
#endif
    };
    for (const auto& c : cases) {
        const std::optional<InstalledFile> installed = HashInstalledFile(*files, dir.File(c.name));
        ASSERT_EQ(installed.has_value(), c.bytes.has_value()) << c.name;
        if (!installed) continue;
        Sha256 hash;
        hash.Update(c.bytes->data(), c.bytes->size());
        EXPECT_EQ(installed->size, c.bytes->size()) << c.name;
        EXPECT_TRUE(installed->hash == *hash.Finish()) << c.name;
    }
}

#ifdef _WIN32
// While a base is mapped nobody can write, rename or delete it.
TEST(PatchChoiceTest, AMappedBaseCannotBeChanged) {
    TempDir dir;
    const std::string path = dir.File("base.dll");
    ASSERT_TRUE(WriteFileBytes(path, "the base"));
    std::unique_ptr<MappedFile> view = MapFileForReading(path);
    ASSERT_TRUE(view && std::string(reinterpret_cast<const char*>(view->Data()), view->Size()) == "the base");
    for (DWORD access : {DWORD{GENERIC_WRITE}, DWORD{DELETE}}) {
        HANDLE handle = CreateFileA(path.c_str(), access, 7, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(handle, INVALID_HANDLE_VALUE) << access;
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    EXPECT_FALSE(MoveFileA(path.c_str(), dir.File("moved.dll").c_str()));
    view.reset();
    EXPECT_TRUE(MoveFileA(path.c_str(), dir.File("moved.dll").c_str()));
}
#endif

}  // namespace
