// The frame's toolbars and the navigation status bar.
#include "container/frame_bars.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolTip>

#include "suite/qt/qt_text.h"

namespace container {

namespace {

const QString kReady = QStringLiteral("Ready");

QColor BarColour(ToolbarId bar) {
    switch (bar) {
        case ToolbarId::System:
            return QColor(0x2e, 0x5e, 0x9e);
        case ToolbarId::Control:
            return QColor(0x5a, 0x5a, 0x5a);
        case ToolbarId::Appointment:
            return QColor(0x2e, 0x7d, 0x4f);
        case ToolbarId::MedicalRecords:
            return QColor(0x9e, 0x3b, 0x2e);
        case ToolbarId::Mpi:
            return QColor(0x6b, 0x3e, 0x8e);
    }
    return Qt::darkGray;
}

QString Initials(std::string_view tooltip) {
    QString out;
    bool wordStart = true;
    for (char c : tooltip) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (letter && wordStart && out.size() < 2) {
            out += QChar::fromLatin1(c).toUpper();
        }
        wordStart = !letter;
    }
    return out;
}

// One face of a navigation button: an arrow, doubled for a page.
void PaintNavFace(QPainter& painter, const QRect& rect, NavButton button, bool pressed) {
    const QPalette palette;
    painter.fillRect(rect, palette.button());
    painter.setPen(pressed ? palette.dark().color() : palette.light().color());
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(pressed ? palette.light().color() : palette.dark().color());
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());

    const bool up = button == NavButton::PreviousItem || button == NavButton::PreviousPage;
    const bool page = button == NavButton::PreviousPage || button == NavButton::NextPage;
    const QPointF centre = QRectF(rect).center() + (pressed ? QPointF(1, 1) : QPointF(0, 0));
    const qreal half = 3.5;
    const qreal depth = up ? -3.0 : 3.0;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette.buttonText());
    const int arrows = page ? 2 : 1;
    for (int i = 0; i < arrows; ++i) {
        const qreal offset = page ? (i == 0 ? -2.5 : 2.5) : 0.0;
        const QPointF tip = centre + QPointF(0, depth / 2 + offset);
        QPainterPath path;
        path.moveTo(tip);
        path.lineTo(tip + QPointF(-half, -depth));
        path.lineTo(tip + QPointF(half, -depth));
        path.closeSubpath();
        painter.drawPath(path);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

}  // namespace

QIcon GeneratedButtonIcon(std::string_view tooltip, ToolbarId bar) {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(BarColour(bar));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 14), 3, 3);
    QFont font = painter.font();
    font.setPixelSize(8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, Initials(tooltip));
    painter.end();
    return QIcon(pixmap);
}

CToolBarEx::CToolBarEx(const ToolbarSpec& spec, QWidget* parent) : QToolBar(parent), m_id(spec.bar) {
    setObjectName(QString::fromLatin1(spec.title.data(), static_cast<qsizetype>(spec.title.size())));
    setWindowTitle(objectName());
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 15));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The frame's bars are fixed: no menu to hide them.
    setContextMenuPolicy(Qt::PreventContextMenu);
    for (const ToolbarButton& button : spec.buttons) {
        if (!button.onBar) {
            continue;
        }
        if (button.id == 0) {
            addSeparator();
            continue;
        }
        const QString tip = suite::FromCp1252(button.tooltip);
        QAction* action = addAction(GeneratedButtonIcon(button.tooltip, spec.bar), tip);
        action->setToolTip(tip);
        action->setStatusTip(tip);
        action->setData(button.id);
        const int32_t id = button.id;
        connect(action, &QAction::triggered, this, [this, id] { emit Command(id); });
    }
}

QAction* CToolBarEx::ActionFor(int32_t id) const {
    for (QAction* action : actions()) {
        if (!action->isSeparator() && action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

void CToolBarEx::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void CToolBarEx::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

CNavigationButtons::CNavigationButtons(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_repeat.setInterval(kRepeatMs);
    connect(&m_repeat, &QTimer::timeout, this, &CNavigationButtons::OnRepeat);
}

QSize CNavigationButtons::sizeHint() const {
    return QSize(kButtonStep * static_cast<int>(kNavButtonCount), 16);
}

QRect CNavigationButtons::ButtonRect(NavButton button) const {
    return QRect(static_cast<int>(button) * kButtonStep, 0, kButtonWidth, height());
}

std::optional<NavButton> CNavigationButtons::ButtonAt(const QPoint& point) const {
    for (const NavButtonSpec& spec : NavButtons()) {
        if (ButtonRect(spec.button).contains(point)) {
            return spec.button;
        }
    }
    return std::nullopt;
}

void CNavigationButtons::SetPressed(NavButton button, bool pressed) {
    bool& flag = m_pressed[static_cast<size_t>(button)];
    if (flag != pressed) {
        flag = pressed;
        update(ButtonRect(button));
    }
}

void CNavigationButtons::CancelPress() {
    m_repeat.stop();
    for (const NavButtonSpec& spec : NavButtons()) {
        SetPressed(spec.button, false);
    }
}

void CNavigationButtons::Send(NavButton button) {
    if (m_send) {
        m_send(button);
    }
}

void CNavigationButtons::ShowStatus(const QString& text) {
    if (m_status) {
        m_status(text);
    }
}

void CNavigationButtons::OnRepeat() {
    for (const NavButtonSpec& spec : NavButtons()) {
        if (IsPressed(spec.button)) {
            Send(spec.button);
            return;
        }
    }
    // Nothing held any more: the repeat has no reason to run.
    m_repeat.stop();
}

bool CNavigationButtons::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (const auto button = ButtonAt(help->pos())) {
            QToolTip::showText(help->globalPos(), suite::FromCp1252(NavButtonOf(*button).tooltip), this,
                               ButtonRect(*button));
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void CNavigationButtons::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const NavButtonSpec& spec : NavButtons()) {
        QRect rect = ButtonRect(spec.button);
        rect.setBottom(rect.bottom() - 1);
        PaintNavFace(painter, rect, spec.button, IsPressed(spec.button));
    }
}

void CNavigationButtons::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (const auto button = ButtonAt(event->position().toPoint())) {
        SetPressed(*button, true);
    }
    m_repeat.start();
    event->accept();
}

void CNavigationButtons::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_repeat.stop();
    const auto button = ButtonAt(event->position().toPoint());
    const bool send = button && IsPressed(*button);
    // A release anywhere ends the press; only a release over the held button sends.
    CancelPress();
    if (send) {
        Send(*button);
    }
    event->accept();
}

void CNavigationButtons::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    if (const auto button = ButtonAt(event->position().toPoint())) {
        SetPressed(*button, false);
        Send(*button);
    }
    event->accept();
}

void CNavigationButtons::mouseMoveEvent(QMouseEvent* event) {
    const auto over = ButtonAt(event->position().toPoint());
    if (over) {
        ShowStatus(suite::FromCp1252(NavButtonOf(*over).tooltip));
        m_readyShown = false;
    } else if (!m_readyShown) {
        ShowStatus(QString());
        m_readyShown = true;
    }
    for (const NavButtonSpec& spec : NavButtons()) {
        if (IsPressed(spec.button) && over != spec.button) {
            SetPressed(spec.button, false);
        }
    }
    QWidget::mouseMoveEvent(event);
}

void CNavigationButtons::leaveEvent(QEvent* event) {
    if (!m_readyShown) {
        ShowStatus(QString());
        m_readyShown = true;
    }
    QWidget::leaveEvent(event);
}

void CNavigationButtons::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        CancelPress();
    }
    QWidget::changeEvent(event);
}

void CNavigationButtons::hideEvent(QHideEvent* event) {
    CancelPress();
    QWidget::hideEvent(event);
}

CLockIndicators::CLockIndicators(QWidget* parent) : QWidget(parent), m_source(DisplayKeyLocks) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    static constexpr const char* kNames[] = {"CAPS", "NUM", "SCRL"};
    for (size_t i = 0; i < m_panes.size(); ++i) {
        auto* pane = new QLabel(this);
        pane->setTextFormat(Qt::PlainText);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        // Wide enough for the name, so the bar does not shift when a lock changes.
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QString::fromLatin1(kNames[i])) + 8);
        pane->setProperty("lockName", QString::fromLatin1(kNames[i]));
        layout->addWidget(pane);
        m_panes[i] = pane;
    }
    if (qApp != nullptr) {
        qApp->installEventFilter(this);
    }
    Refresh();
}

void CLockIndicators::Refresh() {
    const std::optional<KeyLocks> locks = Current();
    const bool on[] = {locks && locks->caps, locks && locks->num, locks && locks->scroll};
    for (size_t i = 0; i < m_panes.size(); ++i) {
        m_panes[i]->setText(on[i] ? m_panes[i]->property("lockName").toString() : QString());
    }
}

QString CLockIndicators::PaneText(int pane) const {
    return pane >= 0 && pane < int(m_panes.size()) ? m_panes[size_t(pane)]->text() : QString();
}

bool CLockIndicators::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyRelease:
            // Once per key, not once for each widget the event travels through.
            if (watched == QApplication::focusWidget()) {
                Refresh();
            }
            break;
        case QEvent::WindowActivate:
            if (watched == window()) {
                Refresh();
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

CSBCCustomStatusBar::CSBCCustomStatusBar(QWidget* parent)
    : QStatusBar(parent),
      m_ready(new QLabel(kReady, this)),
      m_locks(new CLockIndicators(this)),
      m_navigation(new CNavigationButtons(this)) {
    setObjectName(QStringLiteral("StatusBar"));
    m_ready->setTextFormat(Qt::PlainText);
    addWidget(m_ready, 1);
    addPermanentWidget(m_locks);
    addPermanentWidget(m_navigation);
    m_navigation->SetStatusText([this](const QString& text) { ShowPaneText(text); });
}

QString CSBCCustomStatusBar::PaneText() const {
    const QString message = currentMessage();
    return message.isEmpty() ? m_ready->text() : message;
}

void CSBCCustomStatusBar::ShowPaneText(const QString& text) {
    if (text.isEmpty()) {
        clearMessage();
    } else {
        showMessage(text);
    }
}

}  // namespace container
