#include "package/Utf16Text.h"

#include <cstdint>

#include "package/CodePage1252.h"

bool Utf16ToUtf8(const std::u16string& utf16, std::string& out) {
    out.clear();
    bool whole = true;
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        std::uint32_t codePoint = utf16[i];
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            codePoint = 0xFFFD;
            whole = false;
        }
        AppendUtf8(out, codePoint);
    }
    return whole;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string& out) {
    out.clear();
    for (std::size_t i = 0; i < utf8.size();) {
        const std::uint32_t codePoint = DecodeUtf8(utf8, i);
        if (codePoint == kInvalidUtf8) return false;
        if (codePoint >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(codePoint));
        }
    }
    return true;
}
