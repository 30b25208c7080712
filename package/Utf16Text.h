// Conversion between UTF-16 (the text of the Windows wide API: its command
// line, its file names) and UTF-8, the one form names keep inside the
// program and in its log.
#pragma once

#include <string>

// False when the text holds a surrogate that is not part of a pair (Windows
// allows one in a name; no UTF-8 text can hold it); out then has U+FFFD in
// its place.
[[nodiscard]] bool Utf16ToUtf8(const std::u16string& utf16, std::string& out);

// False, with out unspecified, when the text is not valid UTF-8.
[[nodiscard]] bool Utf8ToUtf16(const std::string& utf8, std::u16string& out);
