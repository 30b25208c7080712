#include "engine/platform/win32/Win32RegistryLookup.h"

#include <cstring>
#include <set>

#include "engine/InstallRootPath.h"
#include "engine/platform/win32/Win32WidePath.h"
#include "win32/Handles.h"

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
    return ReadStringListValue(key, "PublicKey");
}

std::optional<std::vector<std::string>> Win32RegistryLookup::ReadStringListValue(HKEY key, const char* name) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
        std::vector<char> bytes(size + 1);
        LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
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

bool Win32RegistryLookup::RequiresSignedPackages() {
    for (REGSAM view : views_) {
        UniqueRegistryKey key;
        LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, policyKey_.c_str(), 0, KEY_READ | view, key.Put());
        if (status == ERROR_FILE_NOT_FOUND) continue;
        if (status != ERROR_SUCCESS) return true;
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        status = RegQueryValueExA(key.Get(), "RequireSignedPackages", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                  &size);
        if (status == ERROR_FILE_NOT_FOUND) continue;
        if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value && value == 0) continue;
        return true;
    }
    return false;
}

std::vector<std::string> Win32RegistryLookup::FindProtectedRoots() {
    std::set<std::string> products;
    for (REGSAM view : views_) {
        UniqueRegistryKey list;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, signedProductsKey_.c_str(), 0, KEY_READ | view, list.Put()) !=
            ERROR_SUCCESS) {
            continue;
        }
        std::vector<char> name(16384);  // the longest value name the registry allows, and its NUL
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            LONG status = RegEnumValueA(list.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) continue;
            if (auto keys = ReadStringListValue(list.Get(), std::string(name.data(), length).c_str())) {
                products.insert(keys->begin(), keys->end());
            }
        }
    }
    std::vector<std::string> roots;
    for (const std::string& product : products) {
        std::vector<ProtectedProductView> facts;
        for (REGSAM view : views_) {
            ProtectedProductView fact;
            UniqueRegistryKey key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, product.c_str(), 0, KEY_READ | view, key.Put()) == ERROR_SUCCESS) {
                fact.hasPublicKey =
                    RegQueryValueExA(key.Get(), "PublicKey", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
                fact.path = ReadPathValue(key.Get());
            }
            facts.push_back(fact);
        }
        for (const std::string& root : ProtectedRootsOf(facts)) roots.push_back(ResolveRoot(root));
    }
    return roots;
}

namespace {

std::string WideToUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                     nullptr);
    if (length <= 0) return std::string();
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

// The final path of a folder (or file) that opens, links followed. Nothing
// when it is not there or has no final path with a drive letter (a volume
// mounted in a folder: its parent's path then names it); nothing with
// *blocked set when it is there but does not open.
std::optional<std::wstring> FinalPathOf(const std::wstring& path, bool* blocked) {
    UniqueFileHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle.IsValid()) {
        const DWORD error = GetLastError();
        *blocked = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_BAD_NETPATH &&
                   error != ERROR_BAD_NET_NAME;
        return std::nullopt;
    }
    std::wstring final(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD length = GetFinalPathNameByHandleW(handle.Get(), &final[0], static_cast<DWORD>(final.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < final.size()) {
            final.resize(length);
            return final;
        }
        final.resize(length + 1);
    }
    return std::nullopt;
}

}  // namespace

std::string Win32RegistryLookup::ResolveRoot(const std::string& root) {
    std::wstring path = WidePath(root);  // "\\?\C:\..." or "\\?\UNC\...", normalised
    if (path.empty()) return std::string();  // not even its name is known
    const std::string written = WideToUtf8(path);
    std::wstring rest;
    for (;;) {
        bool blocked = false;
        if (std::optional<std::wstring> final = FinalPathOf(path, &blocked)) return WideToUtf8(*final + rest);
        // There but not to be opened: where it leads is unknown, so it is
        // taken to lead anywhere.
        if (blocked) return std::string();
        const std::size_t cut = path.rfind(L'\\');
        // Nothing above a drive's root ("\\?\C:\") or below "\\?\".
        if (cut == std::wstring::npos || cut <= 4 || cut + 1 == path.size()) break;
        rest = path.substr(cut) + rest;
        path.resize(cut);
        if (path.back() == L':') path += L'\\';
    }
    return written;
}

std::unique_ptr<InstallRootLookup> CreateSystemInstallRootLookup() {
    return std::make_unique<Win32RegistryLookup>();
}
