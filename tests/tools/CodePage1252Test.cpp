// UTF-8 <-> code page 1252: the table, the round trip and the refusals.
#include <gtest/gtest.h>

#include "package/CodePage1252.h"

namespace {

TEST(CodePage1252Test, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 1; b <= 0xFF; ++b) all.push_back(static_cast<char>(b));
    std::string back;
    ASSERT_TRUE(Utf8ToCp1252(Cp1252ToUtf8(all), back));
    EXPECT_EQ(back, all);
}

TEST(CodePage1252Test, MapsTheTypographicRowAndLatin1) {
    struct Pair {
        const char* utf8;
        const char* cp1252;
    };
    for (Pair pair : {Pair{"\xE2\x82\xAC", "\x80"},           // euro sign
                      Pair{"\xE2\x80\x9A", "\x82"},           // low single quote
                      Pair{"\xC6\x92", "\x83"},               // f with hook
                      Pair{"\xE2\x80\xA6", "\x85"},           // ellipsis
                      Pair{"\xC5\xA0", "\x8A"},               // S caron
                      Pair{"\xC5\x92", "\x8C"},               // OE
                      Pair{"\xC5\xBD", "\x8E"},               // Z caron
                      Pair{"\xE2\x80\x98", "\x91"},           // left single quote
                      Pair{"\xE2\x80\x9D", "\x94"},           // right double quote
                      Pair{"\xE2\x80\x94", "\x97"},           // em dash
                      Pair{"\xE2\x84\xA2", "\x99"},           // trade mark
                      Pair{"\xC5\xB8", "\x9F"},               // Y diaeresis
                      Pair{"\xC2\xA0", "\xA0"},               // no-break space
                      Pair{"\xC3\xA9t\xC3\xA9", "\xE9t\xE9"}, // été
                      Pair{"\xC3\xBF", "\xFF"},               // y diaeresis
                      Pair{"\xC2\x81", "\x81"}}) {            // undefined byte, kept as Windows keeps it
        std::string out;
        ASSERT_TRUE(Utf8ToCp1252(pair.utf8, out)) << pair.utf8;
        EXPECT_EQ(out, pair.cp1252);
        EXPECT_EQ(Cp1252ToUtf8(pair.cp1252), pair.utf8);
    }
}

TEST(CodePage1252Test, RefusesCharactersWithoutAByteAndNamesThem) {
    struct Case {
        const char* utf8;
        std::uint32_t bad;
    };
    for (Case c : {Case{"ab\xC4\x80", 0x100},               // A macron
                   Case{"\xE6\x97\xA5.txt", 0x65E5},         // a CJK character
                   Case{"x\xF0\x9F\x98\x80", 0x1F600},       // an emoji
                   Case{"\xC2\x80", 0x80},                   // C1 control whose byte is the euro sign
                   Case{"\xE2\x80\x93\xE2\x80\x90", 0x2010}}) {  // en dash is fine, hyphen is not
        std::string out;
        std::uint32_t bad = 0;
        EXPECT_FALSE(Utf8ToCp1252(c.utf8, out, &bad)) << c.utf8;
        EXPECT_EQ(bad, c.bad) << c.utf8;
        EXPECT_EQ(CodePointName(bad).substr(0, 2), "U+");
    }
}

TEST(CodePage1252Test, RefusesMalformedUtf8) {
    for (const char* bytes : {"\x80", "a\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                              "\xFF", "\xC3\x28", "caf\xE9"}) {
        std::string out;
        std::uint32_t bad = 0;
        EXPECT_FALSE(Utf8ToCp1252(bytes, out, &bad)) << bytes;
        EXPECT_EQ(bad, 0xFFFFFFFFu) << bytes;
    }
    EXPECT_EQ(CodePointName(0xFFFFFFFFu), "invalid UTF-8");
    EXPECT_EQ(CodePointName(0x20AC), "U+20AC");
}

}  // namespace
