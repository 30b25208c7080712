#include "engine/platform/win32/Win32RegistryLookup.h"

#include <cstring>

#include "engine/InstallRootPath.h"
#include "engine/platform/win32/UniqueHandle.h"

namespace {

// "%SystemDrive%\Prog" as the program's environment has it; nothing when the
// expansion fails.
std::optional<std::string> Expand(const std::string& text) {
    DWORD size = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
    // The environment may grow between the two calls; a few attempts cover it.
    for (int attempt = 0; attempt < 4 && size != 0; ++attempt) {
        std::vector<char> expanded(size);
        DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), size);
        if (needed == 0) return std::nullopt;
        if (needed <= size) return std::string(expanded.data());
        size = needed;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> Win32RegistryLookup::FindInstallRoot(const std::string& productKey) {
    std::string root;
    if (!FindProductView(productKey, &root)) return std::nullopt;
    return root;
}

std::optional<REGSAM> Win32RegistryLookup::FindProductView(const std::string& productKey, std::string* root) {
    auto found = FirstUsableRoot(views_.size(), [&](std::size_t index) -> std::optional<std::string> {
        UniqueRegistryKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, KEY_READ | views_[index], key.Put()) !=
            ERROR_SUCCESS) {
            return std::nullopt;
        }
        return ReadPathValue(key.Get());
    });
    if (!found) return std::nullopt;
    if (root != nullptr) *root = found->second;
    return views_[found->first];
}

std::optional<std::string> Win32RegistryLookup::ReadPathValue(HKEY key) {
    // The value may change between the size query and the read; a few
    // attempts cover that without looping for ever.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) return std::nullopt;
        std::vector<char> bytes(size);
        LONG status = RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
        // Only the bytes returned count, NUL-terminated or not.
        std::size_t length = 0;
        while (length < size && length < bytes.size() && bytes[length] != '\0') ++length;
        if (length == 0) return std::nullopt;
        std::string text(bytes.data(), length);
        if (type == REG_EXPAND_SZ) return Expand(text);
        return text;
    }
    return std::nullopt;
}

std::optional<std::vector<std::string>> Win32RegistryLookup::FindTrustedKeys(const std::string& productKey) {
    std::optional<REGSAM> view = FindProductView(productKey);
    if (!view) return std::nullopt;
    UniqueRegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, KEY_READ | *view, key.Put()) != ERROR_SUCCESS) {
        return std::vector<std::string>();  // gone since the view was chosen: trust nothing
    }
    return ReadPublicKeyValue(key.Get());
}

std::optional<std::vector<std::string>> Win32RegistryLookup::ReadPublicKeyValue(HKEY key) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, "PublicKey", nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        std::vector<char> bytes(size + 1);
        LONG status = RegQueryValueExA(key, "PublicKey", nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (status == ERROR_MORE_DATA) continue;
        if (status == ERROR_FILE_NOT_FOUND) return std::nullopt;
        std::vector<std::string> keys;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_MULTI_SZ)) return keys;
        // Only the bytes returned count; a REG_SZ ends at its first NUL.
        std::string text(bytes.data(), size < bytes.size() ? size : bytes.size());
        if (type == REG_SZ) text = text.substr(0, text.find('\0'));
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\0', start);
            if (end == std::string::npos) end = text.size();
            if (end > start) keys.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return keys;
    }
    return std::vector<std::string>();
}

std::unique_ptr<InstallRootLookup> CreateSystemInstallRootLookup() {
    return std::make_unique<Win32RegistryLookup>();
}
