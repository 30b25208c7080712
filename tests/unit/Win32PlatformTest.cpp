// The Windows side of the engine under the real registry and the real file
// replacement calls (run under Wine by the Windows build's tests).
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "app/RunLog.h"
#include "engine/ApplyEngine.h"
#include "engine/MessageStrings.h"
#include "engine/platform/win32/UniqueHandle.h"
#include "engine/platform/win32/Win32RegistryLookup.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/SignedExamples.h"
#include "tests/support/TestFiles.h"

namespace {

// A key of its own below HKEY_LOCAL_MACHINE\Software, removed afterwards.
class ScratchKey {
public:
    explicit ScratchKey(const std::string& name)
        : path_("Software\\DravlekTests\\" + name + std::to_string(GetCurrentProcessId())) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Put(),
                        nullptr);
    }
    ~ScratchKey() {
        key_.Reset();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    const std::string& Path() const { return path_; }
    bool SetPath(DWORD type, const void* data, DWORD size) {
        return RegSetValueExA(key_.Get(), "Path", 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    }
    void DeletePath() { RegDeleteValueA(key_.Get(), "Path"); }
    bool SetValue(const char* name, DWORD type, const std::string& bytes) {
        return RegSetValueExA(key_.Get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
    }
    void DeleteValue(const char* name) { RegDeleteValueA(key_.Get(), name); }

private:
    std::string path_;
    UniqueRegistryKey key_;
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

// A Unix symbolic link made by ln under Wine (which starts Unix programs;
// its CreateSymbolicLinkA makes nothing). Wine shows a link to a folder as a
// reparse point, one to a file as a plain file. target: relative to folder.
bool MakeWineLink(const std::string& folder, const std::string& name, const std::string& target) {
    std::string command = "ln -s " + target + " " + name;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // Zeroed: for a Unix program Wine may leave the handles unset, and closing
    // a stale value could close another handle of this process.
    PROCESS_INFORMATION process = {};
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") ||
        !CreateProcessA("Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        return false;
    }
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    for (int wait = 0; wait < 100 && GetFileAttributesA((folder + "\\" + name).c_str()) == INVALID_FILE_ATTRIBUTES;
         ++wait) {
        Sleep(20);  // the handle does not tell when ln ends
    }
    return GetFileAttributesA((folder + "\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
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
        return ApplyPackage(package_, sink_);
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
    HANDLE writer = CreateFileA(dir_.File("open.dvk").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "a writer got in while the package was open";
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    package_.Close();
}

// Held open by another program without delete sharing, as a running program
// holds its own executable.
HANDLE HoldOpen(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(Win32ApplyTest, ATargetHeldOpenStopsTheUpdateAndNothingChanges) {
    ASSERT_TRUE(WriteFileBytes(Target("first.txt"), "first"));
    ASSERT_TRUE(WriteFileBytes(Target("busy.exe"), "running"));
    const auto before = SnapshotTree(root_);
    HANDLE busy = HoldOpen(Target("busy.exe"));
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(Apply({{0, "s", "first.txt", "changed"}, {0, "s", "new.txt", "n"}, {0, "s", "busy.exe", "new"}}));
    CloseHandle(busy);
    EXPECT_EQ(sink_.lines.back(), LoadMessageString(IDS_WRITE_FAILED) + " busy.exe");
    EXPECT_EQ(SnapshotTree(root_), before);
}

TEST_F(Win32ApplyTest, ATargetReleasedWithinAMomentIsReplaced) {
    ASSERT_TRUE(WriteFileBytes(Target("busy.exe"), "running"));
    HANDLE busy = HoldOpen(Target("busy.exe"));
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    std::thread release([busy] {
        Sleep(300);
        CloseHandle(busy);
    });
    bool applied = Apply({{0, "s", "busy.exe", "new"}});
    release.join();
    EXPECT_TRUE(applied);
    EXPECT_EQ(ReadFileBytes(Target("busy.exe")), "new");
}

// The owner and DACL of a file as a security descriptor string; "" when
// they cannot be read.
std::string OwnerAndDacl(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return "";
    }
    char* text = nullptr;
    std::string result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorA(
            descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

bool SetOwnerAndDacl(const std::string& path, const char* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION;
    if (owner) what |= OWNER_SECURITY_INFORMATION;
    DWORD error = SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT, what, owner, nullptr, dacl,
                                        nullptr);
    LocalFree(descriptor);
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
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && ok;
}

std::string ReadLongPathFile(const std::string& path) {
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes(65536, '\0');
    DWORD read = 0;
    ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
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

}  // namespace
