// Paints the terminal screen into a backing image with QPainter. While host data is fed, the painter only
// notes what the screen asked to draw (the cells of each run, fills, full repaints); the widget's paint
// event then draws the damaged rows in one pass, one drawText per run of equal colours, and at most once a
// frame, so a flood of host output costs one paint per frame.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QRegion>
#include <QTimer>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "terminal/core/screen.h"
#include "terminal/core/screen_painter.h"

class QPainter;

namespace terminal {

QColor ToQColor(Colour colour);
// The screen's bytes as the characters code page 437 draws for them.
QString ScreenText(std::string_view bytes);

class QtScreenPainter final : public ScreenPainter {
  public:
    // Told the damaged region at most once a frame; the widget calls update() with it.
    using UpdateCallback = std::function<void(const QRegion&)>;

    // What the painter did, for tests and benchmarks: each counter counts calls into QPainter or the
    // widget.
    struct Stats {
        int textDraws = 0;
        int fills = 0;
        int frames = 0;
        int fullRepaints = 0;
        int updates = 0;
        int renders = 0;  // passes that drew into the image
    };

    // Damage is handed on no sooner than this after the last hand-over.
    static constexpr int kFrameMilliseconds = 16;

    QtScreenPainter(CTerminalScreen& screen, UpdateCallback update);

    // A new backing image for a widget of `size`, redrawn in full at the next paint.
    void Resize(const QSize& size, qreal devicePixelRatio = 1.0);
    // The terminal font and the cell it was measured at; without one only the background and frame show.
    void SetFont(const QFont& font, CellSize cell);
    void ClearFont();
    bool HasFont() const { return m_font.has_value(); }
    // The frame the control's Border and Toolbars properties ask for.
    void SetFrameStyle(bool border, bool toolbars);
    // The system colours of the frame come from the palette's button colours.
    void SetPalette(const QPalette& palette) { m_palette = palette; }

    // The screen as last rendered; Render brings it up to date.
    const QImage& Image() const { return m_image; }
    // Draws what is pending into the image now: a full repaint from the model, or the damaged rows and
    // fills. The paint event calls it; so may anyone who reads the image.
    void Render();
    // Hands the damage gathered since the last hand-over to the widget now.
    void Flush();

    const Stats& GetStats() const { return m_stats; }
    void ResetStats() { m_stats = {}; }

    void DrawText(const TextRun& run) override;
    void FillArea(const PixelRect& area, Colour colour, FillReason reason) override;
    void DrawCursorCell(const TextRun& cell, bool inverted) override;
    void DrawFrame() override;
    void RequestFullRepaint() override;

  private:
    struct Colours {
        Colour foreground = 0;
        Colour background = 0;
        bool operator==(const Colours&) const = default;
    };
    // The cells of a row as the screen last asked to draw them.
    struct Row {
        std::array<uint8_t, kScreenColumns> chars{};
        std::array<Colours, kScreenColumns> colours{};
    };
    // Columns [first, last) of a row wait to be drawn.
    struct Span {
        int first = kScreenColumns;
        int last = 0;
        bool Empty() const { return last <= first; }
        void Add(int from, int to) {
            first = std::min(first, from);
            last = std::max(last, to);
        }
    };
    struct Fill {
        QRect rect;
        Colour colour;
    };

    QRect Bounds() const { return QRect(QPoint(0, 0), m_size); }
    QRect Clip() const;
    QRect RowRect(int row) const;
    // Whether drawing calls are noted now: not while a full repaint is pending, which redraws from the
    // model anyway, nor without an image (or, for text, without a font).
    void UpdateRecording();
    void DamageRows(int first, int last);
    void ScheduleFlush();
    void DrawPending(QPainter& p);
    void DrawFrameLines(QPainter& p);
    void DrawRun(QPainter& p, int row, int first, int last);

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

    // What waits to be drawn into the image.
    std::array<Row, kScreenRows> m_rows{};
    std::array<Span, kScreenRows> m_dirty{};
    std::vector<Fill> m_fills;
    bool m_framePending = false;
    bool m_fullPending = true;
    bool m_rendering = false;  // the screen's full repaint is calling back
    bool m_recordFills = false;
    bool m_recordText = false;
    // What waits to be handed to the widget.
    uint32_t m_updateRows = 0;  // bit per row
    QRegion m_updateArea;
    bool m_updateAll = true;

    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
    Stats m_stats;
};

}  // namespace terminal
