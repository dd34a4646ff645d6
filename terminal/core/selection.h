// Selecting a rectangle of screen cells with the mouse and turning it into clipboard text. The tracker is the
// rubber band's model (snapping to whole cells); the Qt widget feeds it pointer positions and inverts the
// rectangles it returns.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "terminal/core/screen_types.h"

namespace terminal {

class CTerminalScreen;

// Cells by column and row, both ends included, in window cell units (not yet relative to the grid origin).
struct CellRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    bool operator==(const CellRect&) const = default;
};

class CCopyTracker {
  public:
    // Kept in step with the screen's cell size and grid origin.
    void SetCellSize(int32_t width, int32_t height);
    void SetOrigin(int32_t x, int32_t y);

    // A press at (x, y): anchors at the cell under it and starts tracking. False before the cell size is
    // known.
    bool Track(int32_t x, int32_t y);
    // The pointer moved to (x, y) while tracking; returns the new rectangle. The widget inverts the
    // difference between the previous rectangle and this one.
    PixelRect Adjust(int32_t x, int32_t y);
    // The button was released: a rectangle that is not empty becomes the active selection.
    bool EndTrack();

    bool IsActive() const { return m_active; }
    // The selected cells, or none when nothing is selected.
    std::optional<CellRect> GetCellRect() const;
    // Ends the selection; returns the rectangle to invert once more to erase it, when one was shown.
    std::optional<PixelRect> ClearSelection();

    int32_t CellWidth() const { return m_cellWidth; }
    int32_t CellHeight() const { return m_cellHeight; }
    int32_t OriginX() const { return m_originX; }
    int32_t OriginY() const { return m_originY; }

  private:
    int32_t m_cellWidth = 0;
    int32_t m_cellHeight = 0;
    int32_t m_originX = 0;
    int32_t m_originY = 0;
    bool m_active = false;
    bool m_firstMove = false;
    bool m_tracking = false;
    PixelRect m_anchor;
    int32_t m_pressX = 0;
    int32_t m_pressY = 0;
    PixelRect m_rect;
};

// The clipboard text of the tracker's selection on the screen: each selected row's characters (blanks
// where the selection leaves the screen), rows joined by CR LF, no line break at the end. Bytes of the
// screen's code page; none when nothing is selected.
std::optional<std::string> SelectionText(const CTerminalScreen& screen, const CCopyTracker& tracker);

}  // namespace terminal
