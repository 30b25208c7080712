// Whether a target name stays inside the install root on Windows.
#pragma once

#include <string>

// True for a non-empty relative path that cannot climb out of the install
// root or name a device: no leading '\' or '/', no ':' anywhere (drive letters,
// alternate data streams), no ".." component and no component that Windows
// maps to a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, and COM or LPT
// with a superscript 1, 2 or 3, bytes B9, B2, B3 in code page 1252; with or
// without an extension, in any case, trailing dots and spaces ignored).
// Components are split on both '\' and '/'.
bool IsSafeTargetName(const std::string& name);
