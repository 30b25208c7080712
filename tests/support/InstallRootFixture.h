// What every apply test starts from: an install root that the product key
// names, an empty journal folder beside it, the system's file system, a
// package and a sink that records every line.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/InstallRootLookup.h"
#include "engine/JournalFolder.h"
#include "engine/TargetFileSystem.h"
#include "package/PatchPackage.h"
#include "tests/support/EngineFixtures.h"
#include "tests/support/TestFiles.h"

constexpr char kProductKey[] = "Software\\Maker\\Product";

class InstallRootFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = dir_.File("install");
        std::filesystem::create_directories(root_);
        std::filesystem::create_directories(dir_.File("journals"));
        journals_ = OpenJournalFolder(dir_.File("journals"));
        lookup_.Set(kProductKey, root_);
    }

    std::string Installed(const std::string& name) { return ReadFileBytes(files_->TargetPath(root_, name)); }
    void Install(const std::string& name, const std::string& bytes) {
        ASSERT_TRUE(WriteFileBytes(files_->TargetPath(root_, name), bytes)) << name;
    }

    TempDir dir_;
    std::string root_;
    FixedInstallRootLookup lookup_;
    std::unique_ptr<TargetFileSystem> files_ = CreateSystemTargetFileSystem();
    std::unique_ptr<JournalFolder> journals_;
    PatchPackage package_;
    RecordingSink sink_;
};
