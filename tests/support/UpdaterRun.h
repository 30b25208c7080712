// The harness's former name, kept for the tests written against it.
#pragma once

#include "tests/support/UpdaterProcess.h"

using UpdaterRun = UpdaterProcess;
