// Moved to tests/support; kept so that tests written against this path still build.
#pragma once
#include "tests/support/TestFiles.h"
