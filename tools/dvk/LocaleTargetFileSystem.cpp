#include "tools/dvk/LocaleTargetFileSystem.h"

#include "tools/dvk/CodePage1252.h"

std::string LocaleTargetFileSystem::TargetPath(const std::string& root, const std::string& targetName) const {
    return system_->TargetPath(root, Cp1252ToUtf8(targetName));
}
