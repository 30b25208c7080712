// Whose files the elevated program takes orders from or writes into: the
// system's, the administrators', and its own account's (an elevated
// administrator's new files belong to the group; one started without
// elevation owns them itself). Any other owner may be a standard user who
// planted the file.
#pragma once

enum class FileOwner {
    kSystem,
    kAdministrators,
    kCaller,
    kOther,
    kNone,  // a volume without owners (FAT): nothing to check, nothing kept from anyone
};

inline bool IsTrustedOwner(FileOwner owner) {
    return owner != FileOwner::kOther;
}
