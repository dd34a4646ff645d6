// Where the viewer's window opens from the stored values: damaged values count as missing, and a window
// stored off an edge or larger than its screen still opens in sight, on the screen it was saved on.
#include "viewer/display/window_placement.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace display {
namespace {

constexpr int32_t kIcon = 32;
const WindowRect kPrimary{0, 0, 1920, 1040};  // a task bar takes the bottom 40
const WindowRect kRightScreen{1920, 0, 3200, 1024};
const WindowRect kLeftScreen{-1280, 0, 0, 1024};

struct PlacementCase {
    const char* name;
    std::optional<uint32_t> zoom;
    std::optional<WindowRect> stored;
    std::vector<WindowRect> screens;
    WindowPlacement expected;
};

TEST(WindowPlacement, FitsTheStoredRectangleOntoTheScreens) {
    const PlacementCase cases[] = {
        {"missing", std::nullopt, std::nullopt, {kPrimary}, {kDefaultWindowRect, false}},
        {"kept as stored", 0u, WindowRect{100, 50, 900, 650}, {kPrimary}, {{100, 50, 900, 650}, false}},
        {"maximised", 1u, WindowRect{100, 50, 900, 650}, {kPrimary}, {{100, 50, 900, 650}, true}},
        {"zoom other than 1", 7u, std::nullopt, {kPrimary}, {kDefaultWindowRect, false}},
        {"far off the right edge",
         0u,
         WindowRect{5000, 100, 5600, 520},
         {kPrimary},
         {{1920 - kIcon, 100, 1920 - kIcon + 600, 520}, false}},
        {"far below the bottom",
         0u,
         WindowRect{10, 3000, 610, 3420},
         {kPrimary},
         {{10, 1040 - kIcon, 610, 1040 - kIcon + 420}, false}},
        {"off the left edge", 0u, WindowRect{-700, 100, -100, 520}, {kPrimary}, {{0, 100, 600, 520}, false}},
        {"off the top edge", 0u, WindowRect{100, -300, 700, 120}, {kPrimary}, {{100, 0, 700, 420}, false}},
        {"larger than the screen", 0u, WindowRect{0, 0, 4000, 3000}, {kPrimary}, {kPrimary, false}},
        {"on the second screen",
         0u,
         WindowRect{2000, 100, 2600, 520},
         {kPrimary, kRightScreen},
         {{2000, 100, 2600, 520}, false}},
        {"on a screen to the left",
         0u,
         WindowRect{-1200, 100, -600, 520},
         {kPrimary, kLeftScreen},
         {{-1200, 100, -600, 520}, false}},
        {"second screen gone",
         0u,
         WindowRect{2000, 100, 2600, 520},
         {kPrimary},
         {{1920 - kIcon, 100, 1920 - kIcon + 600, 520}, false}},
        {"larger than the second screen",
         0u,
         WindowRect{2000, 0, 4000, 2000},
         {kPrimary, kRightScreen},
         {{2000, 0, 3280, 1024}, false}},
        {"straddling onto the second",
         0u,
         WindowRect{1800, -50, 2600, 520},
         {kPrimary, kRightScreen},
         {{1920, 0, 2720, 570}, false}},
        {"no screen known", 0u, WindowRect{100, 50, 900, 650}, {}, {{100, 50, 900, 650}, false}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlaceWindow(c.zoom, c.stored, c.screens, kIcon), c.expected) << c.name;
    }
}

TEST(WindowPlacement, DamagedWindowSizeCountsAsMissing) {
    const std::vector<std::vector<uint8_t>> damaged = {
        {},
        std::vector<uint8_t>(15, 1),
        std::vector<uint8_t>(17, 1),
        EncodeWindowSize({100, 100, 100, 500}),           // no width
        EncodeWindowSize({100, 500, 700, 100}),           // upside down
        EncodeWindowSize({INT32_MAX, 0, INT32_MIN, 10}),  // right before left across the whole range
        EncodeWindowSize({INT32_MIN, 0, INT32_MAX, 10}),  // wider than any edge can say
    };
    for (const auto& bytes : damaged) {
        EXPECT_EQ(DecodeWindowSize(bytes), std::nullopt) << bytes.size();
    }
}

TEST(WindowPlacement, WindowSizeRoundTripsAsFourLittleEndianEdges) {
    const WindowRect rect{-1200, 20, 620, 440};
    const auto bytes = EncodeWindowSize(rect);
    const std::vector<uint8_t> expected = {0x50, 0xFB, 0xFF, 0xFF, 20,   0,    0, 0,
                                           0x6C, 0x02, 0,    0,    0xB8, 0x01, 0, 0};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(DecodeWindowSize(bytes), rect);
}

}  // namespace
}  // namespace display
