#include "tools/dvk/LocaleTargetFileSystem.h"

#include "package/CodePage1252.h"

std::string LocaleTargetFileSystem::TargetPath(const std::string& root, const std::string& targetName) const {
    return system_->TargetPath(root, Cp1252ToUtf8(targetName));
}
