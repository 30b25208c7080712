// The program's exit codes: the values deployment tools (Intune,
// Configuration Manager, Ansible) already read the way Windows Installer
// uses them.
#pragma once

#include "engine/ApplyResult.h"

enum class [[nodiscard]] ExitCode : int {
    kSuccess = 0,              // applied; /recover had nothing left undone; /?
    kBadCommandLine = 87,      // ERROR_INVALID_PARAMETER
    kDeclined = 1602,          // ERROR_INSTALL_USEREXIT
    kFailed = 1603,            // ERROR_INSTALL_FAILURE
    kAnotherInstance = 1618,   // ERROR_INSTALL_ALREADY_RUNNING
    kPackageUnopenable = 1619, // ERROR_INSTALL_PACKAGE_OPEN_FAILED
    kPatchDoesNotFit = 1642,   // ERROR_PATCH_TARGET_NOT_FOUND: an installed file is not a patch's base
};

struct ExitCodeRow {
    ExitCode code;
    const char* meaning;  // for the log, code page 1252
};

// Every exit code with what it means, in the order of the usage text.
constexpr ExitCodeRow kExitCodes[] = {
    {ExitCode::kSuccess, "succ\350s"},
    {ExitCode::kDeclined, "annul\351 par l'utilisateur"},
    {ExitCode::kFailed, "\351chec de la mise \340 jour"},
    {ExitCode::kAnotherInstance, "une autre mise \340 jour est en cours"},
    {ExitCode::kPackageUnopenable, "paquet illisible"},
    {ExitCode::kPatchDoesNotFit, "fichier install\351 diff\351rent de celui que la mise \340 jour attend"},
    {ExitCode::kBadCommandLine, "ligne de commande incorrecte"},
};

// The meaning of a code, or "" for one the table lacks.
inline const char* ExitCodeMeaning(ExitCode code) {
    for (const ExitCodeRow& row : kExitCodes) {
        if (row.code == code) return row.meaning;
    }
    return "";
}

// The code of an update that ran.
inline ExitCode ExitCodeOf(ApplyResult result) {
    switch (result) {
    case ApplyResult::kApplied: return ExitCode::kSuccess;
    case ApplyResult::kWrongBase: return ExitCode::kPatchDoesNotFit;
    case ApplyResult::kFailed: break;
    }
    return ExitCode::kFailed;
}
