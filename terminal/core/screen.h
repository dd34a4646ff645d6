// The terminal's character screen and the interpreter of the host's byte stream: 80 x 25 cells with a
// character and two colours each, a cursor, the escape sequence scanner and its command table, the pixel
// geometry of the cell grid, and the snapshot that hands a running screen to another control.
#pragma once

#include <sys/types.h>

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"
#include "terminal/core/screen_owner.h"
#include "terminal/core/screen_painter.h"
#include "terminal/core/screen_scanner.h"
#include "terminal/core/screen_types.h"

namespace terminal {

// Bytes of host data an incomplete escape sequence may hold back between feeds.
inline constexpr int32_t kHoldBackBytes = 2048;
// The cursor may leave the screen (ESC[0;0H, D at column 0); these bound how far, so that no arithmetic on
// it can overflow. Off-screen positions store and draw nothing.
inline constexpr int32_t kMinColumn = -(1 << 20);
inline constexpr int32_t kMinRow = -1;
inline constexpr int32_t kMaxRow = INT32_MAX - 1;

// The pixel placement of the cell grid in the control's window, in the snapshot's field order.
struct ScreenGeometry {
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    int32_t usableWidth = 0;
    int32_t usableHeight = 0;
    int32_t frameOffsetX = 0;
    int32_t frameOffsetY = 0;
    int32_t bandOffsetX = 0;
    int32_t bandOffsetY = 0;
    int32_t marginX = 0;
    int32_t marginY = 0;
    int32_t textWidth = 0;
    int32_t originX = 0;
    int32_t originY = 0;
    int32_t frameShown = 1;
    int32_t statusBarShown = 0;
    int32_t extraOffsetX = 0;
    int32_t extraOffsetY = 0;
    bool operator==(const ScreenGeometry&) const = default;
};

struct CellSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const CellSize&) const = default;
};

class CTerminalScreen {
  public:
    CTerminalScreen();
    CTerminalScreen(const CTerminalScreen&) = delete;
    CTerminalScreen& operator=(const CTerminalScreen&) = delete;

    // Neither is owned; null restores the one that ignores everything.
    void SetOwner(ScreenOwner* owner);
    void SetPainter(ScreenPainter* painter);

    // Interprets host bytes. Bytes that arrive while a command is being carried out (a nested event loop
    // under a message box) are interpreted after the current ones, in order.
    void Feed(std::span<const uint8_t> bytes);
    void Feed(std::string_view bytes);

    // The blinking cursor.
    void ToggleCursor();
    void HideCursor() {
        if (m_cursorShown) {
            HideShownCursor();
        }
    }
    CellPosition GetCursor() const { return {m_column, m_row}; }
    bool CursorShown() const { return m_cursorShown; }

    // Cell contents, by row and column on the screen; outside it a blank in colour 0.
    uint8_t CharAt(int32_t row, int32_t column) const;
    Colour ForegroundAt(int32_t row, int32_t column) const;
    Colour BackgroundAt(int32_t row, int32_t column) const;
    // Copies characters from cell index `start` (row * 80 + column) on, as many as fit `destination` and the
    // screen; returns how many.
    size_t CopyCells(std::span<uint8_t> destination, int32_t start) const;
    std::string CopyCells(int32_t start, int32_t count) const;

    Colour CurrentForeground() const { return m_foreground; }
    Colour CurrentBackground() const { return m_background; }
    Colour ClearColour() const { return m_clearColour; }
    bool PaintingOn() const { return m_paintingOn; }
    int32_t CurrentToolbar() const { return m_currentToolbar; }
    // The digest command e expects of the next file that E opens; empty when none.
    const std::string& ExpectedDigest() const { return m_expectedDigest; }
    void ClearExpectedDigest() { m_expectedDigest.clear(); }
    // Bytes of an incomplete escape sequence held for the next feed, and the tokens scanned so far.
    int32_t BufferedCount() const { return m_buffered; }
    size_t TokenCount() const { return m_scanner.TokenCount(); }

    // Geometry: cell size from the terminal font, the window size and the offsets that place the grid.
    void SetCellSize(int32_t width, int32_t height);
    CellSize GetCellSize() const { return {m_cellWidth, m_cellHeight}; }
    void Resize(int32_t width, int32_t height, int32_t statusBarHeight = 0);
    void Layout(int32_t cellWidth, int32_t cellHeight);
    void SetFrameOffset(int32_t x, int32_t y);
    void SetBandOffset(int32_t x, int32_t y);
    void SetExtraOffset(int32_t x, int32_t y);
    void SetFrameShown(bool shown) { m_geometry.frameShown = shown ? 1 : 0; }
    void SetStatusBarShown(bool shown) { m_geometry.statusBarShown = shown ? 1 : 0; }
    const ScreenGeometry& Geometry() const { return m_geometry; }
    // The rectangle all cell drawing is clipped to.
    PixelRect ClipRect() const;
    // The usable area of the window, from the frame offset.
    PixelRect UsableRect() const;
    // The 80 x 25 cells in pixels.
    PixelRect CellArea() const;
    // Top-left pixel of a cell (the cell may be off the screen).
    int32_t CellX(int32_t column) const {
        return PixelClamp(int64_t{column} * m_cellWidth + m_geometry.extraOffsetX + m_geometry.originX);
    }
    int32_t CellY(int32_t row) const {
        return PixelClamp(int64_t{row} * m_cellHeight + m_geometry.extraOffsetY + m_geometry.originY);
    }
    // The cell under a window point, by integer division from the origin; none before the cell size is known.
    std::optional<CellPosition> CellFromPoint(int32_t x, int32_t y) const;

    // Redraws everything: the background and frame when asked, then every row in runs of equal colours,
    // then the cursor cell when it is shown. Before the cell size is known only the background and frame.
    void Repaint(bool withBackground);

    // The 22160-byte hand-over image of the screen, and adopting one. A damaged image is refused (with the
    // reason in `why`) and the screen stays as it was.
    std::vector<uint8_t> SnapshotImage() const;
    bool AdoptSnapshotImage(std::span<const uint8_t> image, std::string* why = nullptr);
    // The image in a new shared mapping; returns its fd (close-on-exec, handed to a child through Spawn's
    // inherited fds), or an invalid fd after showing why.
    platform::UniqueFd SaveSnapshot() const;
    // Adopts the image in mapping `handle`: an fd of this process (closed once read) when `processId` is 0 or
    // this process, else fd `handle` of process `processId`. Failures are shown and leave the screen as it
    // was; the process goes on.
    bool RestoreSnapshot(int handle, pid_t processId = 0);

  private:
    static int32_t PixelClamp(int64_t v) {
        return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
    }
    // A command gets the index of its letter in the token stack and returns how many tokens before it used.
    using CommandHandler = size_t (*)(CTerminalScreen& screen, size_t index);
    template <size_t (CTerminalScreen::*Command)(size_t)>
    static size_t Call(CTerminalScreen& screen, size_t index) {
        return (screen.*Command)(index);
    }

    // Stream interpretation.
    void Process(std::span<const uint8_t> data);
    size_t ContinueSequence(std::span<const uint8_t> data);
    void SequenceNotComplete(EscapeScanner::Outcome outcome, std::span<const uint8_t> scanned);
    void GiveUpSequence();
    void EndSequence() {
        m_scanner.End();
        m_buffered = 0;
    }
    // Walks the tokens before index `end`.
    void Dispatch(size_t end);
    // Dispatch of a complete sequence, which then ends.
    void DispatchWhole();
    // The same for a sequence that the quick scan took, whose last token is its command letter.
    void DispatchLast();

    // The text writer and the cursor movements of the control bytes.
    // `readable`: how many bytes may be read from `text` on, when more than the run.
    void WriteText(const uint8_t* text, size_t length, size_t readable = 0);
    void WriteWrapping(const uint8_t* text, size_t length);
    void StoreRun(const uint8_t* text, size_t length);
    void NewLine();
    void Scroll();
    void Backspace();
    void Tab();

    // Cell storage keeps its rows in a ring, so that a scroll moves no cells.
    size_t RowBase(int32_t row) const {
        const int32_t physical = m_topRow + row;
        return static_cast<size_t>(physical >= kScreenRows ? physical - kScreenRows : physical) *
               kScreenColumns;
    }
    static bool OnScreen(int32_t row, int32_t column);
    // Recomputes the cells' pixel corners; every change of the cell size or of the grid's place calls it.
    void UpdateCellPixels();
    void BlankCells(int32_t row, int32_t firstColumn, Colour foreground, Colour background);
    void DrawRowRuns(int32_t row, int32_t firstColumn);
    void DrawCursor(bool inverted);
    void HideShownCursor();

    // Erasing.
    void ClearToEndOfLine();
    void ClearBelow();
    void ClearScreen();

    // Commands.
    bool IsInteger(size_t index, size_t back) const {
        return index >= back && m_scanner.TokenAt(index - back).kind == TokenKind::Integer;
    }
    bool IsString(size_t index, size_t back) const;
    int32_t IntegerAt(size_t index, size_t back) const { return m_scanner.TokenAt(index - back).value; }
    std::string StringAt(size_t index, size_t back);
    size_t CommandCursorRight(size_t index);
    size_t CommandCursorLeft(size_t index);
    size_t CommandForeground(size_t index);
    size_t CommandBackground(size_t index);
    size_t CommandClearColour(size_t index);
    size_t CommandCursorPosition(size_t index);
    size_t CommandErase(size_t index);
    size_t CommandEraseLine(size_t index);
    size_t CommandPaintingOn(size_t index);
    size_t CommandPaintingOff(size_t index);
    size_t CommandShowCursor(size_t index);
    size_t CommandNothing(size_t index);
    size_t CommandAttributes(size_t index);
    size_t CommandOperatorsGuide(size_t index);
    size_t CommandFileTransfer(size_t index);
    size_t CommandOpenFile(size_t index);
    size_t CommandExpectDigest(size_t index);
    size_t CommandMessage(size_t index);
    size_t CommandErrorBox(size_t index);
    size_t CommandSwitchPractice(size_t index);
    size_t CommandSetHost(size_t index);
    size_t CommandSetDataSet(size_t index);
    size_t CommandStartProgram(size_t index);
    size_t CommandTitle(size_t index);
    size_t CommandToolbar(size_t index);
    size_t CommandCalendar(size_t index);
    size_t CommandAppendTerminalId(size_t index);
    size_t CommandTerminalId(size_t index);
    size_t CommandChainable(size_t index);
    size_t CommandField(size_t index);
    size_t CommandCreateObject(size_t index);
    size_t CommandCallObject(size_t index);
    size_t CommandReleaseObject(size_t index);
    size_t CommandBringToFront(size_t index);
    size_t CommandNewWindow(size_t index);
    size_t CommandTamsel(size_t index);
    size_t CommandBillingServer(size_t index);
    size_t CommandPrint(size_t index);
    size_t CommandApplicationUser(size_t index);

    ScreenOwner& Owner() { return *m_owner; }
    ScreenPainter& Painter() { return *m_painter; }

    Colour m_foreground = kInitialForeground;
    Colour m_background = kInitialBackground;
    Colour m_clearColour = kInitialBackground;
    // Physical rows: logical row r lives at physical row (m_topRow + r) mod 25.
    struct CellColours {
        Colour foreground;
        Colour background;
        bool operator==(const CellColours&) const = default;
    };
    std::array<CellColours, kScreenCells> m_cellColours;
    // Sets `count` cells from `at` within one row to `colours`.
    void FillColours(size_t at, size_t count, CellColours colours);
    static void FillFewColours(CellColours* cells, size_t count, CellColours colours);
    // A row's worth of one colour pair, valid for its first m_fillValid cells, to copy from: storing a pair
    // at a time costs a store a cell, and most rows of a screen are written in one pair.
    std::array<CellColours, kScreenColumns> m_fillRow{};
    CellColours m_fillColours{};
    size_t m_fillValid = 0;
    std::array<uint8_t, kScreenCells> m_cells;
    int32_t m_topRow = 0;
    ScreenOwner* m_owner;
    ScreenPainter* m_painter;
    std::array<uint8_t, kHoldBackBytes> m_input{};
    int32_t m_currentToolbar = 0;
    int32_t m_column = 0;
    int32_t m_row = 0;
    int32_t m_buffered = 0;
    int32_t m_cellWidth = 0;
    int32_t m_cellHeight = 0;
    // CellX and CellY of every column and row on the screen: the text writer draws a run at them without
    // recomputing.
    std::array<int32_t, kScreenColumns> m_columnX{};
    std::array<int32_t, kScreenRows> m_rowY{};
    EscapeScanner m_scanner;
    bool m_cursorShown = false;
    bool m_paintingOn = true;
    ScreenGeometry m_geometry;
    std::array<CommandHandler, 256> m_commands{};
    std::string m_expectedDigest;

    bool m_feeding = false;
    std::vector<uint8_t> m_deferred;
};

}  // namespace terminal
