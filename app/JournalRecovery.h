// The recovery step every update starts with once it holds its lock: the
// program for the machine's journal folder, dvk extract for each folder of
// extracts it must put right first. The outcome is a value whatever happens.
#pragma once

#include <string>
#include <vector>

#include "engine/JournalFolder.h"
#include "engine/Recovery.h"
#include "engine/TargetFileSystem.h"

// Recovers every journal of journals with files. Null journals (a folder that
// could be neither made nor trusted) is kNotExamined: nothing was looked at.
// The folder's notes about what it set aside are added to notes. An exception
// (memory running out halfway) is kIncomplete: the journals not finished stay
// for the next start.
RecoveryOutcome RecoverJournals(JournalFolder* journals, TargetFileSystem& files,
                                std::vector<std::string>& notes) noexcept;
