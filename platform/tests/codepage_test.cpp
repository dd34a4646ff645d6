// Code page tables and UTF conversions: the screen's 437 glyphs, Windows-1252 with its holes, and how
// malformed input degrades to '?' one bad sequence at a time.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <set>

namespace platform {
namespace {

TEST(Cp437, MapsKnownGlyphs) {
    const std::pair<uint8_t, char32_t> cases[] = {
        {0x00, 0x0000}, {0x01, 0x263A}, {0x02, 0x263B}, {0x03, 0x2665}, {0x0A, 0x25D9}, {0x1B, 0x2190},
        {0x1F, 0x25BC}, {0x20, U' '},   {0x41, U'A'},   {0x7E, U'~'},   {0x7F, 0x2302}, {0x80, 0x00C7},
        {0x9E, 0x20A7}, {0xB0, 0x2591}, {0xC4, 0x2500}, {0xDB, 0x2588}, {0xE1, 0x00DF}, {0xFF, 0x00A0},
    };
    for (const auto& [byte, ch] : cases) {
        EXPECT_EQ(Cp437ToUnicode(byte), ch) << "byte " << int(byte);
    }
}

TEST(Cp437, EveryByteRoundTripsThroughADistinctCharacter) {
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b) {
        const char32_t ch = Cp437ToUnicode(static_cast<uint8_t>(b));
        EXPECT_TRUE(seen.insert(ch).second) << "byte " << b;
        EXPECT_EQ(UnicodeToCp437(ch), b);
    }
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(Utf8ToCp437(Cp437ToUtf8(all)), all);
}

TEST(Cp437, TypedControlCharactersKeepTheirByteAndOthersBecomeQuestionMarks) {
    EXPECT_EQ(UnicodeToCp437(U'\n'), 0x0A);
    EXPECT_EQ(UnicodeToCp437(U'\t'), 0x09);
    EXPECT_EQ(UnicodeToCp437(0x20AC), std::nullopt);
    EXPECT_EQ(Cp437ToUtf8("\x01\xDB"), "\u263A\u2588");
    EXPECT_EQ(Utf8ToCp437("a\u20ACb\r\n"), "a?b\r\n");
}

TEST(Cp1252, MapsTheC1RangeAndKeepsTheHoles) {
    const std::pair<uint8_t, char32_t> cases[] = {
        {0x41, U'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x8A, 0x0160}, {0x8D, 0x008D}, {0x8F, 0x008F},
        {0x90, 0x0090}, {0x92, 0x2019}, {0x9D, 0x009D}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9},
    };
    for (const auto& [byte, ch] : cases) {
        EXPECT_EQ(Cp1252ToUnicode(byte), ch) << "byte " << int(byte);
    }
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(UnicodeToCp1252(Cp1252ToUnicode(static_cast<uint8_t>(b))), b);
    }
    EXPECT_EQ(UnicodeToCp1252(0x0080), std::nullopt);  // 0x80 is the euro sign, not the C1 control
    EXPECT_EQ(UnicodeToCp1252(0x2603), std::nullopt);
}

TEST(Cp1252, Utf8ConversionReplacesEachMalformedPartWithOneQuestionMark) {
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},
        {"a\xFF"
         "b",
         "a?b"},
        {"\xC3", "?"},                 // cut off
        {"\xE2\x82x", "?x"},           // cut off before an ASCII byte, which survives
        {"\xC0\xAF", "??"},            // overlong
        {"\xED\xA0\x80", "???"},       // encoded surrogate
        {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
        {"\xF0\x9F\x98\x80", "?"},     // valid, but no 1252 form
        {"\x80", "?"},                 // stray continuation byte
    };
    for (const auto& [utf8, expected] : cases) {
        EXPECT_EQ(Utf8ToCp1252(utf8), expected) << utf8;
    }
    EXPECT_EQ(Cp1252ToUtf8("\xE9\x80\x81"), "\u00E9\u20AC\u0081");
}

TEST(Utf16, ConvertsPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16LeToCp1252(u"caf\u00e9 \u20ac"), "caf\xE9 \x80");
    EXPECT_EQ(Utf16LeToCp1252(std::u16string_view(u"\xD800x", 2)), "?x");
    EXPECT_EQ(Utf16LeToCp1252(u"\U0001F600!"), "?!");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600\u00e9"), "\xF0\x9F\x98\x80\xC3\xA9");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80\xC3\xA9"), u"\U0001F600\u00e9");
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(u"\xDC00", 1)), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToUtf16("a\xFF"), u"a\uFFFD");
}

TEST(EqualsNoCase, FoldsAsciiLettersOnly) {
    const std::tuple<std::string_view, std::string_view, bool> cases[] = {
        {"Software", "SOFTWARE", true},
        {"", "", true},
        {"abc", "abd", false},
        {"a", "ab", false},
        {"[", "{", false},
        {"@", "`", false},
        {"\xE9", "\xC9", false},
        {"Z9_", "z9_", true},
    };
    for (const auto& [a, b, equal] : cases) {
        EXPECT_EQ(EqualsNoCase(a, b), equal) << a << " / " << b;
    }
    EXPECT_EQ(LowerAscii("Soft[@]WARE Z9_\xC9"), "soft[@]ware z9_\xC9");
}

}  // namespace
}  // namespace platform
