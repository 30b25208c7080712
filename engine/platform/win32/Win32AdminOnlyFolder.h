// The journal folder is where an elevated program takes orders from files:
// a journal names files that recovery renames and deletes. A user who could
// write a journal there could have any file of the machine deleted, so the
// folder is kept for administrators and the system alone, and a journal
// that one of them did not write is not trusted.
#pragma once

#include <windows.h>

#include <string>

#include "engine/FileOwner.h"

// Gives the folder (a wide path) the administrators group as owner and a
// DACL, protected from inheritance, that grants full control to the system
// and the administrators only, inherited by what is created in it. False,
// with the last error set, when that cannot be done.
bool MakeAdminOnly(const std::wstring& folder);

// Whose the owner SID is; kNone for no owner at all.
FileOwner OwnerOf(PSID owner);

// Whether the file's owner is the system, the administrators group, or the
// account this process runs as (an elevated administrator's files belong to
// the group; one started without elevation would own them itself).
bool IsOwnedByAdministrators(const std::wstring& file);
