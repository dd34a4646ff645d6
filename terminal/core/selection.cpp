// The selection rubber band's snapping rule and the copy of the selected cells as text.
#include "terminal/core/selection.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "terminal/core/screen.h"

namespace terminal {
namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) {
        --q;
    }
    return q;
}

int64_t CeilDiv(int64_t a, int64_t b) {
    return -FloorDiv(-a, b);
}

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// One axis of the snapping rule: beyond the anchor's far edge the band reaches the grid line nearest the
// pointer on that side; within the anchor it is the anchor cell.
std::pair<int32_t, int32_t> SnapAxis(int32_t pointer, int32_t anchorLow, int32_t anchorHigh, int32_t cell) {
    if (pointer > anchorHigh) {
        const int64_t steps = FloorDiv(int64_t{pointer} + cell / 2 - anchorLow, cell);
        return {anchorLow, Clamp32(anchorLow + steps * cell)};
    }
    if (pointer < anchorLow) {
        const int64_t steps = CeilDiv(int64_t{pointer} - cell / 2 - anchorLow, cell);
        return {Clamp32(anchorLow + steps * cell), anchorHigh};
    }
    return {anchorLow, anchorHigh};
}

}  // namespace

void CCopyTracker::SetCellSize(int32_t width, int32_t height) {
    m_cellWidth = std::max(width, 0);
    m_cellHeight = std::max(height, 0);
}

void CCopyTracker::SetOrigin(int32_t x, int32_t y) {
    m_originX = x;
    m_originY = y;
}

bool CCopyTracker::Track(int32_t x, int32_t y) {
    m_active = false;
    if (m_cellWidth <= 0 || m_cellHeight <= 0) {
        m_tracking = false;
        return false;
    }
    // Snapped down to the grid that starts at the origin, also left of or above it.
    const int64_t left = m_originX + FloorDiv(int64_t{x} - m_originX, m_cellWidth) * m_cellWidth;
    const int64_t top = m_originY + FloorDiv(int64_t{y} - m_originY, m_cellHeight) * m_cellHeight;
    m_anchor = {Clamp32(left), Clamp32(top), Clamp32(left + m_cellWidth), Clamp32(top + m_cellHeight)};
    m_pressX = x;
    m_pressY = y;
    m_firstMove = true;
    m_tracking = true;
    m_rect = {x, y, x, y};
    return true;
}

PixelRect CCopyTracker::Adjust(int32_t x, int32_t y) {
    if (!m_tracking) {
        return m_rect;
    }
    if (m_firstMove) {
        // Until the pointer leaves the press cell's neighbourhood a click selects nothing.
        if (std::abs(int64_t{x} - m_pressX) < m_cellWidth && std::abs(int64_t{y} - m_pressY) < m_cellHeight) {
            m_rect = {m_pressX, m_pressY, m_pressX, m_pressY};
            return m_rect;
        }
        m_firstMove = false;
    }
    const auto [left, right] = SnapAxis(x, m_anchor.left, m_anchor.right, m_cellWidth);
    const auto [top, bottom] = SnapAxis(y, m_anchor.top, m_anchor.bottom, m_cellHeight);
    m_rect = {left, top, right, bottom};
    return m_rect;
}

bool CCopyTracker::EndTrack() {
    if (!m_tracking) {
        return m_active;
    }
    m_tracking = false;
    m_active = !m_rect.IsEmpty();
    return m_active;
}

std::optional<CellRect> CCopyTracker::GetCellRect() const {
    if (!m_active || m_cellWidth <= 0 || m_cellHeight <= 0) {
        return std::nullopt;
    }
    const int32_t left = std::min(m_rect.left, m_rect.right);
    const int32_t right = std::max(m_rect.left, m_rect.right);
    const int32_t top = std::min(m_rect.top, m_rect.bottom);
    const int32_t bottom = std::max(m_rect.top, m_rect.bottom);
    if (left == right || top == bottom) {
        return std::nullopt;
    }
    return CellRect{Clamp32(FloorDiv(left, m_cellWidth)), Clamp32(FloorDiv(top, m_cellHeight)),
                    Clamp32(FloorDiv(right, m_cellWidth) - 1), Clamp32(FloorDiv(bottom, m_cellHeight) - 1)};
}

std::optional<PixelRect> CCopyTracker::ClearSelection() {
    m_tracking = false;
    if (!m_active) {
        return std::nullopt;
    }
    m_active = false;
    return m_rect;
}

std::optional<std::string> SelectionText(const CTerminalScreen& screen, const CCopyTracker& tracker) {
    const auto cells = tracker.GetCellRect();
    if (!cells) {
        return std::nullopt;
    }
    // The rectangle is in window cells; the grid's own cell 0,0 lies at the origin.
    const int64_t shiftX = FloorDiv(tracker.OriginX(), tracker.CellWidth());
    const int64_t shiftY = FloorDiv(tracker.OriginY(), tracker.CellHeight());
    const int64_t firstColumn = cells->left - shiftX;
    const int64_t lastColumn = cells->right - shiftX;
    const int64_t firstRow = cells->top - shiftY;
    const int64_t lastRow = cells->bottom - shiftY;
    std::string text;
    text.reserve(static_cast<size_t>((lastRow - firstRow + 1) * (lastColumn - firstColumn + 3)));
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        if (row != firstRow) {
            text += "\r\n";
        }
        for (int64_t column = firstColumn; column <= lastColumn; ++column) {
            const bool on = row >= 0 && row < kScreenRows && column >= 0 && column < kScreenColumns;
            text += static_cast<char>(
                on ? screen.CharAt(static_cast<int32_t>(row), static_cast<int32_t>(column)) : kBlank);
        }
    }
    return text;
}

}  // namespace terminal
