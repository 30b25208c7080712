// Conversion between UTF-8 and Windows code page 1252, the encoding of every
// name and title inside a package.
//
// 0x00-0x7F and 0xA0-0xFF are the code points of the same value; 0x80-0x9F
// hold the typographic characters (euro sign, quotes, dashes, ...). The five
// bytes that the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// stand, as Windows converts them, for the control characters U+0081, U+008D,
// U+008F, U+0090 and U+009D, so that every byte string survives a round trip.
#pragma once

#include <cstdint>
#include <string>

// UTF-8 to cp1252. False when the text is not valid UTF-8 or holds a
// character that cp1252 has no byte for; then *badCodePoint (if given) is
// that character, or 0xFFFFFFFF for invalid UTF-8, and out is unspecified.
[[nodiscard]] bool Utf8ToCp1252(const std::string& utf8, std::string& out, std::uint32_t* badCodePoint = nullptr);

// cp1252 to UTF-8; every byte string converts.
std::string Cp1252ToUtf8(const std::string& cp1252);

// One UTF-8 sequence at text[i], advancing i past it; kInvalidUtf8 for
// anything malformed: stray continuation bytes, overlong forms, surrogates,
// beyond U+10FFFF.
constexpr std::uint32_t kInvalidUtf8 = 0xFFFFFFFF;
std::uint32_t DecodeUtf8(const std::string& text, std::size_t& i);
// Appends one code point (up to U+10FFFF, no surrogate) in UTF-8.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// "U+20AC" style name of a code point, or "invalid UTF-8" for 0xFFFFFFFF.
std::string CodePointName(std::uint32_t codePoint);
