// The backing image is the screen as last rendered; paint events render what is pending and copy from it.
// The cells of each draw the screen asks for are kept here, so that a paint shows what the screen wanted
// shown when it asked, also after the host switched painting off. Drawing calls that come while a full
// repaint is pending are skipped, since the repaint redraws everything from the model anyway.
#include "terminal/widget/qt_screen_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/codepage.h"

namespace terminal {
namespace {

int ClampInt(int64_t v) {
    // QRect arithmetic must stay clear of the int limits.
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN / 4, INT_MAX / 4));
}

// Fills and repaints come in bursts of a few; more than this before a paint is a screen redrawn anyway.
constexpr std::size_t kMaxPendingFills = 32;

const std::array<QChar, 256>& GlyphTable() {
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> glyphs;
        for (int byte = 0; byte < 256; ++byte) {
            const char32_t u = platform::Cp437ToUnicode(static_cast<uint8_t>(byte));
            glyphs[static_cast<size_t>(byte)] = u == 0 ? QChar(u' ') : QChar(static_cast<char16_t>(u));
        }
        return glyphs;
    }();
    return table;
}

}  // namespace

QColor ToQColor(Colour colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QString ScreenText(std::string_view bytes) {
    const std::array<QChar, 256>& glyphs = GlyphTable();
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        *out++ = glyphs[static_cast<uint8_t>(c)];
    }
    return text;
}

QtScreenPainter::QtScreenPainter(CTerminalScreen& screen, UpdateCallback update)
    : m_screen(screen), m_update(std::move(update)) {
    m_flushTimer.setSingleShot(true);
    QObject::connect(&m_flushTimer, &QTimer::timeout, [this] { Flush(); });
}

void QtScreenPainter::Resize(const QSize& size, qreal devicePixelRatio) {
    if (size.isEmpty()) {
        m_size = QSize();
        m_image = QImage();
    } else {
        // The image has the device's pixels; everything drawn into it is in the widget's coordinates.
        const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
        m_size = size;
        m_image = QImage((QSizeF(size) * ratio).toSize(), QImage::Format_RGB32);
        m_image.setDevicePixelRatio(ratio);
        m_image.fill(ToQColor(m_screen.ClearColour()));
    }
    m_fullPending = false;  // so that the request below is not taken for one already made
    RequestFullRepaint();
}

void QtScreenPainter::SetFont(const QFont& font, CellSize cell) {
    m_font = font;
    m_cell = cell;
    m_ascent = QFontMetrics(font).ascent();
    UpdateRecording();
}

void QtScreenPainter::ClearFont() {
    m_font.reset();
    m_cell = {};
    UpdateRecording();
}

void QtScreenPainter::UpdateRecording() {
    m_recordFills = !m_fullPending && !m_image.isNull();
    m_recordText = m_recordFills && m_font.has_value();
}

void QtScreenPainter::SetFrameStyle(bool border, bool toolbars) {
    m_border = border;
    m_toolbars = toolbars;
}

QRect QtScreenPainter::Clip() const {
    const PixelRect c = m_screen.ClipRect();
    return QRect(QPoint(c.left, c.top), QPoint(c.right - 1, c.bottom - 1));
}

QRect QtScreenPainter::RowRect(int row) const {
    return QRect(m_screen.CellX(0), m_screen.CellY(row), ClampInt(int64_t{m_cell.width} * kScreenColumns),
                 m_cell.height);
}

void QtScreenPainter::ScheduleFlush() {
    if (m_flushTimer.isActive() || m_rendering) {
        return;
    }
    // The first change after a quiet spell goes out at the next turn; a stream of them once a frame.
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : kFrameMilliseconds;
    m_flushTimer.start(static_cast<int>(std::max<qint64>(0, kFrameMilliseconds - since)));
}

void QtScreenPainter::DamageRows(int first, int last) {
    for (int row = std::max(first, 0); row < std::min(last, kScreenRows); ++row) {
        m_updateRows |= uint32_t{1} << row;
    }
    ScheduleFlush();
}

void QtScreenPainter::DrawText(const TextRun& run) {
    // Called for every run the host writes: kept to a copy of its cells and a note of the columns.
    if (!m_recordText || run.row < 0 || run.row >= kScreenRows) {
        return;
    }
    const int64_t first = std::max<int64_t>(run.column, 0);
    const int64_t last =
        std::min<int64_t>(int64_t{run.column} + static_cast<int64_t>(run.text.size()), kScreenColumns);
    if (last <= first) {
        return;
    }
    Row& row = m_rows[static_cast<size_t>(run.row)];
    const auto from = static_cast<size_t>(first);
    const auto count = static_cast<size_t>(last - first);
    std::memcpy(row.chars.data() + from, run.text.data() + (first - run.column), count);
    std::fill_n(row.colours.begin() + static_cast<ptrdiff_t>(from), count,
                Colours{run.foreground, run.background});
    m_dirty[static_cast<size_t>(run.row)].Add(static_cast<int>(first), static_cast<int>(last));
    if (!m_rendering && (m_updateRows & (uint32_t{1} << run.row)) == 0) {
        DamageRows(run.row, run.row + 1);
    }
}

void QtScreenPainter::DrawCursorCell(const TextRun& cell, bool) {
    DrawText(cell);  // the colours come swapped when the cursor shows
}

void QtScreenPainter::FillArea(const PixelRect& area, Colour colour, FillReason reason) {
    if (!m_recordFills) {
        return;
    }
    QRect rect(QPoint(ClampInt(area.left), ClampInt(area.top)),
               QPoint(ClampInt(int64_t{area.right} - 1), ClampInt(int64_t{area.bottom} - 1)));
    // The window background of a repaint covers the usable area; the clears stay within the cell clip.
    rect &= reason == FillReason::Background ? Bounds() : (Clip() & Bounds());
    if (rect.isEmpty()) {
        return;
    }
    if (m_fills.size() >= kMaxPendingFills) {
        RequestFullRepaint();
        return;
    }
    // A fill that covers the earlier ones makes them moot.
    std::erase_if(m_fills, [&rect](const Fill& earlier) { return rect.contains(earlier.rect); });
    m_fills.push_back({rect, colour});
    // Cells under the fill are blank in its colour, also when a row drawn earlier is redrawn after it.
    if (m_cell.width > 0 && m_cell.height > 0) {
        for (int row = 0; row < kScreenRows; ++row) {
            const QRect line = RowRect(row);
            if (!line.intersects(rect)) {
                continue;
            }
            for (int column = 0; column < kScreenColumns; ++column) {
                const QRect cell(m_screen.CellX(column), line.top(), m_cell.width, m_cell.height);
                if (cell.intersects(rect)) {
                    Row& cells = m_rows[static_cast<size_t>(row)];
                    cells.chars[static_cast<size_t>(column)] = kBlank;
                    cells.colours[static_cast<size_t>(column)].background = colour;
                }
            }
        }
    }
    if (!m_rendering) {
        m_updateArea += rect;
        ScheduleFlush();
    }
}

void QtScreenPainter::DrawFrame() {
    if (!m_recordFills || (!m_border && !m_toolbars)) {
        return;
    }
    m_framePending = true;
    if (!m_rendering) {
        m_updateAll = true;
        ScheduleFlush();
    }
}

void QtScreenPainter::RequestFullRepaint() {
    if (m_fullPending) {
        // Every scroll asks again; the window is already damaged in full, or the paint asked for.
        return;
    }
    m_fullPending = true;
    UpdateRecording();
    m_fills.clear();
    m_dirty.fill(Span{});
    m_framePending = false;
    m_updateAll = true;
    ScheduleFlush();
}

void QtScreenPainter::Render() {
    if (m_image.isNull()) {
        return;
    }
    if (m_fullPending) {
        m_fullPending = false;
        UpdateRecording();
        ++m_stats.fullRepaints;
        // Whatever the usable area and the frame leave uncovered must not show an older screen. The
        // screen's repaint comes back through the recording calls, drawn in the pass below; the widget
        // already has the whole window as damage from the request.
        m_image.fill(ToQColor(m_screen.ClearColour()));
        m_rendering = true;
        m_screen.Repaint(true);
        m_rendering = false;
    }
    const bool rowsPending =
        std::any_of(m_dirty.begin(), m_dirty.end(), [](const Span& span) { return !span.Empty(); });
    if (!rowsPending && m_fills.empty() && !m_framePending) {
        return;
    }
    QPainter p(&m_image);
    DrawPending(p);
}

void QtScreenPainter::DrawPending(QPainter& p) {
    ++m_stats.renders;
    for (const Fill& fill : m_fills) {
        p.fillRect(fill.rect, ToQColor(fill.colour));
        ++m_stats.fills;
    }
    m_fills.clear();
    if (m_framePending) {
        m_framePending = false;
        DrawFrameLines(p);
    }
    if (!m_font) {
        m_dirty.fill(Span{});
        return;
    }
    p.setClipRect(Clip() & Bounds());
    p.setFont(*m_font);
    for (int row = 0; row < kScreenRows; ++row) {
        Span& span = m_dirty[static_cast<size_t>(row)];
        if (span.Empty()) {
            continue;
        }
        const Row& cells = m_rows[static_cast<size_t>(row)];
        int start = span.first;
        while (start < span.last) {
            int end = start + 1;
            while (end < span.last &&
                   cells.colours[static_cast<size_t>(end)] == cells.colours[static_cast<size_t>(start)]) {
                ++end;
            }
            DrawRun(p, row, start, end);
            start = end;
        }
        span = Span{};
    }
}

void QtScreenPainter::DrawRun(QPainter& p, int row, int first, int last) {
    const Row& cells = m_rows[static_cast<size_t>(row)];
    const Colours& lead = cells.colours[static_cast<size_t>(first)];
    const QRect rect(m_screen.CellX(first), m_screen.CellY(row),
                     ClampInt(int64_t{m_cell.width} * (last - first)), m_cell.height);
    if (!rect.intersects(Clip())) {
        return;
    }
    const std::array<QChar, 256>& glyphs = GlyphTable();
    QString text(last - first, Qt::Uninitialized);
    QChar* out = text.data();
    for (int column = first; column < last; ++column) {
        *out++ = glyphs[cells.chars[static_cast<size_t>(column)]];
    }
    p.fillRect(rect, ToQColor(lead.background));
    p.setPen(ToQColor(lead.foreground));
    p.drawText(QPoint(rect.left(), rect.top() + m_ascent), text);
    ++m_stats.textDraws;
}

void QtScreenPainter::DrawFrameLines(QPainter& p) {
    const ScreenGeometry& g = m_screen.Geometry();
    const int w = g.windowWidth;
    const int h = g.windowHeight;
    const QColor face = m_palette.color(QPalette::Button);
    const QColor highlight = m_palette.color(QPalette::Light);
    const QColor shadow = m_palette.color(QPalette::Dark);
    const QColor dark = m_palette.color(QPalette::Shadow);

    // Inclusive ends, as the frame's lines are given.
    // In a window too small for the frame a line may come out reversed; it is left out.
    auto hline = [&p](int y, int x0, int x1, const QColor& c) {
        if (x1 >= x0) {
            p.fillRect(QRect(QPoint(x0, y), QPoint(x1, y)), c);
        }
    };
    auto vline = [&p](int x, int y0, int y1, const QColor& c) {
        if (y1 >= y0) {
            p.fillRect(QRect(QPoint(x, y0), QPoint(x, y1)), c);
        }
    };

    if (m_border) {
        p.fillRect(QRect(0, 0, 6, h), face);
        p.fillRect(QRect(w - 6, 0, 6, h), face);
        p.fillRect(QRect(0, 0, w, 6), face);
        p.fillRect(QRect(0, h - 6, w, 6), face);
    }
    if (m_toolbars) {
        p.fillRect(QRect(0, 0, w, 34), face);
    }
    if (m_border && m_toolbars) {
        // Two sunken boxes in the band (the control toolbar's place 133 pixels from the right) and a
        // sunken cell area inside a raised border.
        vline(w - 134, 4, 31, shadow);
        hline(4, 4, w - 5, shadow);
        hline(30, 4, w - 5, shadow);
        hline(33, 1, w - 2, shadow);
        vline(w - 7, 4, 31, shadow);
        vline(4, 4, h - 5, shadow);
        hline(h - 2, 1, w - 2, shadow);
        vline(w - 2, 1, h - 2, shadow);

        vline(w - 133, 5, 30, highlight);
        hline(5, 4, w - 5, highlight);
        hline(31, 4, w - 5, highlight);
        vline(w - 6, 5, 32, highlight);
        vline(5, 5, 30, highlight);
        vline(0, 0, h - 1, highlight);
        hline(0, 0, w - 1, highlight);
        hline(h - 6, 5, w - 6, highlight);
        vline(w - 6, 34, h - 6, highlight);

        vline(5, 34, h - 6, dark);
        hline(34, 5, w - 6, dark);
        hline(h - 1, 0, w - 1, dark);
        vline(w - 1, 0, h - 1, dark);
    } else if (m_border) {
        vline(0, 0, h - 1, highlight);
        hline(0, 0, w - 1, highlight);
        hline(h - 1, 0, w - 1, dark);
        vline(w - 1, 0, h - 1, dark);
        vline(4, 4, h - 5, shadow);
        hline(4, 4, w - 5, shadow);
        vline(5, 5, h - 6, dark);
        hline(5, 5, w - 6, dark);
        hline(h - 6, 5, w - 6, highlight);
        vline(w - 6, 5, h - 6, highlight);
    } else {
        hline(0, 0, w - 1, highlight);
        vline(0, 0, 33, highlight);
        hline(33, 1, w - 2, shadow);
        hline(34, 0, w - 1, dark);
        vline(w - 1, 0, 34, dark);
        vline(w - 131, 2, 31, highlight);
        vline(w - 132, 2, 31, shadow);
    }
    ++m_stats.frames;
}

void QtScreenPainter::Flush() {
    m_flushTimer.stop();
    QRegion damage;
    if (m_updateAll) {
        damage = QRegion(Bounds());
    } else {
        const QRect clip = Clip() & Bounds();
        for (int row = 0; row < kScreenRows; ++row) {
            if ((m_updateRows & (uint32_t{1} << row)) != 0) {
                damage += RowRect(row) & clip;
            }
        }
        damage += m_updateArea & Bounds();
    }
    m_updateAll = false;
    m_updateRows = 0;
    m_updateArea = QRegion();
    if (damage.isEmpty()) {
        return;
    }
    m_sinceFlush.start();
    ++m_stats.updates;
    if (m_update) {
        m_update(damage);
    }
}

}  // namespace terminal
