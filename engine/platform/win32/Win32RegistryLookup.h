// The install root from the registry: HKEY_LOCAL_MACHINE\<product key>, value
// "Path"; the trusted keys from the value "PublicKey" beside it; the policy
// and the protected products from keys of their own.
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
    // The policy and the list of protected products are read in every view;
    // the tests name scratch keys of their own for them.
    explicit Win32RegistryLookup(std::vector<REGSAM> views = {0, KEY_WOW64_64KEY},
                                 std::string policyKey = "Software\\Policies\\Dravlek",
                                 std::string signedProductsKey = "Software\\Dravlek\\SignedProducts")
        : views_(std::move(views)),
          policyKey_(std::move(policyKey)),
          signedProductsKey_(std::move(signedProductsKey)) {}

    // The root from the view FindProductView chooses.
    std::optional<std::string> FindInstallRoot(const std::string& productKey) override;
    // Read in the view FindProductView chooses; nothing when none has a usable "Path".
    std::optional<std::vector<std::string>> FindTrustedKeys(const std::string& productKey) override;
    // Set unless, in every view, the key or its RequireSignedPackages value is
    // missing or the value is the REG_DWORD 0: any other value or type, or a
    // key that cannot be read, counts as set, because whoever wrote it meant
    // to restrict (and only an administrator can write there).
    bool RequiresSignedPackages() override;
    // Every value of the list in any view names a product key: REG_SZ, or
    // each string of a REG_MULTI_SZ (other types name none). Each is read in
    // every view (ProtectedRootsOf).
    std::vector<std::string> FindProtectedRoots() override;
    // GetFullPathNameW, then the final path (GetFinalPathNameByHandleW) of the
    // deepest folder of it that opens, with the rest appended.
    std::string ResolveRoot(const std::string& root) override;

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
    // The same for any value of the key.
    static std::optional<std::vector<std::string>> ReadStringListValue(HKEY key, const char* name);

private:
    std::vector<REGSAM> views_;
    std::string policyKey_;
    std::string signedProductsKey_;
};
