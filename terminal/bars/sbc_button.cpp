// The dialogs' owner-drawn key.
#include "terminal/bars/sbc_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

#include "terminal/bars/status_button.h"

namespace terminal::bars {

namespace {

enum FaceStyle { kNormalFace, kFocusedFace, kPressedFace };

QPainter::CompositionMode Mode(CSBCButton::ImageOp op) {
    switch (op) {
        case CSBCButton::ImageOp::And:
            return QPainter::RasterOp_SourceAndDestination;
        case CSBCButton::ImageOp::Or:
            return QPainter::RasterOp_SourceOrDestination;
        case CSBCButton::ImageOp::Xor:
            return QPainter::RasterOp_SourceXorDestination;
        case CSBCButton::ImageOp::Copy:
            break;
    }
    return QPainter::CompositionMode_SourceOver;
}

}  // namespace

CSBCButton::CSBCButton(QWidget* parent, int32_t controlId, int32_t ownerValue)
    : QWidget(parent), m_controlId(controlId), m_ownerValue(ownerValue) {
    setFocusPolicy(Qt::StrongFocus);
}

QPixmap CSBCButton::MakeFace(const QPixmap& image, int x, int y, ImageOp op, int style) const {
    const QPalette& pal = palette();
    QPixmap face(m_face.size());
    face.fill(pal.color(QPalette::Button));
    QPainter p(&face);
    const int right = m_face.width() - 1;
    const int bottom = m_face.height() - 1;
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    const bool sunken = style == kPressedFace;
    p.setPen(sunken ? dark : light);
    p.drawLine(0, 0, right, 0);
    p.drawLine(0, 0, 0, bottom);
    p.setPen(sunken ? light : dark);
    p.drawLine(right, 0, right, bottom);
    p.drawLine(0, bottom, right, bottom);
    if (style == kFocusedFace && right > 3 && bottom > 3) {
        p.setPen(QPen(pal.color(QPalette::WindowText), 1, Qt::DotLine));
        p.drawRect(2, 2, right - 4, bottom - 4);
    }
    p.setCompositionMode(Mode(op));
    const int shift = sunken ? 1 : 0;
    p.drawPixmap(x + shift, y + shift, image);
    return face;
}

void CSBCButton::CreateFaceBitmaps(const QPixmap& image, int x, int y, int width, int height, ImageOp op) {
    if (HasFaces() || width <= 0 || height <= 0) {
        return;
    }
    m_face = QRect(0, 0, width, height);
    m_normal = MakeFace(image, x, y, op, kNormalFace);
    m_focused = MakeFace(image, x, y, op, kFocusedFace);
    m_pressedFace = MakeFace(image, x, y, op, kPressedFace);
    update();
}

void CSBCButton::DrawDottedTo(QPainter& painter, int x, int y) {
    painter.save();
    painter.setPen(Qt::black);
    if (m_anchor.y() == y) {
        const int step = x >= m_anchor.x() ? 2 : -2;
        for (int at = m_anchor.x(); step > 0 ? at <= x : at >= x; at += step) {
            painter.drawPoint(at, y);
        }
    } else if (m_anchor.x() == x) {
        const int step = y >= m_anchor.y() ? 2 : -2;
        for (int at = m_anchor.y(); step > 0 ? at <= y : at >= y; at += step) {
            painter.drawPoint(x, at);
        }
    }
    painter.restore();
    m_anchor = QPoint(x, y);
}

bool CSBCButton::event(QEvent* e) {
    if (e->type() == QEvent::WindowBlocked) {
        Abandon();
    }
    return QWidget::event(e);
}

void CSBCButton::paintEvent(QPaintEvent*) {
    if (!HasFaces()) {
        return;
    }
    QPainter p(this);
    p.setClipRect(m_face);
    p.drawPixmap(0, 0, m_pressed ? m_pressedFace : (hasFocus() ? m_focused : m_normal));
}

void CSBCButton::Press() {
    emit notify(m_controlId, kPressed);
    m_pressed = true;
    m_repeat.start(kRepeatMs, this);
    update();
}

void CSBCButton::Abandon() {
    if (m_pressed || m_repeat.isActive()) {
        m_pressed = false;
        m_repeat.stop();
        update();
    }
}

void CSBCButton::mousePressEvent(QMouseEvent* e) {
    QWidget::mousePressEvent(e);
    if (e->button() == Qt::LeftButton) {
        Press();
        e->accept();
    }
}

void CSBCButton::mouseDoubleClickEvent(QMouseEvent* e) {
    QWidget::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton) {
        Press();
        e->accept();
    }
}

void CSBCButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    const bool wasPressed = m_pressed;
    Abandon();
    const QPoint at = e->position().toPoint();
    if (wasPressed && at.x() >= 0 && at.y() >= 0 && at.x() < m_face.width() && at.y() < m_face.height()) {
        QMetaObject::invokeMethod(
            this, [this] { emit notify(m_controlId, kReleased); }, Qt::QueuedConnection);
    }
    e->accept();
}

void CSBCButton::focusInEvent(QFocusEvent* e) {
    QWidget::focusInEvent(e);
    emit notify(m_controlId, kFocusIn);
    update();
}

void CSBCButton::focusOutEvent(QFocusEvent* e) {
    QWidget::focusOutEvent(e);
    emit notify(m_controlId, kFocusOut);
    update();
}

void CSBCButton::hideEvent(QHideEvent* e) {
    Abandon();
    QWidget::hideEvent(e);
}

void CSBCButton::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_repeat.timerId()) {
        QWidget::timerEvent(e);
        return;
    }
    if (!m_pressed || BlockedByModal(*this)) {
        Abandon();
        return;
    }
    emit notify(m_controlId, kPressed);
}

}  // namespace terminal::bars
