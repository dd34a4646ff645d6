// Paints the terminal screen into a backing image with QPainter: one drawText per run of equal colours,
// fills, the cursor cell, the 3-D frame and full repaints. Damage is gathered and handed to the widget
// once per event-loop turn, so a flood of host output costs one paint, not one per scroll.
#pragma once

#include <QFont>
#include <QImage>
#include <QObject>
#include <QPalette>
#include <QRegion>
#include <functional>
#include <optional>

#include "terminal/core/screen.h"
#include "terminal/core/screen_painter.h"

class QPainter;

namespace terminal {

QColor ToQColor(Colour colour);
// The screen's bytes as the characters code page 437 draws for them.
QString ScreenText(std::string_view bytes);

class QtScreenPainter final : public ScreenPainter {
  public:
    // Told the damaged region once per event-loop turn; the widget calls update() with it.
    using UpdateCallback = std::function<void(const QRegion&)>;

    // What the painter did, for tests: each counter counts calls into QPainter or the widget.
    struct Stats {
        int textDraws = 0;
        int fills = 0;
        int frames = 0;
        int fullRepaints = 0;
        int updates = 0;
    };

    QtScreenPainter(CTerminalScreen& screen, UpdateCallback update);

    // A new backing image for a widget of `size`, redrawn in full at the next turn.
    void Resize(const QSize& size, qreal devicePixelRatio = 1.0);
    // The terminal font and the cell it was measured at; without one only the background and frame show.
    void SetFont(const QFont& font, CellSize cell);
    void ClearFont();
    bool HasFont() const { return m_font.has_value(); }
    // The frame the control's Border and Toolbars properties ask for.
    void SetFrameStyle(bool border, bool toolbars);
    // The system colours of the frame come from the palette's button colours.
    void SetPalette(const QPalette& palette) { m_palette = palette; }

    const QImage& Image() const { return m_image; }
    // Carries out a pending full repaint into the image now (a paint event may not wait for the turn).
    void Render();
    // Renders and hands the gathered damage to the widget.
    void Flush();

    const Stats& GetStats() const { return m_stats; }
    void ResetStats() { m_stats = {}; }

    void DrawText(const TextRun& run) override;
    void FillArea(const PixelRect& area, Colour colour, FillReason reason) override;
    void DrawCursorCell(const TextRun& cell, bool inverted) override;
    void DrawFrame() override;
    void RequestFullRepaint() override;

  private:
    QRect Bounds() const { return QRect(QPoint(0, 0), m_size); }
    QRect Clip() const;
    void Damage(const QRect& rect);
    void PostFlush();

    CTerminalScreen& m_screen;
    UpdateCallback m_update;
    QImage m_image;
    QSize m_size;
    std::optional<QFont> m_font;
    CellSize m_cell;
    int m_ascent = 0;
    bool m_border = true;
    bool m_toolbars = true;
    QPalette m_palette;
    QRegion m_damage;
    bool m_fullPending = true;
    bool m_flushPosted = false;
    bool m_rendering = false;
    Stats m_stats;
    // Owns the queued flush, so that none runs after the painter is gone.
    QObject m_context;
};

}  // namespace terminal
