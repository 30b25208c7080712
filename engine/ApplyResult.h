// How an update ended, for the caller to read: the exit code and the
// dialogs tell a base that does not fit apart from any other failure.
#pragma once

enum class [[nodiscard]] ApplyResult {
    kApplied,    // every target holds the package's bytes
    kFailed,     // not applied; the last status line says why
    kWrongBase,  // not applied: an installed file is not one a patch was made from
};
