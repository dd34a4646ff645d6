// Selecting cells with the mouse: the rubber band's snapping to whole cells, a click that selects nothing,
// and the clipboard text with its CR LF separators and blank padding outside the screen.
#include "terminal/core/selection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "terminal/core/screen.h"
#include "terminal/core/tests/screen_recorder.h"

namespace terminal::testing {
namespace {

// 8 x 16 cells with the grid at (21, 33): a cell's left edge is 21 + 8 * column, its top 33 + 16 * row.
class Selection : public ::testing::Test {
  protected:
    void SetUp() override {
        tracker.SetCellSize(8, 16);
        tracker.SetOrigin(21, 33);
        for (int row = 0; row < 25; ++row) {
            std::string line;
            for (int column = 0; column < 79; ++column) {
                line += static_cast<char>('a' + (row + column) % 26);
            }
            s.Feed("\x1B[" + std::to_string(row + 1) + ";1H" + line);
        }
    }
    static int32_t X(int32_t column, int32_t offset = 0) { return 21 + 8 * column + offset; }
    static int32_t Y(int32_t row, int32_t offset = 0) { return 33 + 16 * row + offset; }
    std::string Text() { return SelectionText(s.screen, tracker).value_or("<none>"); }

    RecordedScreen s;
    CCopyTracker tracker;
};

TEST_F(Selection, AClickWithoutLeavingTheCellSelectsNothing) {
    ASSERT_TRUE(tracker.Track(X(3, 2), Y(2, 5)));
    EXPECT_EQ(tracker.Adjust(X(3, 6), Y(2, 12)), (PixelRect{X(3, 2), Y(2, 5), X(3, 2), Y(2, 5)}));
    EXPECT_FALSE(tracker.EndTrack());
    EXPECT_FALSE(tracker.GetCellRect());
    EXPECT_FALSE(SelectionText(s.screen, tracker));
}

TEST_F(Selection, DraggingRightAndDownSnapsToTheNearestCellEdge) {
    ASSERT_TRUE(tracker.Track(X(3, 2), Y(2, 5)));
    // Past the middle of column 6: it is in; short of the middle of row 4: it is out.
    EXPECT_EQ(tracker.Adjust(X(6, 5), Y(4, 3)), (PixelRect{X(3), Y(2), X(7), Y(4)}));
    EXPECT_TRUE(tracker.EndTrack());
    ASSERT_TRUE(tracker.GetCellRect());
    // In window cells: the grid origin is two cells in (21 / 8, 33 / 16).
    EXPECT_EQ(*tracker.GetCellRect(), (CellRect{5, 4, 8, 5}));
    EXPECT_EQ(Text(), "fghi\r\nghij");
}

TEST_F(Selection, DraggingLeftSelectsFromThePointerRoundedByHalfACellToTheAnchorsRightEdge) {
    ASSERT_TRUE(tracker.Track(X(10, 1), Y(5, 1)));
    EXPECT_EQ(tracker.Adjust(X(6, 2), Y(5, 8)), (PixelRect{X(6), Y(5), X(11), Y(6)}));
    EXPECT_EQ(tracker.Adjust(X(6, 6), Y(5, 8)), (PixelRect{X(7), Y(5), X(11), Y(6)}));
    EXPECT_TRUE(tracker.EndTrack());
    EXPECT_EQ(Text(), "mnop");
}

TEST_F(Selection, ThreeRowsGiveTwoSeparatorsAndNoTrailingBreak) {
    ASSERT_TRUE(tracker.Track(X(0, 1), Y(0, 1)));
    tracker.Adjust(X(2, 7), Y(2, 15));
    ASSERT_TRUE(tracker.EndTrack());
    EXPECT_EQ(Text(), "abc\r\nbcd\r\ncde");
}

TEST_F(Selection, PartsOutsideTheScreenArePaddedWithBlanks) {
    ASSERT_TRUE(tracker.Track(X(77, 1), Y(24, 1)));
    tracker.Adjust(X(81, 7), Y(25, 15));
    ASSERT_TRUE(tracker.EndTrack());
    // Column 79 was never written; columns 80 and 81 and row 25 lie outside the screen.
    EXPECT_EQ(Text(), std::string("xy   ") + "\r\n" + "     ");

    CCopyTracker away;
    away.SetCellSize(8, 16);
    away.SetOrigin(21, 33);
    ASSERT_TRUE(away.Track(X(-10, 1), Y(30, 1)));
    away.Adjust(X(-8, 7), Y(31, 15));
    ASSERT_TRUE(away.EndTrack());
    EXPECT_EQ(SelectionText(s.screen, away), "   \r\n   ");
}

TEST_F(Selection, ClearingReturnsTheRectangleToEraseOnce) {
    ASSERT_TRUE(tracker.Track(X(1, 1), Y(1, 1)));
    tracker.Adjust(X(3, 7), Y(1, 15));
    ASSERT_TRUE(tracker.EndTrack());
    EXPECT_EQ(tracker.ClearSelection(), (PixelRect{X(1), Y(1), X(4), Y(2)}));
    EXPECT_FALSE(tracker.IsActive());
    EXPECT_FALSE(tracker.ClearSelection());
    EXPECT_FALSE(SelectionText(s.screen, tracker));
}

TEST(SelectionTracker, NoTrackingBeforeTheCellSizeIsKnown) {
    CCopyTracker tracker;
    EXPECT_FALSE(tracker.Track(10, 10));
    EXPECT_FALSE(tracker.EndTrack());
    EXPECT_FALSE(tracker.GetCellRect());
}

}  // namespace
}  // namespace terminal::testing
