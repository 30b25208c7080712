// Installs an opened package into the product's install root.
#pragma once

#include "engine/ApplyResult.h"
#include "engine/InstallRootLookup.h"
#include "engine/JournalFolder.h"
#include "engine/StatusSink.h"
#include "engine/TargetFileSystem.h"
#include "package/PatchPackage.h"

// Finds the install root, checks the signature and the required files,
// stages every entry's result beside its target in 4096-byte blocks with a
// progress line after each (a .dvx result checked against the table's size
// and SHA-256), marks the targets that are deleted, then replaces or deletes
// the targets all together, with a journal in journals that
// lets the next start undo an update that was killed. Returns kApplied when
// every target now holds the package's bytes; otherwise the install root is
// as it was and the last status line says why, or that the undo could not be
// finished (the journal then stays for recovery). kWrongBase: an installed
// file matched none of its patches' bases and the entry had no whole copy.
ApplyResult ApplyPackage(PatchPackage& package, StatusSink& sink, InstallRootLookup& lookup,
                                TargetFileSystem& files, JournalFolder& journals);

// The same with the platform's own lookup, file system and journal folder:
// what the program runs (the registry and Win32 calls on Windows, POSIX calls
// elsewhere).
ApplyResult ApplyPackage(PatchPackage& package, StatusSink& sink);
