// The screen window paints from its backing image. Host data only changes the model and leaves damage with
// the painter, which asks for an update at most once a frame; the paint event renders the damage into the
// image and copies the updated area.
#include "terminal/widget/terminal_widget.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include "platform/user_prompt.h"
#include "terminal/core/host_commands.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/screen_print.h"
#include "terminal/widget/terminal_font.h"

namespace terminal {
namespace {

bool IsLockKey(uint32_t virtualKey) {
    return virtualKey == vk::kCapital || virtualKey == vk::kNumLock || virtualKey == vk::kScroll;
}

}  // namespace

CTerminalWidget::CTerminalWidget(QWidget* parent)
    : QWidget(parent), m_painter(m_screen, [this](const QRegion& damage) { update(damage); }) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    m_painter.SetPalette(palette());
    m_screen.SetPainter(&m_painter);
    SetFrameStyle(true, true);
    m_blink.setParent(this);
    m_blink.setObjectName(QStringLiteral("cursorBlink"));
    m_blink.setInterval(kBlinkMs);
    connect(&m_blink, &QTimer::timeout, this, &CTerminalWidget::Blink);
}

CTerminalWidget::~CTerminalWidget() {
    m_screen.SetPainter(nullptr);
}

void CTerminalWidget::SetFieldEdit(CFieldEdit* field) {
    if (m_field != nullptr) {
        disconnect(m_field, &CFieldEdit::commandPosted, this, &CTerminalWidget::commandPosted);
    }
    m_field = field;
    if (m_field != nullptr) {
        connect(m_field, &CFieldEdit::commandPosted, this, &CTerminalWidget::commandPosted);
        if (m_font) {
            m_field->setFont(*m_font);
        }
        PlaceField();
    }
}

void CTerminalWidget::Feed(std::span<const uint8_t> bytes) {
    m_screen.HideCursor();
    m_screen.Feed(bytes);
    if (m_blink.isActive()) {
        m_blink.start();  // no blink while the host is writing
    }
    if (m_showCursorAfterFeed) {
        m_showCursorAfterFeed = false;
        if (!m_screen.CursorShown()) {
            m_screen.ToggleCursor();
        }
    }
}

void CTerminalWidget::KeepCursorBlinking(bool keep) {
    m_keepBlinking = keep;
    if (keep) {
        m_blink.start();
    } else if (!hasFocus()) {
        m_blink.stop();
        m_screen.HideCursor();
    }
}

void CTerminalWidget::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_blink.start();
}

void CTerminalWidget::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (!m_keepBlinking) {
        m_blink.stop();
        m_screen.HideCursor();
    }
}

void CTerminalWidget::Blink() {
    if (m_field != nullptr && m_field->Model().IsOpen()) {
        // The field's own caret shows where typing goes.
        m_screen.HideCursor();
        return;
    }
    m_screen.ToggleCursor();
}

void CTerminalWidget::Feed(std::string_view bytes) {
    Feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

void CTerminalWidget::LoadFont(const suite::LogFont& font) {
    ApplyFont(CreateTerminalFont(font, this));
}

void CTerminalWidget::LoadFontFromRegistry() {
    suite::LogFont font;
    suite::ReadFontSettings(font);
    LoadFont(font);
}

void CTerminalWidget::ApplyFont(const QFont& font) {
    m_font = font;
    const CellSize cell = MeasureCell(font, this);
    m_screen.SetCellSize(cell.width, cell.height);
    m_painter.SetFont(GridFont(font, cell.width, this), cell);
    if (m_field != nullptr) {
        m_field->setFont(font);
    }
    Relayout();
    m_painter.RequestFullRepaint();
}

void CTerminalWidget::Relayout() {
    m_screen.Resize(width(), height(), m_statusBarHeight);
    const CellSize cell = m_screen.GetCellSize();
    m_screen.Layout(cell.width, cell.height);
    PlaceField();
}

void CTerminalWidget::PlaceField() {
    if (m_field != nullptr) {
        m_field->Model().Place(FieldGeometry(m_screen));
    }
}

int32_t CTerminalWidget::ResizeRequest(int32_t cx, int32_t cy) {
    // A fit asked for now takes the place of one that a resize left waiting.
    m_fitPending = false;
    m_fitResult = 0;
    if (cx <= 0 || cy <= 0 || !m_font) {
        m_fitResult = 1;
        return m_fitResult;
    }
    suite::LogFont start;
    suite::ReadFontSettings(start);
    QtFontMeasurer measurer(this);
    const FontFit fit = FitTerminalFont(start, cx, cy, measurer, platform::DefaultPrompt());
    m_fitResult = fit.result;
    if (!fit.created) {
        return m_fitResult;
    }
    if (!fit.substituted) {
        suite::SaveFontSettings(fit.font);
    }
    ApplyFont(CreateTerminalFont(fit.font, this));
    return m_fitResult;
}

void CTerminalWidget::FitToWindow(bool frameChanged) {
    // The area the cells may use: the border's edges and the toolbar band come off. A change of the frame
    // itself takes the band off whether or not the border is drawn.
    const int32_t bandHeight = (m_border || frameChanged) ? 29 : 0;
    ResizeRequest(width() - (m_border ? 12 : 0), height() - bandHeight - m_statusBarHeight);
}

void CTerminalWidget::SetFrameStyle(bool border, bool toolbars) {
    m_border = border;
    m_toolbars = toolbars;
    m_painter.SetFrameStyle(border, toolbars);
    m_screen.SetFrameShown(border);
    m_screen.SetFrameOffset(border ? 6 : 0, toolbars ? 35 : (border ? 6 : 0));
    Relayout();
    m_painter.RequestFullRepaint();
    if (m_font) {
        FitToWindow(true);
    }
}

void CTerminalWidget::SetStatusBarHeight(int32_t height) {
    if (height == m_statusBarHeight) {
        return;
    }
    m_statusBarHeight = height;
    m_screen.SetStatusBarShown(height > 0);
    Relayout();
    m_painter.RequestFullRepaint();
    if (m_font) {
        FitToWindow(false);
    }
}

bool CTerminalWidget::PrintScreen(QPaintDevice& device, const QDate& date) {
    return terminal::PrintScreen(device, m_screen, date, platform::DefaultPrompt());
}

bool CTerminalWidget::UnixEscKey() const {
    if (m_keySender != nullptr) {
        return m_keySender->UnixEscKey();
    }
    return m_field != nullptr && m_field->Model().KeySender().UnixEscKey();
}

bool CTerminalWidget::event(QEvent* e) {
    switch (e->type()) {
        case QEvent::ShortcutOverride:
            // Comes before every key press: answered without reading the typed text.
            if (m_keys.Claims(*static_cast<QKeyEvent*>(e), UnixEscKey())) {
                e->accept();
            } else {
                e->ignore();
            }
            return true;
        case QEvent::KeyPress:
            // Straight to the handler: Tab is a terminal key, not focus navigation, and nothing else of the
            // base's key handling applies to the screen. A disabled screen leaves keys to the base.
            if (isEnabled()) {
                keyPressEvent(static_cast<QKeyEvent*>(e));
                return true;
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
            if (m_mouseHook && m_mouseHook(*e)) {
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

void CTerminalWidget::keyPressEvent(QKeyEvent* e) {
    const AdaptedKey key = m_keys.Adapt(*e);
    if (IsLockKey(key.virtualKey)) {
        e->ignore();
        return;
    }
    if (m_field != nullptr) {
        CInkeyCtrl& model = m_field->Model();
        if (model.IsOpen() && m_field->isVisible()) {
            // With a field open, Escape and the function keys act on it; any other key only brings the focus
            // back to it.
            if (key.virtualKey == vk::kEscape || (key.virtualKey >= vk::kF1 && key.virtualKey <= vk::kF12)) {
                m_field->HandleKey(AdaptedKey{key.virtualKey, key.mods, std::nullopt});
            } else {
                m_field->setFocus(Qt::OtherFocusReason);
            }
            e->accept();
            return;
        }
        const bool direct = model.DirectKeys();
        const bool used = m_field->HandleKey(key);
        if (direct && used) {
            m_showCursorAfterFeed = true;
        }
        used ? e->accept() : e->ignore();
        return;
    }
    if (key.virtualKey == vk::kInsert && (key.mods.ctrl || key.mods.shift)) {
        const int command = key.mods.ctrl ? CInkeyCtrl::kCopyCommand : CInkeyCtrl::kPasteCommand;
        QMetaObject::invokeMethod(
            this, [this, command] { emit commandPosted(command); }, Qt::QueuedConnection);
        e->accept();
        return;
    }
    if (m_keySender == nullptr || key.virtualKey == 0) {
        e->ignore();
        return;
    }
    const bool translated = m_keySender->QueueKey(key.virtualKey, key.mods);
    m_keySender->FlushKeys();
    if (translated) {
        m_showCursorAfterFeed = true;
        e->accept();
    } else {
        e->ignore();
    }
}

void CTerminalWidget::paintEvent(QPaintEvent* e) {
    m_painter.Render();
    QPainter p(this);
    const QImage& image = m_painter.Image();
    if (image.isNull()) {
        p.fillRect(e->rect(), ToQColor(m_screen.ClearColour()));
        return;
    }
    const qreal ratio = image.devicePixelRatio();
    for (const QRect& rect : e->region()) {
        p.drawImage(QRectF(rect), image,
                    QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio));
    }
}

void CTerminalWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_painter.Resize(size(), devicePixelRatioF());
    Relayout();
    if (m_font) {
        ScheduleFit();
    }
}

void CTerminalWidget::ScheduleFit() {
    // A host that sizes the font itself asks for its fit in the same turn, once its own layout has moved
    // this widget: fitting here first would store a font of another size, only for the host to take it back.
    if (m_fitPending) {
        return;
    }
    m_fitPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_fitPending && m_font) {
                FitToWindow(false);
            }
            m_fitPending = false;
        },
        Qt::QueuedConnection);
}

void CTerminalWidget::changeEvent(QEvent* e) {
    if (e->type() == QEvent::PaletteChange) {
        m_painter.SetPalette(palette());
        m_painter.RequestFullRepaint();
    }
    QWidget::changeEvent(e);
}

}  // namespace terminal
