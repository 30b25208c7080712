// What the end-to-end tests were started with: the updater, the hook DLL
// and the scratch folder (set by the driver's main before any test runs).
#pragma once

#include "tests/support/UpdaterRun.h"

const DriverPaths& E2ePaths();
