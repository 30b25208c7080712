// What a handle shows of the file or folder it holds, as the facts the trust
// rules (engine/JournalTrust.h) judge: read from the handle, so that what is
// judged is what is then used, whatever the name leads to by then.
// Wine keeps no Windows owners or DACLs: there every file is owned by the
// Unix user (the program's own account) and the DACL is made from the mode
// bits; it opens the target of a link even when asked for the link itself,
// which the final path shows.
#pragma once

#include <windows.h>

#include <string>

#include "engine/JournalTrust.h"

// The facts of the open file; false when they cannot all be read. Besides a
// reparse point, a file whose final path is not expectedPath (compared
// without case) counts as a link: it was reached by another way than the
// one named. An empty expectedPath skips that comparison.
[[nodiscard]] bool ReadFileFacts(HANDLE file, const std::wstring& expectedPath, FileFacts& facts);

// The handle's path as "\\?\C:\..." (or "\\?\UNC\..."), links resolved; ""
// when it cannot be had.
std::wstring FinalPath(HANDLE file);

// Whether two paths name the same place, compared as the file system does
// (without case).
bool SamePath(const std::wstring& a, const std::wstring& b);

// Who an owner SID stands for: the system, the administrators, the account
// this process runs as, or anybody else.
Principal PrincipalOfOwner(PSID owner);
