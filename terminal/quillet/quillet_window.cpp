// The control's window glue: the window's events, painting and layout, the toolbars, status bar and
// screen clicks, and where the keyboard focus goes.
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_ctrl_parts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cstdlib>

#include "platform/user_prompt.h"
#include "terminal/bars/toolbar_commands.h"
#include "terminal/quillet/quillet_frame_site.h"
#include "terminal/quillet/quillet_menus.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"

namespace terminal {

namespace automation = platform::automation;

// ---- The window ----

CQuilletWindow::CQuilletWindow(CQuilletCtrl& control) : m_control(&control) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    resize(640, 480);
}

CQuilletWindow::~CQuilletWindow() {
    // A parent deleting the window ends the session while the screen still exists.
    if (m_control != nullptr) {
        m_control->WindowDestroyed();
    }
}

bool CQuilletWindow::event(QEvent* event) {
    // Caps Lock may have changed while another window had the keyboard. The window's activation reaches
    // every visible widget in it.
    if (event->type() == QEvent::WindowActivate && m_control != nullptr) {
        m_control->ReadKeyboardLocks();
    }
    return QWidget::event(event);
}

void CQuilletWindow::paintEvent(QPaintEvent*) {
    m_control->PaintBackground(*this);
}

void CQuilletWindow::resizeEvent(QResizeEvent*) {
    m_control->Layout();
}

void CQuilletWindow::keyPressEvent(QKeyEvent* event) {
    // Keys that reach the control window are the screen's. A key the screen leaves (a bare modifier) comes
    // back here as the screen's parent: it goes on to the container once, not round again for ever.
    static bool forwarding = false;
    static bool leftByScreen = false;
    if (forwarding) {
        leftByScreen = true;
        event->accept();
        return;
    }
    if (m_control->m_terminal != nullptr && m_control->m_session->HasPipe()) {
        forwarding = true;
        leftByScreen = false;
        QCoreApplication::sendEvent(m_control->m_terminal, event);
        forwarding = false;
        if (leftByScreen) {
            event->ignore();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void CQuilletWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click on an idle control connects it.
    if (!m_control->m_session->HasPipe()) {
        m_control->m_session->Connect();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void CQuilletWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        m_control->MiddleClick();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CQuilletWindow::wheelEvent(QWheelEvent* event) {
    m_control->WheelTurned(event->angleDelta().y());
    event->accept();
}

void CQuilletCtrl::WheelTurned(int delta) {
    if (!m_session->HasPipe()) {
        return;
    }
    const std::string_view step = delta < 0 ? "\x1b[^" : "\x1b[%";
    for (int notches = std::abs(delta) / 120; notches > 0; --notches) {
        m_keySender->WriteChannel0(step);
    }
}

void CQuilletCtrl::MiddleClick() {
    if (m_session->HasPipe()) {
        m_keySender->WriteChannel0("\x1b[H");
    }
}

void CQuilletCtrl::Activate() {
    if (!m_window) {
        return;
    }
    ReadKeyboardLocks();
    if (m_activated) {
        return;
    }
    FocusInput();
    m_activated = true;
}

void CQuilletCtrl::Message(const std::string& text, bool stopIcon) {
    platform::DefaultPrompt().Message(text,
                                      stopIcon ? platform::PromptIcon::Stop : platform::PromptIcon::None);
}

// ---- Painting and layout ----

void CQuilletCtrl::PaintBackground(QWidget& window) {
    QPainter painter(&window);
    const uint32_t colour = BackgroundColorValue(m_props.m_BackgroundColor);
    painter.fillRect(window.rect(), QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
}

void CQuilletCtrl::Layout() {
    if (m_window && m_terminal != nullptr) {
        m_terminal->setGeometry(m_window->rect());
    }
    if (m_bars) {
        m_bars->Layout();
    }
}

// ---- Toolbars, status bar and clicks ----

bool CQuilletCtrl::RunBarCommand(int32_t id) {
    return bars::RunToolbarCommand(id, *m_barsAdapter) || bars::RunStatusBarCommand(id, *m_barsAdapter);
}

void CQuilletCtrl::SendProcess() {
    // With a field open, what the user typed into it goes first, as the submission the process command
    // ends; an unchanged field leaves the host's own text to the host.
    if (!FieldInputInactive() && m_field->Model().Submit("\x1b[|")) {
        return;
    }
    m_keySender->WriteChannel0("\x1b[|");
}

void CQuilletCtrl::StatusBarChanged() {
    if (!m_bars) {
        return;
    }
    if (m_props.m_StatusBar) {
        m_bars->CreateStatusBar();
        if (m_session->HasPipe()) {
            m_bars->ShowStatusBar();
        }
    } else {
        m_bars->DestroyStatusBar();
    }
    if (m_terminal != nullptr) {
        m_terminal->SetStatusBarHeight(m_bars->StatusBarHeight());
    }
    Layout();
}

void CQuilletCtrl::ClickAt(bars::ClickKind kind, QPoint point) {
    if (m_terminal == nullptr || !m_session->HasPipe()) {
        return;
    }
    const std::optional<CellPosition> cell = m_terminal->Screen().CellFromPoint(point.x(), point.y());
    if (cell) {
        bars::ActOnClick(m_terminal->Screen(), kind, *cell, *m_barsAdapter);
    }
}

bool CQuilletCtrl::ScreenMouse(QEvent& event) {
    if (event.type() == QEvent::Wheel) {
        auto& wheel = static_cast<QWheelEvent&>(event);
        WheelTurned(wheel.angleDelta().y());
        wheel.accept();
        return true;
    }
    auto& mouse = static_cast<QMouseEvent&>(event);
    if (m_menus) {
        m_menus->ScreenMouse(mouse);
    }
    // Only watched: the screen still gets the event.
    ScreenMouseEvent(event);
    if (event.type() == QEvent::MouseButtonPress && mouse.button() == Qt::MiddleButton) {
        MiddleClick();
        mouse.accept();
        return true;
    }
    return false;
}

void CQuilletCtrl::ScreenMouseEvent(const QEvent& event) {
    const QEvent::Type type = event.type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
        return;
    }
    const auto& mouse = static_cast<const QMouseEvent&>(event);
    if (mouse.button() != Qt::LeftButton || !m_session->HasPipe()) {
        return;
    }
    const QPoint at = mouse.position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        if (!m_activated) {
            FocusInput();
        }
        m_leftPress = at;
    } else if (type == QEvent::MouseButtonRelease) {
        const std::optional<QPoint> press = std::exchange(m_leftPress, std::nullopt);
        if (press && (at - *press).manhattanLength() < QApplication::startDragDistance()) {
            ClickAt(bars::ClickKind::Single, *press);
        }
    } else {
        m_leftPress.reset();
        ClickAt(bars::ClickKind::Double, at);
        // The editor hides only once the click has seen the field it may submit.
        if (m_field != nullptr) {
            m_field->Model().HideField();
        }
    }
}

// ---- Focus ----

void CQuilletCtrl::FocusFieldEditor() {
    if (m_field != nullptr) {
        m_field->setFocus(Qt::OtherFocusReason);
    }
}

void CQuilletCtrl::FocusControl() {
    if (m_terminal != nullptr) {
        m_terminal->setFocus(Qt::OtherFocusReason);
    }
}

void CQuilletCtrl::ReadKeyboardLocks() {
    if (!m_window) {
        return;
    }
    for (QObject* object = m_window->parent(); object != nullptr; object = object->parent()) {
        auto* locks = qobject_cast<quillet::KeyboardLocks*>(object);
        if (locks == nullptr) {
            continue;
        }
        if (const std::optional<bool> caps = locks->CapsLockOn()) {
            if (m_terminal != nullptr) {
                m_terminal->Keys().SetCapsLock(*caps);
            }
            if (m_field != nullptr) {
                m_field->Keys().SetCapsLock(*caps);
            }
        }
        return;
    }
}

void CQuilletCtrl::FocusInput() {
    FieldInputInactive() ? FocusControl() : FocusFieldEditor();
}

bool CQuilletCtrl::FieldInputInactive() const {
    return m_field == nullptr || !m_field->Model().IsOpen();
}

void CQuilletCtrl::SetUnixEscKey(bool unixEscKey) {
    m_keySender->SetUnixEscKey(unixEscKey);
    if (m_field != nullptr) {
        m_field->Model().SetUnixEscKey(unixEscKey);
    }
}

void CQuilletCtrl::MergeInPlaceMenu() {
    m_menus->SetUpMenu(1);
}

}  // namespace terminal
