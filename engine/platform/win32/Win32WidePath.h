// ANSI paths as the wide API takes them, without the MAX_PATH limit of the
// ANSI API: "C:\dir\name" becomes "\\?\C:\dir\name", "\\server\share\x"
// becomes "\\?\UNC\server\share\x".
#pragma once

#include <string>

// The path converted from the ANSI code page, made absolute and normalised
// ('/' to '\', "." and ".." resolved, trailing dots and spaces of the last
// name dropped) as the ANSI API would, then given the "\\?\" prefix, which
// lifts the length limit but also turns that normalisation off. A path that
// already starts with "\\?\" or "\\.\" is only converted. Empty when the
// bytes cannot be converted.
std::wstring WidePath(const std::string& ansiPath);

// The ANSI bytes as UTF-16 (code page CP_ACP); empty when they cannot be
// converted.
std::wstring AnsiToWide(const std::string& ansi);
