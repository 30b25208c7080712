// Finds a product's install root, and the keys it trusts, from its registry
// key; and the machine's rules for packages that are not signed by them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class InstallRootLookup {
public:
    virtual ~InstallRootLookup() = default;
    // The install root of the product whose key (below HKEY_LOCAL_MACHINE)
    // is given, or nothing when the product is not installed: the key cannot
    // be opened, or its "Path" value is missing, empty, not a string or (in
    // the registry) not an absolute folder (IsUsableInstallRoot).
    virtual std::optional<std::string> FindInstallRoot(const std::string& productKey) = 0;
    // The public keys the product trusts (its "PublicKey" value, beside
    // "Path"), each string as stored: nothing when the product has no such
    // value, so any package may be applied; a list, possibly empty, when it
    // has one, so only packages signed by one of those keys may.
    virtual std::optional<std::vector<std::string>> FindTrustedKeys(const std::string& productKey) = 0;
    // Whether the machine's policy (HKLM\Software\Policies\Dravlek, value
    // RequireSignedPackages) wants every package signed by a key of the
    // product it names.
    virtual bool RequiresSignedPackages() = 0;
    // The folders publishers protect: the roots of the products listed under
    // HKLM\Software\Dravlek\SignedProducts that have a PublicKey
    // (ProtectedRootsOf), each resolved as ResolveRoot resolves.
    virtual std::vector<std::string> FindProtectedRoots() = 0;
    // The folder a root names as the system reaches it: absolute, links
    // followed (the final path; below the deepest folder that exists, the rest
    // as written), in UTF-8. Empty, which overlaps every folder, when a part
    // that is there cannot be opened: where it leads is unknown.
    virtual std::string ResolveRoot(const std::string& root) = 0;
};

// A lookup that answers from a table it is given: the tests' stand-in for the
// registry, and the tools' way to name a root directly.
class FixedInstallRootLookup : public InstallRootLookup {
public:
    FixedInstallRootLookup() = default;
    void Set(const std::string& productKey, const std::string& root) { roots_[productKey] = root; }
    void SetTrustedKeys(const std::string& productKey, std::vector<std::string> keys) {
        trustedKeys_[productKey] = std::move(keys);
    }
    void SetRequiresSignedPackages(bool required) { requiresSigned_ = required; }
    void AddProtectedRoot(const std::string& root) { protectedRoots_.push_back(root); }
    std::optional<std::string> FindInstallRoot(const std::string& productKey) override {
        auto found = roots_.find(productKey);
        if (found == roots_.end() || found->second.empty()) return std::nullopt;
        return found->second;
    }
    std::optional<std::vector<std::string>> FindTrustedKeys(const std::string& productKey) override {
        auto found = trustedKeys_.find(productKey);
        if (found == trustedKeys_.end()) return std::nullopt;
        return found->second;
    }
    bool RequiresSignedPackages() override { return requiresSigned_; }
    std::vector<std::string> FindProtectedRoots() override { return protectedRoots_; }
    // The roots are taken as already resolved.
    std::string ResolveRoot(const std::string& root) override { return root; }

private:
    std::map<std::string, std::string> roots_;
    std::map<std::string, std::vector<std::string>> trustedKeys_;
    bool requiresSigned_ = false;
    std::vector<std::string> protectedRoots_;
};

// The platform's lookup: the registry on Windows (Win32RegistryLookup);
// elsewhere a lookup that finds nothing.
std::unique_ptr<InstallRootLookup> CreateSystemInstallRootLookup();
