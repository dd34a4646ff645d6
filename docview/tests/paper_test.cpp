// Pages laid on white paper: every pixel ends opaque with the colour it shows over white, the same in the
// four-at-a-time path as one by one.
#include "docview/engine/paper.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace docview::engine {
namespace {

TEST(LayOnWhite, EachPixelShowsWhatItShowsOverWhite) {
    struct Case {
        uint32_t pixel;
        bool premultiplied;
        uint32_t expected;
    };
    const Case cases[] = {
        {0x00000000u, false, 0xFFFFFFFFu},  // bare paper
        {0x00123456u, false, 0xFFFFFFFFu},  // colour without alpha shows nothing
        {0xFF000000u, false, 0xFF000000u},  // solid ink
        {0xFF123456u, false, 0xFF123456u},
        {0x80000000u, false, 0xFF7F7F7Fu},  // half black
        {0x80FF0000u, false, 0xFFFF7F7Fu},  // half red
        {0x01000000u, false, 0xFFFEFEFEu},
        {0x80400000u, true, 0xFFBF7F7Fu},  // premultiplied: colour plus the paper left showing
        {0x00000000u, true, 0xFFFFFFFFu},
        {0xFF102030u, true, 0xFF102030u},
        {0x10FF0000u, true, 0xFFFFEFEFu},  // a colour above its alpha is held at white
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PixelOnWhite(c.pixel, c.premultiplied), c.expected) << std::hex << c.pixel;
        // In a row of its own kind, at every position of a group of four and in the tail.
        std::vector<uint32_t> row(11, c.pixel);
        LayOnWhite(row.data(), row.size(), c.premultiplied);
        for (size_t i = 0; i < row.size(); ++i)
            EXPECT_EQ(row[i], c.expected) << std::hex << c.pixel << " at " << i;
    }
}

TEST(LayOnWhite, RowsAgreeWithThePixelRuleForEveryAlphaAndColour) {
    for (bool premultiplied : {false, true}) {
        std::vector<uint32_t> row;
        for (uint32_t alpha = 0; alpha < 256; ++alpha) {
            for (uint32_t colour = 0; colour < 256; colour += 15) {
                const uint32_t c = premultiplied ? colour * alpha / 255 : colour;
                row.push_back(alpha << 24 | c << 16 | (255 - c) << 8 | (c / 2));
            }
        }
        row.push_back(0x7F010203u);  // a tail of one
        std::vector<uint32_t> expected;
        for (uint32_t pixel : row)
            expected.push_back(PixelOnWhite(pixel, premultiplied));
        LayOnWhite(row.data(), row.size(), premultiplied);
        EXPECT_EQ(row, expected) << premultiplied;
    }
}

}  // namespace
}  // namespace docview::engine
