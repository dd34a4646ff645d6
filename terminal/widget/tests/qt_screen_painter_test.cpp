// The painter against a real screen model: cells land where the geometry says in their colours, one draw
// per run, the cursor inverted, clipping, the frame, drawing deferred to the render so that a flood of
// output costs one pass, and damage coalesced into one update.
#include "terminal/widget/qt_screen_painter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPalette>
#include <QTest>
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
        suite::LogFont description;
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
        m_painter.Render();
        m_painter.ResetStats();
        m_updates.clear();
    }

    // The image as a paint would show it now.
    const QImage& Rendered() {
        m_painter.Render();
        return m_painter.Image();
    }

    // The centre pixel of a cell.
    QColor CellColour(int32_t row, int32_t column) {
        return Rendered().pixelColor(m_screen.CellX(column) + m_cell.width / 2,
                                     m_screen.CellY(row) + m_cell.height / 2);
    }

    bool WaitForUpdate() {
        return QTest::qWaitFor([this] { return !m_updates.empty(); }, 5000);
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
    EXPECT_EQ(m_painter.GetStats().textDraws, 0) << "nothing is drawn while the data is fed";
    m_painter.Render();
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
    m_painter.Render();
    m_painter.ResetStats();
    m_painter.RequestFullRepaint();
    m_painter.Render();
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
    // 79 cells on the last row: the 80th would scroll, which repaints the whole window.
    m_screen.Feed("\x1B[25;1H" + Block(79) + "\x1B[20;1H" + Block(80));
    EXPECT_EQ(Rendered().pixelColor(10, height - 3), before);
    m_painter.Flush();
    ASSERT_FALSE(m_updates.empty());
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

// Text and clears that reach the same rows before one render come out in the order the host sent them.
struct OrderCase {
    const char* name;
    std::string stream;
    int32_t row;
    bool blockShows;  // else the row shows the clear
};

void PrintTo(const OrderCase& c, std::ostream* out) {
    *out << c.name;
}

class PainterOrderTest : public PainterTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(PainterOrderTest, TheLastOfTextAndClearShows) {
    m_screen.Feed(GetParam().stream);
    const QColor shown = CellColour(GetParam().row, 2);
    const QColor block = ToQColor(m_screen.ForegroundAt(GetParam().row, 2));
    if (GetParam().blockShows) {
        EXPECT_EQ(shown, block);
    } else {
        EXPECT_EQ(shown, ToQColor(m_screen.BackgroundAt(GetParam().row, 2)));
        EXPECT_NE(shown, block);
    }
}

const std::string kBlocks(5, char(kFullBlock));

INSTANTIATE_TEST_SUITE_P(
    Painter, PainterOrderTest,
    ::testing::Values(OrderCase{"TextThenClearScreen", "\x1B[4;1H" + kBlocks + "\x1B[2J", 3, false},
                      OrderCase{"ClearScreenThenText", "\x1B[2J\x1B[4;1H" + kBlocks, 3, true},
                      OrderCase{"TextThenClearBelow", "\x1B[6;1H" + kBlocks + "\x1B[2;1H\x1B[J", 5, false},
                      OrderCase{"TextThenEraseLine", "\x1B[6;1H" + kBlocks + "\x1B[6;1H\x1B[K", 5, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PainterTest, RowsDrawnBeforePaintingWentOffShowWhatWasWrittenThen) {
    m_screen.Feed("\x1B[3;1H" + Block(4));
    const QColor before = ToQColor(m_screen.ForegroundAt(2, 1));
    // Painting off, then the row changes colour in the model: the screen keeps showing the old cells.
    m_screen.Feed("\x1B[T\x1B[3;1H\x1B[32m\x1B[45m    ");
    EXPECT_EQ(CellColour(2, 1), before);
    EXPECT_NE(ToQColor(m_screen.BackgroundAt(2, 1)), before);
    m_screen.Feed("\x1B[S");
    EXPECT_EQ(CellColour(2, 1), ToQColor(m_screen.BackgroundAt(2, 1)));
}

TEST_F(PainterTest, ManyWritesToARowBeforeARenderDrawItsRunsOnce) {
    for (int i = 0; i < 500; ++i) {
        m_screen.Feed("\x1B[6;" + std::to_string(1 + i % 70) + "H\x1B[" + std::to_string(31 + i % 6) + "m" +
                      Block(2));
    }
    m_painter.Render();
    // Row 6 has at most 80 runs, whatever was written to it.
    EXPECT_LE(m_painter.GetStats().textDraws, 80);
    EXPECT_EQ(m_painter.GetStats().renders, 1);
    for (const int32_t column : {0, 33, 70}) {
        EXPECT_EQ(CellColour(5, column), ToQColor(m_screen.ForegroundAt(5, column))) << column;
    }
}

TEST_F(PainterTest, FloodOfOutputCostsOneRepaintAndOneUpdate) {
    for (int i = 0; i < 300; ++i) {
        m_screen.Feed("line " + std::to_string(i) + "\r\n");
    }
    EXPECT_TRUE(m_updates.empty());  // nothing until the event loop turns
    ASSERT_TRUE(WaitForUpdate());
    m_painter.Render();
    EXPECT_EQ(m_updates.size(), 1u);
    EXPECT_EQ(m_painter.GetStats().fullRepaints, 1);
    // Nothing was drawn as it came: the one repaint drew each of the 25 one-colour rows once.
    EXPECT_EQ(m_painter.GetStats().textDraws, 25);
    QTest::qWait(3 * QtScreenPainter::kFrameMilliseconds);
    EXPECT_EQ(m_updates.size(), 1u);
}

TEST_F(PainterTest, SmallChangesAreCoalescedIntoOneRegion) {
    m_screen.Feed("\x1B[1;1Ha");
    m_screen.Feed("\x1B[10;1Hb");
    ASSERT_TRUE(WaitForUpdate());
    ASSERT_EQ(m_updates.size(), 1u);
    EXPECT_TRUE(m_updates[0].contains(QPoint(m_screen.CellX(0) + 1, m_screen.CellY(0) + 1)));
    EXPECT_TRUE(m_updates[0].contains(QPoint(m_screen.CellX(0) + 1, m_screen.CellY(9) + 1)));
    EXPECT_FALSE(m_updates[0].contains(QPoint(m_screen.CellX(40), m_screen.CellY(5))));
}

TEST_F(PainterTest, FrameUsesTheButtonColoursAndNoneWithoutBorderOrToolbars) {
    SetUpWindow(true, true, QSize(900, 500));
    const QImage& image = Rendered();
    EXPECT_EQ(image.pixelColor(2, 250), QColor(10, 20, 30));     // the border's face
    EXPECT_EQ(image.pixelColor(450, 20), QColor(10, 20, 30));    // inside the toolbar band
    EXPECT_EQ(image.pixelColor(0, 250), QColor(250, 250, 250));  // raised outer edge
    EXPECT_EQ(image.pixelColor(899, 250), QColor(1, 1, 1));

    SetUpWindow(false, false, QSize(900, 500));
    EXPECT_EQ(Rendered().pixelColor(2, 2), ToQColor(m_screen.ClearColour()));
    m_painter.RequestFullRepaint();
    m_painter.Render();
    EXPECT_EQ(m_painter.GetStats().frames, 0);
}

TEST_F(PainterTest, HighDensityImageKeepsTheWidgetsCoordinates) {
    m_painter.Resize(QSize(900, 500), 2.0);
    m_painter.Render();
    m_screen.Feed("\x1B[3;5H" + Block(1));
    const QImage& image = Rendered();
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
    EXPECT_EQ(Rendered().pixelColor(5, 5), ToQColor(m_screen.ClearColour()));
    EXPECT_EQ(m_painter.GetStats().textDraws, 0);
}

}  // namespace
}  // namespace terminal
