// Basic types of the terminal screen: its fixed size, colours as 0x00BBGGRR values, the two colour palettes
// the host chooses from, and pixel rectangles for the painter.
#pragma once

#include <array>
#include <cstdint>

namespace terminal {

inline constexpr int32_t kScreenColumns = 80;
inline constexpr int32_t kScreenRows = 25;
inline constexpr int32_t kScreenCells = kScreenColumns * kScreenRows;
inline constexpr uint8_t kBlank = 0x20;

// A colour as the host protocol and the snapshot carry it: red in the low byte, then green, then blue.
using Colour = uint32_t;

constexpr Colour Rgb(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<Colour>(red) | (static_cast<Colour>(green) << 8) | (static_cast<Colour>(blue) << 16);
}
constexpr uint8_t RedOf(Colour c) {
    return static_cast<uint8_t>(c & 0xFF);
}
constexpr uint8_t GreenOf(Colour c) {
    return static_cast<uint8_t>((c >> 8) & 0xFF);
}
constexpr uint8_t BlueOf(Colour c) {
    return static_cast<uint8_t>((c >> 16) & 0xFF);
}

inline constexpr std::array<Colour, 16> kForegroundPalette = {
    Rgb(0, 0, 0),       Rgb(0, 0, 128),   Rgb(0, 255, 0),   Rgb(0, 255, 255),
    Rgb(255, 0, 0),     Rgb(128, 0, 128), Rgb(128, 128, 0), Rgb(255, 255, 255),
    Rgb(200, 200, 200), Rgb(0, 0, 255),   Rgb(0, 255, 0),   Rgb(0, 255, 255),
    Rgb(255, 0, 0),     Rgb(255, 0, 255), Rgb(255, 255, 0), Rgb(255, 255, 255),
};

inline constexpr std::array<Colour, 17> kBackgroundPalette = {
    Rgb(0, 0, 0),       Rgb(0, 0, 128),     Rgb(0, 128, 0),     Rgb(0, 128, 128),   Rgb(128, 0, 0),
    Rgb(128, 0, 128),   Rgb(128, 128, 0),   Rgb(200, 200, 200), Rgb(128, 128, 128), Rgb(0, 0, 255),
    Rgb(0, 255, 0),     Rgb(0, 255, 255),   Rgb(255, 0, 0),     Rgb(255, 0, 255),   Rgb(255, 255, 0),
    Rgb(255, 255, 255), Rgb(214, 218, 255),
};

inline constexpr Colour kInitialForeground = kForegroundPalette[15];
inline constexpr Colour kInitialBackground = kBackgroundPalette[1];

// A pixel rectangle in window coordinates; right and bottom are exclusive.
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const PixelRect&) const = default;
};

// A cursor or cell position; either may lie off the screen.
struct CellPosition {
    int32_t column = 0;
    int32_t row = 0;
    bool operator==(const CellPosition&) const = default;
};

}  // namespace terminal
