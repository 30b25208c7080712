// Whether a target name stays inside the install root on Windows.
#pragma once

#include <string>

// True for a non-empty relative path that cannot climb out of the install
// root or name a device: no leading '\' or '/', no ':' anywhere (drive letters,
// alternate data streams), no ".." component and no component that Windows
// maps to a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without
// an extension, in any case). Components are split on both '\' and '/'.
bool IsSafeTargetName(const std::string& name);
