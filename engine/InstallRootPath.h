// Which "Path" values may name an install root.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// True for an absolute Windows folder: a drive letter, a colon and a
// backslash ("C:\...", the drive's root included), or a network share
// ("\\server\share..."). Everything else would make the targets depend on the
// current folder or drive ("Prog", "\", "C:", "C:Prog"), name a device
// ("\\.\", "\\?\") or be no path at all ("%SystemDrive%\x" left unexpanded).
bool IsUsableInstallRoot(const std::string& path);

// The first of several places (the registry views, in order) whose "Path"
// is usable, with that root; readPath(i) gives place i's text, or nothing
// when its key or value is missing. A missing key, a missing value and an
// unusable one all send the search on to the next place.
std::optional<std::pair<std::size_t, std::string>> FirstUsableRoot(
    std::size_t places, const std::function<std::optional<std::string>(std::size_t)>& readPath);

// What one registry view holds for a product a publisher protects.
struct ProtectedProductView {
    bool hasPublicKey = false;         // a "PublicKey" value of any type
    std::optional<std::string> path;   // its "Path" text, when there
};

// The folders such a product protects: none unless one of its views holds a
// PublicKey, then the usable Path of every view, because a stale key in the
// other view may still name the folder (or the installer wrote Path in one
// view and the publisher PublicKey in the other).
std::vector<std::string> ProtectedRootsOf(const std::vector<ProtectedProductView>& views);
