// The backing image is the screen as last drawn; paint events only copy from it. Drawing calls that come
// while a full repaint is pending are skipped, since the repaint redraws everything from the model anyway.
#include "terminal/widget/qt_screen_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <climits>

#include "platform/codepage.h"

namespace terminal {
namespace {

int ClampInt(int64_t v) {
    // QRect arithmetic must stay clear of the int limits.
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN / 4, INT_MAX / 4));
}

}  // namespace

QColor ToQColor(Colour colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

QString ScreenText(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char c : bytes) {
        const char32_t u = platform::Cp437ToUnicode(static_cast<uint8_t>(c));
        text.append(u == 0 ? QChar(u' ') : QChar(static_cast<char16_t>(u)));
    }
    return text;
}

QtScreenPainter::QtScreenPainter(CTerminalScreen& screen, UpdateCallback update)
    : m_screen(screen), m_update(std::move(update)) {}

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
    RequestFullRepaint();
}

void QtScreenPainter::SetFont(const QFont& font, CellSize cell) {
    m_font = font;
    m_cell = cell;
    m_ascent = QFontMetrics(font).ascent();
}

void QtScreenPainter::ClearFont() {
    m_font.reset();
    m_cell = {};
}

void QtScreenPainter::SetFrameStyle(bool border, bool toolbars) {
    m_border = border;
    m_toolbars = toolbars;
}

QRect QtScreenPainter::Clip() const {
    const PixelRect c = m_screen.ClipRect();
    return QRect(QPoint(c.left, c.top), QPoint(c.right - 1, c.bottom - 1));
}

void QtScreenPainter::Damage(const QRect& rect) {
    if (!rect.isEmpty()) {
        m_damage += rect;
        if (!m_rendering) {
            PostFlush();
        }
    }
}

void QtScreenPainter::PostFlush() {
    if (!m_flushPosted) {
        m_flushPosted = true;
        QMetaObject::invokeMethod(
            &m_context, [this] { Flush(); }, Qt::QueuedConnection);
    }
}

void QtScreenPainter::DrawText(const TextRun& run) {
    if (!m_font || m_fullPending || m_image.isNull() || run.text.empty()) {
        return;
    }
    const QRect cells(ClampInt(run.x), ClampInt(run.y),
                      ClampInt(int64_t{m_cell.width} * static_cast<int64_t>(run.text.size())), m_cell.height);
    const QRect clip = Clip() & Bounds();
    const QRect visible = cells & clip;
    if (visible.isEmpty()) {
        return;
    }
    QPainter p(&m_image);
    p.setClipRect(clip);
    p.fillRect(cells, ToQColor(run.background));
    p.setFont(*m_font);
    p.setPen(ToQColor(run.foreground));
    p.drawText(QPoint(cells.left(), cells.top() + m_ascent), ScreenText(run.text));
    ++m_stats.textDraws;
    Damage(visible);
}

void QtScreenPainter::DrawCursorCell(const TextRun& cell, bool) {
    DrawText(cell);
}

void QtScreenPainter::FillArea(const PixelRect& area, Colour colour, FillReason reason) {
    if (m_fullPending || m_image.isNull()) {
        return;
    }
    QRect rect(QPoint(ClampInt(area.left), ClampInt(area.top)),
               QPoint(ClampInt(int64_t{area.right} - 1), ClampInt(int64_t{area.bottom} - 1)));
    // The window background of a repaint covers the usable area; the clears stay within the cell clip.
    rect &= reason == FillReason::Background ? Bounds() : (Clip() & Bounds());
    if (rect.isEmpty()) {
        return;
    }
    QPainter p(&m_image);
    p.fillRect(rect, ToQColor(colour));
    ++m_stats.fills;
    Damage(rect);
}

void QtScreenPainter::DrawFrame() {
    if (m_fullPending || m_image.isNull() || (!m_border && !m_toolbars)) {
        return;
    }
    const ScreenGeometry& g = m_screen.Geometry();
    const int w = g.windowWidth;
    const int h = g.windowHeight;
    const QColor face = m_palette.color(QPalette::Button);
    const QColor highlight = m_palette.color(QPalette::Light);
    const QColor shadow = m_palette.color(QPalette::Dark);
    const QColor dark = m_palette.color(QPalette::Shadow);

    QPainter p(&m_image);
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
    Damage(Bounds());
}

void QtScreenPainter::RequestFullRepaint() {
    m_fullPending = true;
    m_damage = QRegion(Bounds());
    PostFlush();
}

void QtScreenPainter::Render() {
    if (!m_fullPending) {
        return;
    }
    m_fullPending = false;
    if (m_image.isNull()) {
        return;
    }
    ++m_stats.fullRepaints;
    // Whatever the usable area and the frame leave uncovered must not show an older screen.
    m_image.fill(ToQColor(m_screen.ClearColour()));
    m_rendering = true;
    m_screen.Repaint(true);
    m_rendering = false;
    m_damage = QRegion(Bounds());
}

void QtScreenPainter::Flush() {
    m_flushPosted = false;
    Render();
    if (!m_damage.isEmpty()) {
        ++m_stats.updates;
        const QRegion damage = m_damage;
        m_damage = QRegion();
        if (m_update) {
            m_update(damage);
        }
    }
}

}  // namespace terminal
