// The Windows side of the engine under the real registry and the real file
// replacement calls (run under Wine by the Windows build's tests).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/RunLog.h"
#include "engine/ApplyEngine.h"
#include "engine/JournalFolder.h"
#include "engine/FolderOverlap.h"
#include "engine/MessageStrings.h"
#include "engine/platform/win32/Win32RegistryLookup.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/TestFiles.h"
#include "ui/dialog/WorkerThread.h"
#include "win32/CngHandles.h"
#include "win32/Handles.h"
#include "win32/UniqueProcessInformation.h"

namespace {

// A key of its own below HKEY_LOCAL_MACHINE\Software, removed afterwards.
// Every change opens the key anew: a handle kept across a test that starts
// Unix tools under Wine was seen to go stale.
class ScratchKey {
public:
    explicit ScratchKey(const std::string& name)
        : path_("Software\\DravlekTests\\" + name + std::to_string(GetCurrentProcessId())) {}
    ~ScratchKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str()); }
    const std::string& Path() const { return path_; }
    bool SetPath(DWORD type, const void* data, DWORD size) {
        return SetValue("Path", type, std::string(static_cast<const char*>(data), size));
    }
    void DeletePath() { DeleteValue("Path"); }
    bool SetValue(const char* name, DWORD type, const std::string& bytes) {
        UniqueRegistryKey key = Open();
        return key && RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                     static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    }
    void DeleteValue(const char* name) {
        UniqueRegistryKey key = Open();
        if (key) RegDeleteValueA(key.Get(), name);
    }

private:
    UniqueRegistryKey Open() const {
        UniqueRegistryKey key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
        return key;
    }

    std::string path_;
};

TEST(Win32RegistryLookupTest, ReadsOnlyStringPathsAndOnlyTheBytesReturned) {
    ScratchKey key("Lookup");
    Win32RegistryLookup lookup;
    struct Case {
        const char* why;
        DWORD type;
        std::string bytes;
        bool installed;
        std::string root;
    };
    const Case cases[] = {
        {"plain string", REG_SZ, std::string("C:\\Prog\0", 8), true, "C:\\Prog"},
        {"expandable string, expanded", REG_EXPAND_SZ, std::string("%ProgramFiles%\\X\0", 17), true,
         "C:\\Program Files\\X"},
        {"a reference in a plain string", REG_SZ, std::string("%SystemDrive%\\X\0", 16), false, ""},
        {"network share", REG_SZ, std::string("\\\\server\\share\\X\0", 17), true, "\\\\server\\share\\X"},
        {"relative", REG_SZ, std::string("Prog\\X\0", 7), false, ""},
        {"a bare backslash", REG_SZ, std::string("\\\0", 2), false, ""},
        {"a drive without its backslash", REG_SZ, std::string("C:\0", 3), false, ""},
        {"no terminating NUL", REG_SZ, "C:\\NoNul", true, "C:\\NoNul"},
        {"text after a NUL", REG_SZ, std::string("C:\\A\0junk\0", 10), true, "C:\\A"},
        {"accented root", REG_SZ, std::string("C:\\\xC9" "diteur\0", 11), true, "C:\\\xC9" "diteur"},
        {"empty string", REG_SZ, std::string("\0", 1), false, ""},
        {"zero bytes", REG_SZ, "", false, ""},
        {"a number", REG_DWORD, std::string("\x01\x00\x00\x00", 4), false, ""},
        {"binary", REG_BINARY, "C:\\Bin", false, ""},
        {"multi-string", REG_MULTI_SZ, std::string("C:\\M\0\0", 6), false, ""},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(key.SetPath(c.type, c.bytes.data(), static_cast<DWORD>(c.bytes.size()))) << c.why;
        std::optional<std::string> root = lookup.FindInstallRoot(key.Path());
        EXPECT_EQ(root.has_value(), c.installed) << c.why;
        if (root) {
            EXPECT_EQ(*root, c.root) << c.why;
        }
    }
    key.DeletePath();
    EXPECT_FALSE(lookup.FindInstallRoot(key.Path())) << "no Path value";
    EXPECT_FALSE(lookup.FindInstallRoot(key.Path() + "\\Missing")) << "no key";
}

TEST(Win32RegistryLookupTest, FindsAKeyWrittenByRegAddInEitherView) {
    // The product's installer may write through either registry view; the
    // command-line tool stands in for it.
    for (const char* view : {"", " /reg:64"}) {
        std::string key = "Software\\DravlekTests\\RegAdd" + std::to_string(GetCurrentProcessId());
        std::string command = "reg add \"HKLM\\" + key + "\" /v Path /t REG_SZ /d \"C:\\Installed\" /f" + view +
                              " >nul 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Win32RegistryLookup lookup;
        std::optional<std::string> root = lookup.FindInstallRoot(key);
        ASSERT_TRUE(root.has_value()) << view;
        EXPECT_EQ(*root, "C:\\Installed") << view;
        std::system(("reg delete \"HKLM\\" + key + "\" /f" + view + " >nul 2>&1").c_str());
        EXPECT_FALSE(lookup.FindInstallRoot(key)) << "deleted" << view;
    }
}

TEST(Win32RegistryLookupTest, ReadsPublicKeyStringsBesidePath) {
    ScratchKey key("Keys");
    std::string path("C:\\Prog\0", 8);
    ASSERT_TRUE(key.SetValue("Path", REG_SZ, path));
    Win32RegistryLookup lookup;
    using Keys = std::optional<std::vector<std::string>>;
    struct Case {
        const char* why;
        DWORD type;
        std::string bytes;
        Keys keys;
    };
    const Case cases[] = {
        {"string", REG_SZ, std::string("k1\0", 3), Keys({"k1"})},
        {"string without NUL", REG_SZ, "k1", Keys({"k1"})},
        {"text after a NUL", REG_SZ, std::string("k1\0k2\0", 6), Keys({"k1"})},
        {"multi-string", REG_MULTI_SZ, std::string("k1\0k2\0\0", 7), Keys({"k1", "k2"})},
        {"empty multi-string", REG_MULTI_SZ, std::string("\0\0", 2), Keys(std::vector<std::string>())},
        {"a number: trusts nothing", REG_DWORD, std::string("\x01\x00\x00\x00", 4), Keys(std::vector<std::string>())},
        {"binary: trusts nothing", REG_BINARY, kKeyA, Keys(std::vector<std::string>())},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(key.SetValue("PublicKey", c.type, c.bytes)) << c.why;
        EXPECT_EQ(lookup.FindTrustedKeys(key.Path()), c.keys) << c.why;
    }
    key.DeleteValue("PublicKey");
    EXPECT_EQ(lookup.FindTrustedKeys(key.Path()), std::nullopt) << "no PublicKey value";
    ASSERT_TRUE(key.SetValue("PublicKey", REG_SZ, kKeyA));
    ASSERT_TRUE(key.SetValue("Path", REG_SZ, std::string("Prog\0", 5)));
    EXPECT_EQ(lookup.FindTrustedKeys(key.Path()), std::nullopt) << "read only where the Path is usable";
}

TEST(Win32RegistryLookupTest, ThePolicyIsSetByAnyValueButTheNumberZero) {
    ScratchKey policy("Policy");
    Win32RegistryLookup lookup({0, KEY_WOW64_64KEY}, policy.Path(), policy.Path() + "\\None");
    EXPECT_FALSE(lookup.RequiresSignedPackages()) << "no value";
    const struct {
        const char* why;
        DWORD type;
        std::string bytes;
        bool set;
    } cases[] = {
        {"1", REG_DWORD, std::string("\x01\0\0\0", 4), true}, {"0", REG_DWORD, std::string(4, '\0'), false},
        {"2", REG_DWORD, std::string("\x02\0\0\0", 4), true}, {"the text 0", REG_SZ, std::string("0\0", 2), true},
        {"a 64-bit 0", REG_QWORD, std::string(8, '\0'), true},   {"no bytes", REG_DWORD, "", true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(policy.SetValue("RequireSignedPackages", c.type, c.bytes)) << c.why;
        EXPECT_EQ(lookup.RequiresSignedPackages(), c.set) << c.why;
    }
    EXPECT_FALSE(Win32RegistryLookup({0}, policy.Path() + "\\Missing").RequiresSignedPackages()) << "no key";
}

// Runs a Unix tool under Wine (which starts Unix programs) in folder, and
// waits until done() says it has done its work; false when it cannot run
// (on Windows) or does not get done.
template <typename Done>
bool RunWineTool(const std::string& folder, const std::string& command, Done done) {
    const std::size_t space = command.find(' ');
    ChildProcess tool;
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") ||
        !tool.Start("Z:\\bin\\" + command.substr(0, space), space == std::string::npos ? "" : command.substr(space + 1),
                    folder)) {
        return false;
    }
    // The handle does not tell when the tool ends: what it did does. The
    // bound only keeps a tool that never gets done from hanging the test.
    for (int wait = 0; wait < 3000 && !done(); ++wait) Sleep(20);
    return done();
}

// A Unix symbolic link made by ln under Wine (its CreateSymbolicLinkA makes
// nothing). Wine shows a link to a folder as a reparse point, one to a file
// as a plain file. target: relative to folder.
bool MakeWineLink(const std::string& folder, const std::string& name, const std::string& target) {
    return RunWineTool(folder, "ln -s " + target + " " + name, [&] {
        return GetFileAttributesA((folder + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    });
}

class Win32ApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.File("install");
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), nullptr));
        std::string rootValue = root_ + std::string(1, '\0');
        ASSERT_TRUE(key_.SetPath(REG_SZ, rootValue.data(), static_cast<DWORD>(rootValue.size())));
    }
    std::string Target(const std::string& name) { return root_ + "\\" + name; }
    // Applies with the platform's own lookup and files: the registry and Win32 calls.
    bool Apply(const std::vector<PackageContent>& entries) {
        EXPECT_TRUE(WriteAndOpenPackage(package_, dir_.File("u.dvk"), key_.Path(), entries));
        return ApplyPackage(package_, sink_) == ApplyResult::kApplied;
    }

    TempDir dir_;
    ScratchKey key_{"Apply"};
    std::string root_;
    PatchPackage package_;
    RecordingSink sink_;
};

TEST_F(Win32ApplyTest, AppliesThroughTheRegistryAndReplacesFilesInPlace) {
    ASSERT_TRUE(WriteFileBytes(Target("a.dll"), "old a"));
    ASSERT_TRUE(CreateDirectoryA(Target("sub").c_str(), nullptr));
    EXPECT_TRUE(Apply({{kRequiredFlag, "s", "a.dll", "new a"}, {0, "s", "sub\\b.txt", PatternData(5000)}}));
    EXPECT_EQ(sink_.lines.back(), LoadMessageString(IDS_UPDATE_COMPLETE));
    EXPECT_EQ(ReadFileBytes(Target("a.dll")), "new a");
    EXPECT_EQ(ReadFileBytes(Target("sub\\b.txt")), PatternData(5000));
    EXPECT_EQ(SnapshotTree(root_).size(), 3u) << "no staging or backup file is left";
}

TEST_F(Win32ApplyTest, NoFileIsWrittenThroughALinkBelowTheRoot) {
    const std::string outside = dir_.File("outside");
    ASSERT_TRUE(CreateDirectoryA(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(Target("sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(outside + "\\system.dll", "the system's"));
    if (!MakeWineLink(root_, "plugins", "../outside")) GTEST_SKIP() << "links are made under Wine only";
    ASSERT_TRUE(MakeWineLink(Target("sub"), "deep", "../../outside"));
    ASSERT_TRUE(MakeWineLink(root_, "tool.dll", "../outside/system.dll"));
    ASSERT_TRUE(MakeWineLink(dir_.Path(), "root-link", "install"));
    const auto outsideBefore = SnapshotTree(outside);
    const struct {
        const char* target;  // refused, except the last
        const char* why;
    } cases[] = {{"plugins\\system.dll", "a folder link"}, {"sub\\deep\\system.dll", "a link deeper down"},
                 {"tool.dll", "a target that is a link"}, {"sub\\x.dll", "a real folder"}};
    for (const auto& c : cases) {
        for (const std::string& root : {root_, dir_.File("root-link")}) {  // the root may be reached by a link
            std::string value = root + std::string(1, '\0');
            ASSERT_TRUE(key_.SetPath(REG_SZ, value.data(), static_cast<DWORD>(value.size())));
            sink_.lines.clear();
            package_.Close();
            const bool refused = &c != &cases[3];
            EXPECT_EQ(Apply({{0, "s", "new.txt", "n"}, {0, "s", c.target, "x"}}), !refused) << c.why << " " << root;
            EXPECT_EQ(SnapshotTree(outside), outsideBefore) << c.why << " " << root;
            if (!refused) continue;
            EXPECT_EQ(sink_.lines.back(), LoadMessageString(IDS_WRITE_FAILED) + " " + c.target) << c.why;
            EXPECT_FALSE(ReadFileBytes(Target("new.txt")) == "n") << c.why << ": nothing changes";
        }
    }
}

// While the commit or an undo holds the folders of its targets, the files
// in them still change as the update needs, and on Windows no other program
// can rename one of them (to put a link in its place). Wine lets a held
// folder be renamed: there the check before each step stands alone.
TEST_F(Win32ApplyTest, HeldFoldersKeepTheirPlaceWhileTheirFilesChange) {
    ASSERT_TRUE(CreateDirectoryA(Target("sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(Target("sub\\deep").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(Target("sub\\deep\\a.dll"), "old a"));
    ASSERT_TRUE(WriteFileBytes(Target("sub\\deep\\a.dll.new"), "new a"));
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem();
    {
        const std::unique_ptr<FolderHold> hold = files->HoldFolders(root_, {Target("sub\\deep\\a.dll")});
        ASSERT_NE(hold, nullptr);
        EXPECT_TRUE(files->ReplaceKeepingBackup(Target("sub\\deep\\a.dll.new"), Target("sub\\deep\\a.dll"),
                                                Target("sub\\deep\\a.dll.old")));
        EXPECT_TRUE(files->Remove(Target("sub\\deep\\a.dll.old")));
        if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
            for (const char* folder : {"sub", "sub\\deep"}) {
                EXPECT_FALSE(MoveFileExA(Target(folder).c_str(), Target("moved").c_str(), 0)) << folder;
            }
        }
    }
    EXPECT_EQ(ReadFileBytes(Target("sub\\deep\\a.dll")), "new a");
    EXPECT_TRUE(MoveFileExA(Target("sub").c_str(), Target("moved").c_str(), 0)) << "released with the hold";
}

// Wine makes no junctions and shows one registry view in a 32-bit prefix: a
// Unix link stands for the junction, and both views are the same key.
TEST_F(Win32ApplyTest, AProtectedFolderIsFoundThroughALinkFromEveryValueThatNamesIt) {
    if (!MakeWineLink(dir_.Path(), "linked", "install")) GTEST_SKIP() << "links are made under Wine only";
    // The link goes first: a link left to a removed folder sends the C
    // run-time's remove_all round for ever under Wine.
    struct LinkRemover {
        std::string path;
        ~LinkRemover() { RemoveDirectoryA(path.c_str()); }
    } remover{dir_.File("linked")};
    ScratchKey list("SignedProducts"), keyed("Keyed"), unkeyed("Unkeyed");
    ASSERT_TRUE(keyed.SetValue("Path", REG_SZ, dir_.File("linked")) && keyed.SetValue("PublicKey", REG_SZ, "x"));
    ASSERT_TRUE(unkeyed.SetValue("Path", REG_SZ, root_));
    Win32RegistryLookup lookup({0, KEY_WOW64_64KEY}, list.Path() + "\\NoPolicy", list.Path());
    const std::string root = lookup.ResolveRoot(root_);
    const struct {
        const char* why;
        DWORD type;
        std::string value;
        bool protectsRoot;
    } cases[] = {
        {"REG_SZ naming the keyed product", REG_SZ, keyed.Path(), true},
        {"REG_MULTI_SZ, the keyed product second", REG_MULTI_SZ, unkeyed.Path() + '\0' + keyed.Path() + '\0', true},
        {"a product without PublicKey", REG_SZ, unkeyed.Path(), false},
        {"a number names nothing", REG_DWORD, std::string("\x01\0\0\0", 4), false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(list.SetValue("Maker", c.type, c.value)) << c.why;
        bool overlaps = false;
        for (const std::string& folder : lookup.FindProtectedRoots()) overlaps = overlaps || FoldersOverlap(root, folder);
        EXPECT_EQ(overlaps, c.protectsRoot) << c.why;
    }
    EXPECT_EQ(FolderCompareKey(lookup.ResolveRoot(dir_.File("linked"))), FolderCompareKey(root)) << "link followed";
    EXPECT_EQ(FolderCompareKey(lookup.ResolveRoot(dir_.File("linked") + "\\not\\yet")),
              FolderCompareKey(root + "\\not\\yet"))
        << "below the deepest folder that exists, as written";
    EXPECT_NE(FolderCompareKey(root), FolderCompareKey(dir_.File("linked"))) << "the link is not its target's name";
}

TEST_F(Win32ApplyTest, AReplacedFileKeepsItsHiddenMark) {
    ASSERT_TRUE(WriteFileBytes(Target("hidden.dat"), "old"));
    ASSERT_TRUE(SetFileAttributesA(Target("hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(Apply({{0, "s", "hidden.dat", "new"}}));
    EXPECT_EQ(ReadFileBytes(Target("hidden.dat")), "new");
    EXPECT_NE(GetFileAttributesA(Target("hidden.dat").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

TEST_F(Win32ApplyTest, AReadOnlyTargetStopsTheUpdateAndNothingChanges) {
    ASSERT_TRUE(WriteFileBytes(Target("a.txt"), "old a"));
    ASSERT_TRUE(WriteFileBytes(Target("locked.dll"), "read-only"));
    ASSERT_TRUE(SetFileAttributesA(Target("locked.dll").c_str(), FILE_ATTRIBUTE_READONLY));
    const auto before = SnapshotTree(root_);
    EXPECT_FALSE(Apply({{0, "s", "a.txt", "new a"}, {0, "s", "locked.dll", "new"}}));
    EXPECT_EQ(sink_.lines.back(), LoadMessageString(IDS_WRITE_FAILED) + " locked.dll");
    EXPECT_EQ(SnapshotTree(root_), before);
    EXPECT_NE(GetFileAttributesA(Target("locked.dll").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    SetFileAttributesA(Target("locked.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32ApplyTest, NobodyWritesToAPackageWhileItIsOpen) {
    ASSERT_TRUE(WriteFileBytes(dir_.File("open.dvk"), ExamplePackageBytes()));
    ASSERT_TRUE(package_.Open(dir_.File("open.dvk")));
    UniqueFileHandle writer(CreateFileA(dir_.File("open.dvk").c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_EQ(writer.Get(), INVALID_HANDLE_VALUE) << "a writer got in while the package was open";
    package_.Close();
}

// Held open by another program without delete sharing, as a running program
// holds its own executable.
UniqueFileHandle HoldOpen(const std::string& path) {
    return UniqueFileHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

TEST_F(Win32ApplyTest, ATargetHeldOpenStopsTheUpdateAndNothingChanges) {
    ASSERT_TRUE(WriteFileBytes(Target("first.txt"), "first"));
    ASSERT_TRUE(WriteFileBytes(Target("busy.exe"), "running"));
    const auto before = SnapshotTree(root_);
    UniqueFileHandle busy = HoldOpen(Target("busy.exe"));
    ASSERT_TRUE(busy);
    EXPECT_FALSE(Apply({{0, "s", "first.txt", "changed"}, {0, "s", "new.txt", "n"}, {0, "s", "busy.exe", "new"}}));
    busy.Reset();
    EXPECT_EQ(sink_.lines.back(), LoadMessageString(IDS_WRITE_FAILED) + " busy.exe");
    EXPECT_EQ(SnapshotTree(root_), before);
}

TEST_F(Win32ApplyTest, ATargetReleasedWithinAMomentIsReplaced) {
    ASSERT_TRUE(WriteFileBytes(Target("busy.exe"), "running"));
    UniqueFileHandle busy = HoldOpen(Target("busy.exe"));
    ASSERT_TRUE(busy);
    // The other program lets the file go while the update waits after its
    // first refused attempt.
    int pauses = 0;
    std::unique_ptr<TargetFileSystem> files = CreateSystemTargetFileSystem([&] {
        ++pauses;
        busy.Reset();
    });
    std::unique_ptr<InstallRootLookup> lookup = CreateSystemInstallRootLookup();
    std::vector<std::string> notes;
    std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
    ASSERT_TRUE(journals);
    ASSERT_TRUE(WriteAndOpenPackage(package_, dir_.File("u.dvk"), key_.Path(), {{0, "s", "busy.exe", "new"}}));
    EXPECT_EQ(ApplyPackage(package_, sink_, *lookup, *files, *journals), ApplyResult::kApplied);
    EXPECT_GE(pauses, 1) << "the first attempt met the held file";
    EXPECT_EQ(ReadFileBytes(Target("busy.exe")), "new");
}

// The owner and DACL of a file as a security descriptor string; "" when
// they cannot be read.
std::string OwnerAndDacl(const std::string& path) {
    UniqueLocalMemory descriptor;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, descriptor.Put()) != ERROR_SUCCESS) {
        return "";
    }
    char* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor.Get(), SDDL_REVISION_1,
                                                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                                              &text, nullptr)) {
        return "";
    }
    UniqueLocalMemory textOwner(text);
    return text;
}

bool SetOwnerAndDacl(const std::string& path, const char* sddl) {
    UniqueLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, descriptor.Put(), nullptr)) {
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor.Get(), &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted);
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    if (owner) what |= OWNER_SECURITY_INFORMATION;
    DWORD error = SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, what, owner, nullptr, dacl,
                                        nullptr);
    return error == ERROR_SUCCESS;
}

TEST_F(Win32ApplyTest, AReplacedFileKeepsTheOldFilesOwnerAndPermissions) {
    struct Case {
        const char* why;
        const char* sddl;
    };
    const Case cases[] = {
        {"as created: inherited from the folder", ""},
        {"administrators only", "D:P(A;;FA;;;BA)"},
        {"everyone may read, administrators write", "D:P(A;;FA;;;BA)(A;;FR;;;WD)"},
        {"owned by the administrators group", "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)"},
        // Wine keeps a DACL only as Unix mode bits: this row is the one whose
        // loss shows there too (the others read back as a new file's would).
        {"everyone may change it", "D:P(A;;FA;;;BA)(A;;FA;;;WD)"},
    };
    for (const Case& c : cases) {
        std::string target = Target("secured.dll");
        ASSERT_TRUE(WriteFileBytes(target, "old")) << c.why;
        if (*c.sddl) {
            ASSERT_TRUE(SetOwnerAndDacl(target, c.sddl)) << c.why;
        }
        const std::string before = OwnerAndDacl(target);
        ASSERT_NE(before, "") << c.why;
        EXPECT_TRUE(Apply({{0, "s", "secured.dll", "new"}})) << c.why;
        EXPECT_EQ(ReadFileBytes(target), "new") << c.why;
        EXPECT_EQ(OwnerAndDacl(target), before) << c.why;
        package_.Close();
        SetOwnerAndDacl(target, "D:P(A;;FA;;;WD)");
        DeleteFileA(target.c_str());
    }
}

// A file below a path longer than MAX_PATH, reached the only way the system
// allows: the wide API with the "\\?\" prefix.
std::wstring LongForm(const std::string& path) {
    std::string backslashed = path;
    for (char& c : backslashed) if (c == '/') c = '\\';
    return L"\\\\?\\" + std::wstring(backslashed.begin(), backslashed.end());
}

bool WriteLongPathFile(const std::string& path, const std::string& bytes) {
    UniqueFileHandle file(CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    bool ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    return file.Reset() && ok;
}

std::string ReadLongPathFile(const std::string& path) {
    UniqueFileHandle file(
        CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "<missing>";
    std::string bytes(65536, '\0');
    DWORD read = 0;
    ReadFile(file.Get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

TEST_F(Win32ApplyTest, TargetsBeyondMaxPathAreReplacedAndCreated) {
    // About 300 characters with the target name, staging names longer still.
    std::string root = root_;
    std::vector<std::string> folders;
    while (root.size() < 270) {
        root += "\\" + std::string(40, 'd');
        folders.push_back(root);
        ASSERT_TRUE(CreateDirectoryW(LongForm(root).c_str(), nullptr)) << root.size();
    }
    std::string rootValue = root + std::string(1, '\0');
    ASSERT_TRUE(key_.SetPath(REG_SZ, rootValue.data(), static_cast<DWORD>(rootValue.size())));
    const std::string old = root + "\\existing-library.dll";
    const std::string added = root + "\\added-readme.txt";
    ASSERT_GT(old.size(), static_cast<std::size_t>(MAX_PATH));
    ASSERT_TRUE(WriteLongPathFile(old, "old"));

    EXPECT_TRUE(Apply({{kRequiredFlag, "s", "existing-library.dll", "new"}, {0, "s", "added-readme.txt", "added"}}));
    EXPECT_EQ(sink_.lines.back(), LoadMessageString(IDS_UPDATE_COMPLETE));
    EXPECT_EQ(ReadLongPathFile(old), "new");
    EXPECT_EQ(ReadLongPathFile(added), "added");

    DeleteFileW(LongForm(old).c_str());
    DeleteFileW(LongForm(added).c_str());
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
        EXPECT_TRUE(RemoveDirectoryW(LongForm(*folder).c_str())) << "nothing else was left in " << *folder;
    }
}

// The journal folder and journals under Wine, which has no owners, DACLs or
// junctions of Windows' kind (the rules for those are tested with the facts
// given, in JournalTrustTest): what Wine can make is a folder everyone may
// change (a DACL granting Everyone full control becomes mode 0777), a file,
// a Unix symbolic link and a second hard link. Wine opens the target of a
// link even when asked for the link itself, so a link cannot be renamed
// aside there; the program then leaves it and uses nothing behind it.
// Under Wine a held folder can still be renamed: the hold shows on Windows only.
class Win32JournalFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char base[MAX_PATH];
        ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base), S_OK);
        programData_ = base;
        dravlek_ = programData_ + "\\Dravlek";
        saved_ = programData_ + "\\saved-" + std::filesystem::path(dir_.Path()).filename().string();
        MoveFileA(dravlek_.c_str(), saved_.c_str());  // the other tests' folder, put back afterwards
        ASSERT_TRUE(CreateDirectoryA(outside_.c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(outside_ + "\\planted.journal", "do what I say"));
    }
    void TearDown() override {
        Clear();
        MoveFileA(saved_.c_str(), dravlek_.c_str());
    }
    // Removes Dravlek and all set aside beside it; rm follows no link.
    void Clear() {
        // Done once rm has finished and made the marker: a removal still
        // running could take away the folder the next case makes. Each
        // clearing has a marker of its own, so that one left behind by an
        // earlier one can never stand for it.
        const std::string name = "cleared-" + std::filesystem::path(dir_.Path()).filename().string() + "-" +
                                 std::to_string(++clearings_);
        const std::string marker = programData_ + "\\" + name;
        RunWineTool(programData_, "sh -c \"rm -rf Dravlek Dravlek.untrusted-*; : > " + name + "\"",
                    [&] { return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; });
        DeleteFileA(marker.c_str());
        EXPECT_EQ(GetFileAttributesA(dravlek_.c_str()), INVALID_FILE_ATTRIBUTES) << "cleared";
    }
    static std::string Unix(std::string path) {
        for (char& c : path) c = c == '\\' ? '/' : c;
        return path;
    }
    // The outside folder as ln sees it from ProgramData ("C:\users\..." is "../users/...").
    std::string Outside() { return ".." + Unix(outside_.substr(2)); }

    TempDir dir_;
    const std::string outside_ = dir_.Path() + "\\outside";
    std::string programData_, dravlek_, saved_;
    int clearings_ = 0;
};

TEST_F(Win32JournalFolderTest, WhatStandsInTheFoldersPlaceIsSetAsideOrNothingIsUsed) {
    const std::string lead = "Dossier des journaux mis de c\364t\351 (";
    const std::string unusable = "Dossier des journaux inutilisable (c'est un lien), impossible \340 mettre de c\364t\351 : ";
    const struct {
        const char* why;
        std::function<bool()> plant;
        std::string note;  // the first note, up to the new name
        bool usable;
    } cases[] = {
        {"nothing: the folder is made", [] { return true; }, "", true},
        {"a folder made before, nobody else may change it", [&] { return CreateDirectoryA(dravlek_.c_str(), nullptr); },
         "", true},
        {"a folder everyone may change",
         [&] { return CreateDirectoryA(dravlek_.c_str(), nullptr) && SetOwnerAndDacl(dravlek_, "D:P(A;OICI;FA;;;WD)"); },
         lead + "d'autres comptes peuvent le modifier) : " + dravlek_ + " -> " + dravlek_ + ".untrusted-", true},
        {"a file", [&] { return WriteFileBytes(dravlek_, "a file"); },
         lead + "ce n'est pas un dossier) : " + dravlek_ + " -> " + dravlek_ + ".untrusted-", true},
        {"a file in the place of Update",
         [&] { return CreateDirectoryA(dravlek_.c_str(), nullptr) && WriteFileBytes(dravlek_ + "\\Update", "a file"); },
         lead + "ce n'est pas un dossier) : " + dravlek_ + "\\Update -> " + dravlek_ + "\\Update.untrusted-", true},
        {"a link to a user's folder", [&] { return MakeWineLink(programData_, "Dravlek", Outside()); },
         unusable + dravlek_ + " (erreur 1921)", false},
        {"a link in the place of Update",
         [&] { return CreateDirectoryA(dravlek_.c_str(), nullptr) && MakeWineLink(dravlek_, "Update", "../" + Outside()); },
         unusable + dravlek_ + "\\Update (erreur 1921)", false},
    };
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "Wine's links only";
    for (const auto& c : cases) {
        Clear();
        ASSERT_TRUE(c.plant()) << c.why;
        const auto outsideBefore = SnapshotTree(outside_);
        std::vector<std::string> notes;
        std::unique_ptr<JournalFolder> journals = OpenSystemJournalFolder(notes);
        EXPECT_EQ(journals != nullptr, c.usable) << c.why;
        ASSERT_EQ(notes.size(), c.note.empty() ? 0u : 1u) << c.why;
        if (!c.note.empty()) {
            EXPECT_EQ(notes[0].substr(0, c.note.size()), c.note) << c.why;
        }
        if (journals) {
            EXPECT_TRUE(journals->List().empty()) << c.why;
            std::string name;
            EXPECT_TRUE(journals->Create(name)) << c.why;
            EXPECT_EQ(journals->List(), std::vector<std::string>{name}) << c.why;
            EXPECT_EQ(GetFileAttributesA((dravlek_ + "\\Update\\" + name).c_str()), FILE_ATTRIBUTE_ARCHIVE) << c.why;
        }
        journals.reset();
        EXPECT_EQ(SnapshotTree(outside_), outsideBefore) << c.why;
    }
}

TEST_F(Win32JournalFolderTest, APlantedJournalIsSetAsideOrLeftButNeverRead) {
    const std::string folder = dir_.Path() + "\\journals";
    const std::string journal = folder + "\\0001.journal";
    const std::string victim = outside_ + "\\planted.journal";
    const std::string aside = "Journal mis de c\364t\351, non suivi (";
    const std::string to = ") : " + journal + " -> 0001.journal.untrusted-";
    const struct {
        const char* why;
        std::function<bool()> plant;
        std::string note;
    } cases[] = {
        {"a second hard link", [&] { return CreateHardLinkA(journal.c_str(), victim.c_str(), nullptr) != 0; },
         aside + "il a plusieurs noms (liens physiques)" + to},
        {"everyone may rewrite it", [&] { return WriteFileBytes(journal, "x") && SetOwnerAndDacl(journal, "D:P(A;;FA;;;WD)"); },
         aside + "d'autres comptes peuvent le modifier" + to},
        {"a folder", [&] { return CreateDirectoryA(journal.c_str(), nullptr) != 0; }, aside + "ce n'est pas un fichier" + to},
        {"a symbolic link", [&] { return MakeWineLink(folder, "0001.journal", "../outside/planted.journal"); },
         "Journal non suivi (c'est un lien), impossible \340 mettre de c\364t\351 : " + journal + " (erreur 1921)"},
    };
    for (const auto& c : cases) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << c.why;
        if (!c.plant()) {
            EXPECT_STREQ(c.why, "a symbolic link") << "only links are Wine's alone";
            continue;
        }
        const auto outsideBefore = SnapshotTree(outside_);
        std::unique_ptr<JournalFolder> journals = OpenJournalFolder(folder);
        EXPECT_TRUE(journals->List().empty()) << c.why;
        std::string bytes;
        EXPECT_FALSE(journals->Read("0001.journal", bytes)) << c.why;
        std::vector<std::string> notes = journals->TakeNotes();
        ASSERT_GE(notes.size(), 1u) << c.why;
        EXPECT_EQ(notes[0].substr(0, c.note.size()), c.note) << c.why;
        journals.reset();
        EXPECT_EQ(SnapshotTree(outside_), outsideBefore) << c.why;
        if (c.note.rfind("Journal mis", 0) == 0) {
            EXPECT_EQ(GetFileAttributesA(journal.c_str()), INVALID_FILE_ATTRIBUTES) << c.why << ": renamed";
        }
    }
}

// The worker's last acts send to a window of the thread that waits for it
// (SetWindowText sends WM_SETTEXT, EnableWindow WM_ENABLE): Join answers
// them, or the two threads would wait for each other forever.
TEST(WorkerThreadTest, JoinAnswersWhatTheThreadSendsToTheWaitersWindows) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_DISABLED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    WorkerThread worker;
    ASSERT_TRUE(worker.Start(
        [](void* w) -> unsigned {
            SetWindowTextA(static_cast<HWND>(w), "fin");          // sends WM_SETTEXT
            return EnableWindow(static_cast<HWND>(w), TRUE) ? 0 : 1;  // sends WM_ENABLE
        },
        window));
    worker.Join();
    EXPECT_TRUE(IsWindowEnabled(window));
    DestroyWindow(window);
}

// Wine shows a Unix link to a file as a plain file that opens its target:
// where the handle leads tells it apart. A link to a folder is a reparse point.
TEST(Win32LogFileTest, ALinkAtTheLogsNameIsRefused) {
    for (const char* target : {"system.ini", "sub"}) {
        TempDir dir;
        ASSERT_TRUE(WriteFileBytes(dir.File("system.ini"), "[keep]"));
        ASSERT_TRUE(CreateDirectoryA(dir.File("sub").c_str(), nullptr));
        if (!MakeWineLink(dir.Path(), "u.log", target)) GTEST_SKIP() << "links are made under Wine only";
        RunLog log;
        EXPECT_FALSE(log.Open(dir.File("u.log"))) << target;
        EXPECT_EQ(ReadFileBytes(dir.File("system.ini")), "[keep]") << target;
        // The link first: the folder's removal would not come back with it there.
        EXPECT_TRUE(DeleteFileA(dir.File("u.log").c_str()) || RemoveDirectoryA(dir.File("u.log").c_str()));
    }
    TempDir dir;
    RunLog log;
    EXPECT_TRUE(log.Open(dir.File("u.log"))) << "a new file";
    EXPECT_TRUE(log.WriteLine("une ligne"));
}

LRESULT CALLBACK PassOn(int code, WPARAM wParam, LPARAM lParam) {
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

template <typename Owner>
void ExpectClosedWithTrue(const char* kind, Owner owner) {
    ASSERT_TRUE(owner) << kind << ": opened";
    EXPECT_TRUE(owner.Reset()) << kind << ": the close reads as a failure";
}

// Each kind's closer reads its own function's convention (a BOOL, an error
// code, null, an NTSTATUS): a real handle must close with true, or a closer
// read the wrong way round would fail every file the engine writes.
TEST(HandleOwnersTest, EachKindClosesARealHandleWithTrue) {
    TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("a.txt"), "a"));
    WIN32_FIND_DATAA found;
    UniqueRegistryKey key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, key.Put());
    UniqueAlgorithmHandle sha256 = OpenAlgorithmProvider(BCRYPT_SHA256_ALGORITHM);
    UniqueAlgorithmHandle ecdsa = OpenAlgorithmProvider(BCRYPT_ECDSA_P256_ALGORITHM);
    UniqueHashHandle hash;
    BCryptCreateHash(sha256.Get(), hash.Put(), nullptr, 0, nullptr, 0, 0);
    UniqueKeyHandle pair;
    BCryptGenerateKeyPair(ecdsa.Get(), pair.Put(), 256, 0);

    ExpectClosedWithTrue("event", UniqueKernelHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr)));
    ExpectClosedWithTrue("file", UniqueFileHandle(CreateFileA(dir.File("a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                              nullptr, OPEN_EXISTING, 0, nullptr)));
    ExpectClosedWithTrue("find", UniqueFindHandle(FindFirstFileA((dir.Path() + "\\*").c_str(), &found)));
    ExpectClosedWithTrue("registry key", std::move(key));
    ExpectClosedWithTrue("local memory", UniqueLocalMemory(LocalAlloc(LMEM_FIXED, 16)));
    ExpectClosedWithTrue("module", UniqueModule(LoadLibraryA("kernel32.dll")));
    ExpectClosedWithTrue("hook", UniqueHook(SetWindowsHookExA(WH_CALLWNDPROC, PassOn, nullptr, GetCurrentThreadId())));
    ExpectClosedWithTrue("CNG hash", std::move(hash));
    ExpectClosedWithTrue("CNG key", std::move(pair));
    ExpectClosedWithTrue("CNG algorithm", std::move(sha256));
}

}  // namespace
