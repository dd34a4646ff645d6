// What the screen model asks of whoever draws it: text runs, fills, the cursor cell, the frame and full
// repaints. The Qt widget implements it; tests record the calls. The model never calls it while painting is
// off.
#pragma once

#include <cstdint>
#include <string_view>

#include "terminal/core/screen_types.h"

namespace terminal {

// One run of cells on one row in one pair of colours: the text starts at the cell (row, column), drawn with
// its top-left corner at pixel (x, y), opaque, clipped to the screen's clip rectangle. The text is the
// cells' bytes (code page 437 glyphs); it is valid only during the call.
struct TextRun {
    int32_t row = 0;
    int32_t column = 0;
    int32_t x = 0;
    int32_t y = 0;
    std::string_view text;
    Colour foreground = 0;
    Colour background = 0;
};

// Why an area is filled: the window background of a full repaint, the whole-screen clear, or the clear
// below the cursor row.
enum class FillReason { Background, ClearScreen, ClearBelow };

class ScreenPainter {
  public:
    virtual ~ScreenPainter() = default;

    virtual void DrawText(const TextRun& run) = 0;
    virtual void FillArea(const PixelRect& area, Colour colour, FillReason reason) = 0;
    // The cursor cell: one character whose colours are already swapped when `inverted`.
    virtual void DrawCursorCell(const TextRun& cell, bool inverted) = 0;
    // The 3-D frame and toolbar bands around the cells (the widget knows its Border and Toolbars settings).
    virtual void DrawFrame() = 0;
    // The whole screen changed (scroll, painting switched on): redraw it from the model, for example by
    // scheduling a paint that calls CTerminalScreen::Repaint.
    virtual void RequestFullRepaint() = 0;
};

// Draws nothing: for a screen without a window, and for measuring the model alone.
class NullPainter final : public ScreenPainter {
  public:
    void DrawText(const TextRun&) override {}
    void FillArea(const PixelRect&, Colour, FillReason) override {}
    void DrawCursorCell(const TextRun&, bool) override {}
    void DrawFrame() override {}
    void RequestFullRepaint() override {}
};

}  // namespace terminal
