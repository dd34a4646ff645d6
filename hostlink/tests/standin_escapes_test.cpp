// The stand-ins' shared escapes: what the scripts of both stand-in hosts may write, what is refused, and
// that the local stand-in's records carry any bytes to the tests unchanged.
#include <gtest/gtest.h>

#include <string>

#include "standins/escapes.h"

namespace standins {
namespace {

TEST(StandinEscapes, DecodesEveryEscape) {
    struct Case {
        const char* text;
        std::string bytes;
    };
    const Case cases[] = {
        {"plain text", "plain text"},
        {"\\r\\n\\t\\e\\a\\b\\f\\v", "\r\n\t\x1b\a\b\f\v"},
        {"\\\\ \\\" \\'", "\\ \" '"},
        {"\\x41\\x7e\\xFF", "A~\xff"},
        {"\\x1B[", "\x1b["},
        {"\\x1", "\x01"},  // one hex digit
        {"\\x414", "A4"},  // at most two
        {"\\0", std::string(1, '\0')},
        {"\\101", "A"},     // octal
        {"\\0101", "\b1"},  // at most three octal digits
        {"\\377", "\xff"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<std::string> bytes = DecodeEscapes(c.text);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(*bytes, c.bytes);
    }
}

TEST(StandinEscapes, RefusesBrokenEscapesWithTheReason) {
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"ends with \\", "a backslash ends the text"},
        {"\\xg", "\\x without hex digits"},
        {"\\400", "octal escape above \\377"},
        {"\\q", "unknown escape \\q"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string why;
        EXPECT_FALSE(DecodeEscapes(c.text, &why));
        EXPECT_EQ(why, c.why);
        EXPECT_FALSE(DecodeEscapes(c.text));  // the reason is optional
    }
}

TEST(StandinEscapes, EveryByteSurvivesEncodingOnOneLine) {
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    const std::string line = EncodeEscapes(all);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(DecodeEscapes(line), all);
    EXPECT_EQ(EncodeEscapes("a\\b\x1b\x7f"), "a\\\\b\\x1B\\x7F");
}

}  // namespace
}  // namespace standins
