// The permissions of a file handed on to the file that replaces it, as the
// system's ReplaceFile does: a rename would otherwise give the new file the
// folder's inherited permissions and the updater as its owner.
#pragma once

#include <string>

// Gives to the security descriptor of to (a wide path) the DACL of from,
// protected from inheritance exactly when from's is, and from's owner where
// the process may set it. False, with the last error set, when from's
// security cannot be read or its DACL cannot be given to to. On a volume
// without permissions (FAT) there is nothing to hand on: true.
[[nodiscard]] bool CopyOwnerAndDacl(const std::wstring& from, const std::wstring& to);
