// The status bar's paging button.
#include "terminal/bars/status_button.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

namespace terminal::bars {

bool BlockedByModal(const QWidget& widget) {
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        return false;
    }
    const QWidget* top = widget.window();
    // A modal window blocks everything except itself and the windows it owns.
    for (const QWidget* w = top; w != nullptr; w = w->parentWidget()) {
        if (w == modal) {
            return false;
        }
    }
    return true;
}

CStatusButton::CStatusButton(int32_t commandId, const QString& tooltip, QPixmap image, QWidget* parent)
    : QWidget(parent), m_commandId(commandId), m_image(std::move(image)) {
    setToolTip(tooltip);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
}

void CStatusButton::SetState(State state) {
    if (state != m_state) {
        m_state = state;
        update();
    }
}

void CStatusButton::StartRepeat(int interval) {
    m_interval = interval;
    m_repeat.start(interval, this);
}

void CStatusButton::Abandon() {
    m_repeat.stop();
    SetState(State::Flat);
}

bool CStatusButton::event(QEvent* e) {
    if (e->type() == QEvent::WindowBlocked) {
        // The release will go to the modal window, so the repeat would never end.
        Abandon();
    }
    return QWidget::event(e);
}

void CStatusButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(3, 3, m_image);
    const QPalette& pal = palette();
    QColor topLeft = pal.color(QPalette::Button);
    QColor bottomRight = topLeft;
    if (m_state == State::Pressed) {
        topLeft = pal.color(QPalette::Dark);
        bottomRight = pal.color(QPalette::Light);
    } else if (m_state == State::Raised) {
        topLeft = pal.color(QPalette::Light);
        bottomRight = pal.color(QPalette::Dark);
    }
    const int last = kSize - 1;
    p.setPen(topLeft);
    p.drawLine(0, 0, 0, last);
    p.drawLine(0, 0, last, 0);
    p.setPen(bottomRight);
    p.drawLine(last, 0, last, last);
    p.drawLine(0, last, last, last);
}

void CStatusButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    SetState(State::Pressed);
    StartRepeat(kFirstRepeatMs);
    emit command(m_commandId);
    e->accept();
}

void CStatusButton::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(e);
        return;
    }
    SetState(State::Pressed);
    emit command(m_commandId);
    e->accept();
}

void CStatusButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    m_repeat.stop();
    SetState(rect().contains(e->position().toPoint()) ? State::Raised : State::Flat);
    e->accept();
}

void CStatusButton::mouseMoveEvent(QMouseEvent* e) {
    const QPoint at = e->position().toPoint();
    const bool inside = at.x() >= 0 && at.y() >= 0 && at.x() <= kSize && at.y() <= kSize;
    if (!inside) {
        Abandon();
    } else if (m_state == State::Flat) {
        SetState(State::Raised);
    }
    QWidget::mouseMoveEvent(e);
}

void CStatusButton::leaveEvent(QEvent* e) {
    if (m_state != State::Pressed) {
        SetState(State::Flat);
    }
    QWidget::leaveEvent(e);
}

void CStatusButton::hideEvent(QHideEvent* e) {
    Abandon();
    QWidget::hideEvent(e);
}

void CStatusButton::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_repeat.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    if (BlockedByModal(*this)) {
        Abandon();
        return;
    }
    StartRepeat(kRepeatMs);
    emit command(m_commandId);
}

}  // namespace terminal::bars
