// The conversion moved to package/, beside the names it converts; this name
// stays for the tool's sources.
#pragma once

#include "package/CodePage1252.h"
