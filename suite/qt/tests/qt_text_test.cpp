// Windows-1252 to Qt and back: every byte gives the character the code page names, and back the same byte.
#include "suite/qt/qt_text.h"

#include <gtest/gtest.h>

namespace suite {
namespace {

TEST(QtTextTest, EveryByteMatchesTheCodePageAndRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = FromCp1252(all);
    ASSERT_EQ(text.size(), 255);
    EXPECT_EQ(text, QString::fromStdString(platform::Cp1252ToUtf8(all)));
    EXPECT_EQ(ToCp1252(text), all);
    EXPECT_EQ(FromCp1252("\x80"), QString(QChar(0x20AC)));
    EXPECT_EQ(FromCp1252("\x81"), QString(QChar(0x81))) << "a hole keeps its C1 value";
    EXPECT_EQ(FromCp1252(std::string_view("a\0b", 3)).size(), 3) << "a NUL is a character, not the end";
    EXPECT_TRUE(FromCp1252("").isEmpty());
}

}  // namespace
}  // namespace suite
