// Checks the resources compiled into the program, read from the .exe loaded
// as a data file: dialog templates, string table, icon images and manifest.
#pragma once

#include <string>

#include "tests/e2e/E2eSupport.h"

void CheckProgramResources(const std::string& exePath, Checker& check);
