// The install root from the registry: HKEY_LOCAL_MACHINE\<product key>, value
// "Path"; the trusted keys from the value "PublicKey" beside it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/InstallRootLookup.h"

class Win32RegistryLookup : public InstallRootLookup {
public:
    // The registry views to try in order, for a key that has no usable "Path"
    // in the first (missing key or missing or unusable value alike): the
    // program's own view, then the 64-bit one, because the product's
    // installer may have been a 64-bit program.
    explicit Win32RegistryLookup(std::vector<REGSAM> views = {0, KEY_WOW64_64KEY}) : views_(std::move(views)) {}

    // The root from the view FindProductView chooses.
    std::optional<std::string> FindInstallRoot(const std::string& productKey) override;
    // Read in the view FindProductView chooses; nothing when none has a usable "Path".
    std::optional<std::vector<std::string>> FindTrustedKeys(const std::string& productKey) override;

    // The one place that decides which view speaks for the product: the
    // first where its key holds a usable "Path" (IsUsableInstallRoot after
    // expansion). Its root goes to *root when root is given. Whatever else is
    // read about the product is read from this same view.
    std::optional<REGSAM> FindProductView(const std::string& productKey, std::string* root = nullptr);

    // The text of a "Path" value: a string type, up to its first NUL within the
    // bytes the query returned, environment references expanded for
    // REG_EXPAND_SZ; nothing when missing, empty or not a string.
    static std::optional<std::string> ReadPathValue(HKEY key);
    // The strings of a "PublicKey" value: REG_SZ (up to its first NUL) or
    // REG_MULTI_SZ (every non-empty string); nothing when missing; an empty
    // list when it has another type, which then trusts nothing.
    static std::optional<std::vector<std::string>> ReadPublicKeyValue(HKEY key);

private:
    std::vector<REGSAM> views_;
};
