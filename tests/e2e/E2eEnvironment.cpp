// Once for the whole run of the Wine tests: the scratch folders, and the
// registry as run-e2e.sh left it.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/UpdaterProcess.h"

namespace {

class E2eEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const DriverPaths& paths = E2ePaths();
        ASSERT_FALSE(paths.updater.empty() || paths.work.empty()) << "run by run-e2e.sh";
        EXPECT_EQ(GetACP(), 1252u) << "the ANSI code page";
        for (const char* folder : {"\\cases", "\\logs"}) {
            ASSERT_TRUE(ResetTree(paths.work + folder, {}));
        }
        CreateDirectoryA(paths.Root().c_str(), nullptr);

        UniqueRegistryKey key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\DravlekE2E\\Product", 0, KEY_READ, key.Put()),
                  ERROR_SUCCESS)
            << "the test product is registered";
        char path[MAX_PATH] = {};
        DWORD size = sizeof path - 1;
        RegQueryValueExA(key.Get(), "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
        ASSERT_EQ(lstrcmpiA(path, paths.Root().c_str()), 0) << "its Path is the work root: " << path;
        UniqueRegistryKey missing;
        ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\DravlekE2E\\Missing", 0, KEY_READ, missing.Put()),
                  ERROR_SUCCESS)
            << "the missing product's key does not exist";
    }
};

// GoogleTest owns the environment.
::testing::Environment* const theEnvironment = ::testing::AddGlobalTestEnvironment(new E2eEnvironment);

}  // namespace
