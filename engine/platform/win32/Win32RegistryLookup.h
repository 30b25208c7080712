// The install root from the registry: HKEY_LOCAL_MACHINE\<product key>, value
// "Path"; the trusted keys from the value "PublicKey" beside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/InstallRootLookup.h"

class Win32RegistryLookup : public InstallRootLookup {
public:
    // The registry views to try in order, for a key that cannot be opened in
    // the first: the program's own view, then the 64-bit one, because the
    // product's installer may have been a 64-bit program.
    explicit Win32RegistryLookup(std::vector<REGSAM> views = {0, KEY_WOW64_64KEY}) : views_(std::move(views)) {}

    std::optional<std::string> FindInstallRoot(const std::string& productKey) override;
    // Read in the view whose key gives the install root.
    std::optional<std::vector<std::string>> FindTrustedKeys(const std::string& productKey) override;

    // The text of a "Path" value: a string type, up to its first NUL within the
    // bytes the query returned; nothing when missing, empty or not a string.
    static std::optional<std::string> ReadPathValue(HKEY key);
    // The strings of a "PublicKey" value: REG_SZ (up to its first NUL) or
    // REG_MULTI_SZ (every non-empty string); nothing when missing; an empty
    // list when it has another type, which then trusts nothing.
    static std::optional<std::vector<std::string>> ReadPublicKeyValue(HKEY key);

private:
    std::vector<REGSAM> views_;
};
