// The message strings, looked up by number at the moment of use.
#pragma once

#include <string>

#include "res/resource.h"

// The text of a message string in code page 1252, whole; the empty text for
// a number the table does not have. Safe to call from any thread.
// On Windows it comes from the program's string table resource; elsewhere
// from the same texts compiled into the program.
std::string LoadMessageString(int id);

// The compiled-in table that both lookups are built from.
std::string BuiltInMessageString(int id);
