// The program's message boxes: a text of the string table under the one
// caption every box of the program has.
#pragma once

#include <windows.h>

// Text textId in a box of the given MB_ flags, owned by owner (none when
// null); what MessageBoxA answered (0 when the box could not be shown).
int ShowMessage(int textId, UINT flags, HWND owner);

// "Continuez?", asked before every update the user starts: from the list's
// Update button (owned by the list) and for a package on the command line (no
// owner). True only for Yes: a box that could not be shown is no answer.
bool ConfirmUpdate(HWND owner);
