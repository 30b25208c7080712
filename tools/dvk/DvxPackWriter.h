// Writes a planned package in the .dvx format: each file as a zstd frame
// when the frame comes out smaller than the file, stored otherwise; each
// removal as a delete entry; the SHA-256 of every file in the table.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "tools/dvk/DvxEntryPacker.h"
#include "tools/dvk/PackPlan.h"

// Writes the whole package to out (which must be able to seek back). False
// with a message for people when a file cannot be read or changed size while
// it was packed, or out fails. The plan's flags must be 0 or kRequiredFlag.
bool WriteDvxPackage(std::ostream& out, const std::string& title, const std::string& key, const PackPlan& plan,
                     DvxPackSummary& summary, std::string& error);
