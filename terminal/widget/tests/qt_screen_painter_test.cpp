// The painter against a real screen model: cells land where the geometry says in their colours, one draw
// per run, the cursor inverted, clipping, the frame, and damage coalesced into one update per turn.
#include "terminal/widget/qt_screen_painter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPalette>
#include <string>

#include "terminal/widget/terminal_font.h"

namespace terminal {
namespace {

constexpr uint8_t kFullBlock = 0xDB;

class PainterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_screen.SetPainter(&m_painter);
        QPalette colours;
        colours.setColor(QPalette::Button, QColor(10, 20, 30));
        colours.setColor(QPalette::Light, QColor(250, 250, 250));
        colours.setColor(QPalette::Dark, QColor(100, 100, 100));
        colours.setColor(QPalette::Shadow, QColor(1, 1, 1));
        m_painter.SetPalette(colours);
        SetUpWindow(false, false, QSize(900, 500));
    }
    void TearDown() override { m_screen.SetPainter(nullptr); }

    void SetUpWindow(bool border, bool toolbars, QSize size) {
        m_painter.SetFrameStyle(border, toolbars);
        m_screen.SetFrameShown(border);
        m_screen.SetFrameOffset(border ? 6 : 0, toolbars ? 35 : (border ? 6 : 0));
        LogFont description;
        description.height = 16;
        description.faceName = "TarnFont";
        const QFont font = CreateTerminalFont(description);
        m_cell = MeasureCell(font);
        m_screen.SetCellSize(m_cell.width, m_cell.height);
        m_painter.SetFont(GridFont(font, m_cell.width), m_cell);
        m_painter.Resize(size);
        m_screen.Resize(size.width(), size.height());
        m_screen.Layout(m_cell.width, m_cell.height);
        m_painter.Flush();
        m_painter.ResetStats();
        m_updates.clear();
    }

    // The centre pixel of a cell.
    QColor CellColour(int32_t row, int32_t column) const {
        return m_painter.Image().pixelColor(m_screen.CellX(column) + m_cell.width / 2,
                                            m_screen.CellY(row) + m_cell.height / 2);
    }

    std::string Block(int count) const { return std::string(static_cast<size_t>(count), char(kFullBlock)); }

    CTerminalScreen m_screen;
    std::vector<QRegion> m_updates;
    QtScreenPainter m_painter{m_screen, [this](const QRegion& r) { m_updates.push_back(r); }};
    CellSize m_cell;
};

TEST_F(PainterTest, CellsShowTheirCharactersInTheirColours) {
    m_screen.Feed("\x1B[3;5H" + Block(1) + " ");
    const QColor foreground = ToQColor(m_screen.ForegroundAt(2, 4));
    const QColor background = ToQColor(m_screen.BackgroundAt(2, 4));
    ASSERT_NE(foreground, background);
    EXPECT_EQ(CellColour(2, 4), foreground);  // the full block covers its cell
    EXPECT_EQ(CellColour(2, 5), background);  // the blank shows the background, opaque
}

TEST_F(PainterTest, OneDrawPerRunAndTheRunStaysOnTheGrid) {
    m_screen.Feed("\x1B[1;1H" + Block(80));
    EXPECT_EQ(m_painter.GetStats().textDraws, 1);
    // Drawn at once, the 80th glyph still lands in the 80th cell.
    EXPECT_EQ(CellColour(0, 79), ToQColor(m_screen.ForegroundAt(0, 79)));
    EXPECT_EQ(CellColour(0, 0), ToQColor(m_screen.ForegroundAt(0, 0)));
}

TEST_F(PainterTest, FullRepaintDrawsEachRowInRunsOfEqualColours) {
    // Row 2 gets three runs: the blanks before, two cells in new colours, the blanks after.
    const Colour foreground = m_screen.ForegroundAt(1, 0);
    const Colour background = m_screen.BackgroundAt(1, 0);
    m_screen.Feed("\x1B[2;10H\x1B[31m\x1B[42mRG");
    ASSERT_TRUE(m_screen.ForegroundAt(1, 9) != foreground || m_screen.BackgroundAt(1, 9) != background);
    m_painter.ResetStats();
    m_painter.RequestFullRepaint();
    m_painter.Flush();
    EXPECT_EQ(m_painter.GetStats().fullRepaints, 1);
    EXPECT_EQ(m_painter.GetStats().textDraws, 24 + 3);
}

TEST_F(PainterTest, CursorCellIsInverted) {
    m_screen.Feed("\x1B[5;7H");
    const QColor foreground = ToQColor(m_screen.ForegroundAt(4, 6));
    const QColor background = ToQColor(m_screen.BackgroundAt(4, 6));
    EXPECT_EQ(CellColour(4, 6), background);
    m_screen.ToggleCursor();
    EXPECT_EQ(CellColour(4, 6), foreground);
    m_screen.ToggleCursor();
    EXPECT_EQ(CellColour(4, 6), background);
}

TEST_F(PainterTest, DrawingStaysInsideTheClip) {
    // A window so short that the last rows fall below the clip, which ends 6 pixels above the bottom.
    const int height = m_cell.height * 20;
    SetUpWindow(false, false, QSize(900, height));
    const QColor before = m_painter.Image().pixelColor(10, height - 3);
    m_screen.Feed("\x1B[25;1H" + Block(80) + "\x1B[20;1H" + Block(80));
    EXPECT_EQ(m_painter.Image().pixelColor(10, height - 3), before);
    const QRect clip(0, 0, 900, height - 6);
    for (const QRegion& r : m_updates) {
        EXPECT_TRUE(clip.contains(r.boundingRect()))
            << r.boundingRect().y() << " " << r.boundingRect().height();
    }
}

TEST_F(PainterTest, ClearScreenFillsTheCellAreaWithTheClearColour) {
    m_screen.Feed("\x1B[1;1H" + Block(80));
    m_screen.Feed("\x1B[2J");
    EXPECT_EQ(CellColour(0, 40), ToQColor(m_screen.ClearColour()));
    EXPECT_GE(m_painter.GetStats().fills, 1);
}

TEST_F(PainterTest, FloodOfOutputCostsOneRepaintAndOneUpdatePerTurn) {
    for (int i = 0; i < 300; ++i) {
        m_screen.Feed("line " + std::to_string(i) + "\r\n");
    }
    EXPECT_TRUE(m_updates.empty());  // nothing until the event loop turns
    QCoreApplication::processEvents();
    EXPECT_EQ(m_updates.size(), 1u);
    EXPECT_EQ(m_painter.GetStats().fullRepaints, 1);
    // The 25 lines before the first scroll were drawn as they came; everything after waited for the one
    // repaint of the 25 rows.
    EXPECT_EQ(m_painter.GetStats().textDraws, 25 + 25);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_updates.size(), 1u);
}

TEST_F(PainterTest, SmallChangesAreCoalescedIntoOneRegion) {
    m_screen.Feed("\x1B[1;1Ha");
    m_screen.Feed("\x1B[10;1Hb");
    QCoreApplication::processEvents();
    ASSERT_EQ(m_updates.size(), 1u);
    EXPECT_TRUE(m_updates[0].contains(QPoint(m_screen.CellX(0) + 1, m_screen.CellY(0) + 1)));
    EXPECT_TRUE(m_updates[0].contains(QPoint(m_screen.CellX(0) + 1, m_screen.CellY(9) + 1)));
    EXPECT_FALSE(m_updates[0].contains(QPoint(m_screen.CellX(40), m_screen.CellY(5))));
}

TEST_F(PainterTest, FrameUsesTheButtonColoursAndNoneWithoutBorderOrToolbars) {
    SetUpWindow(true, true, QSize(900, 500));
    const QImage& image = m_painter.Image();
    EXPECT_EQ(image.pixelColor(2, 250), QColor(10, 20, 30));     // the border's face
    EXPECT_EQ(image.pixelColor(450, 20), QColor(10, 20, 30));    // inside the toolbar band
    EXPECT_EQ(image.pixelColor(0, 250), QColor(250, 250, 250));  // raised outer edge
    EXPECT_EQ(image.pixelColor(899, 250), QColor(1, 1, 1));

    SetUpWindow(false, false, QSize(900, 500));
    EXPECT_EQ(m_painter.Image().pixelColor(2, 2), ToQColor(m_screen.ClearColour()));
    m_painter.RequestFullRepaint();
    m_painter.Flush();
    EXPECT_EQ(m_painter.GetStats().frames, 0);
}

TEST_F(PainterTest, HighDensityImageKeepsTheWidgetsCoordinates) {
    m_painter.Resize(QSize(900, 500), 2.0);
    m_painter.Flush();
    m_screen.Feed("\x1B[3;5H" + Block(1));
    const QImage& image = m_painter.Image();
    EXPECT_EQ(image.size(), QSize(1800, 1000));
    const QPoint centre(m_screen.CellX(4) + m_cell.width / 2, m_screen.CellY(2) + m_cell.height / 2);
    EXPECT_EQ(image.pixelColor(centre * 2), ToQColor(m_screen.ForegroundAt(2, 4)));
    EXPECT_EQ(image.pixelColor(centre), ToQColor(m_screen.BackgroundAt(0, 0)));
}

TEST_F(PainterTest, WithoutAFontOnlyTheBackgroundIsPainted) {
    m_painter.ClearFont();
    m_screen.SetCellSize(0, 0);
    m_painter.ResetStats();
    m_screen.Feed("text");
    m_painter.RequestFullRepaint();
    m_painter.Flush();
    EXPECT_EQ(m_painter.GetStats().textDraws, 0);
    EXPECT_EQ(m_painter.Image().pixelColor(5, 5), ToQColor(m_screen.ClearColour()));
}

}  // namespace
}  // namespace terminal
