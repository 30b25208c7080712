// What a journal must say before recovery obeys it. Recovery renames and
// deletes with the program's rights the files a journal names; a journal that
// names anything but the staging names of targets below its own root is not
// one this program wrote, and is never acted on.
#pragma once

#include "engine/TargetFileSystem.h"
#include "engine/UpdateJournal.h"

// Null when every name of the journal is one an update of this program could
// have recorded: the root an absolute local folder that is no link, each
// target the root and a name a package may carry, each staged and backup name
// its target's with "~dvk<position>" (and "-<n>") and ".new" or ".old", no two
// names one file by the file system's rule. Otherwise the first rule broken,
// as a text for the log (code page 1252).
const char* JournalProblem(const JournalState& state, TargetFileSystem& files);
