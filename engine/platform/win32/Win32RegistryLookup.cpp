#include "engine/platform/win32/Win32RegistryLookup.h"

#include <cstring>

#include "engine/platform/win32/UniqueHandle.h"

std::optional<std::string> Win32RegistryLookup::FindInstallRoot(const std::string& productKey) {
    for (REGSAM view : views_) {
        UniqueRegistryKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, productKey.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS) {
            return ReadPathValue(key.Get());
        }
    }
    return std::nullopt;
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
        return std::string(bytes.data(), length);
    }
    return std::nullopt;
}

std::unique_ptr<InstallRootLookup> CreateSystemInstallRootLookup() {
    return std::make_unique<Win32RegistryLookup>();
}
