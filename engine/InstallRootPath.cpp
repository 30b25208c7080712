#include "engine/InstallRootPath.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool IsUsableInstallRoot(const std::string& path) {
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
    if (path.compare(0, 2, "\\\\") != 0) return false;
    const std::size_t serverEnd = path.find('\\', 2);
    if (serverEnd == std::string::npos || serverEnd == 2) return false;
    const std::string server = path.substr(2, serverEnd - 2);
    if (server == "." || server == "?" || server.find('/') != std::string::npos) return false;
    // The share: at least one character before any further backslash.
    return serverEnd + 1 < path.size() && path[serverEnd + 1] != '\\';
}

std::optional<std::pair<std::size_t, std::string>> FirstUsableRoot(
    std::size_t places, const std::function<std::optional<std::string>(std::size_t)>& readPath) {
    for (std::size_t place = 0; place < places; ++place) {
        std::optional<std::string> path = readPath(place);
        if (path && IsUsableInstallRoot(*path)) return std::make_pair(place, *path);
    }
    return std::nullopt;
}

std::vector<std::string> ProtectedRootsOf(const std::vector<ProtectedProductView>& views) {
    std::vector<std::string> roots;
    bool keyed = false;
    for (const ProtectedProductView& view : views) keyed = keyed || view.hasPublicKey;
    if (!keyed) return roots;
    for (const ProtectedProductView& view : views) {
        if (view.path && IsUsableInstallRoot(*view.path)) roots.push_back(*view.path);
    }
    return roots;
}
