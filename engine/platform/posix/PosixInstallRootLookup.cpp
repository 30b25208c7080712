// Without a registry, no product is installed unless a caller names its root
// (FixedInstallRootLookup); the tools and tests do so.
#include "engine/InstallRootLookup.h"

std::unique_ptr<InstallRootLookup> CreateSystemInstallRootLookup() {
    return std::make_unique<FixedInstallRootLookup>();
}
