// The control's status bar.
#include "terminal/bars/status_bar.h"

#include <QPainter>
#include <algorithm>

#include "terminal/bars/bar_art.h"

namespace terminal::bars {

CQuilletStatusBar::CQuilletStatusBar(QWidget* parent) : QWidget(parent), m_text(QStringLiteral("Ready")) {
    setObjectName(QStringLiteral("quilletStatusBar"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    const std::span<const StatusButtonSpec> specs = StatusButtons();
    for (size_t i = 0; i < m_buttons.size() && i < specs.size(); ++i) {
        const StatusButtonSpec& spec = specs[i];
        auto* button =
            new CStatusButton(spec.id, QString::fromLatin1(spec.tooltip.data(), spec.tooltip.size()),
                              StatusButtonImage(spec.id), this);
        const QString name = QString::fromLatin1(spec.windowText.data(), spec.windowText.size());
        button->setObjectName(name);
        button->setAccessibleName(name);
        connect(button, &CStatusButton::command, this, &CQuilletStatusBar::command);
        m_buttons[i] = button;
    }
    PlaceButtons();
}

CQuilletStatusBar::~CQuilletStatusBar() = default;

void CQuilletStatusBar::SetText(const QString& text) {
    m_text = text;
    update();
}

void CQuilletStatusBar::PlaceButtons() {
    const std::span<const StatusButtonSpec> specs = StatusButtons();
    for (size_t i = 0; i < m_buttons.size() && i < specs.size(); ++i) {
        m_buttons[i]->setGeometry(width() - specs[i].fromRight, 2, CStatusButton::kSize,
                                  std::clamp(height() - 2, 0, int{CStatusButton::kSize}));
    }
}

void CQuilletStatusBar::resizeEvent(QResizeEvent*) {
    PlaceButtons();
}

void CQuilletStatusBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::ButtonText));
    const int textRight = width() - StatusButtons().front().fromRight - 4;
    p.drawText(QRect(4, 0, std::max(0, textRight - 4), height()), Qt::AlignLeft | Qt::AlignVCenter, m_text);
}

}  // namespace terminal::bars
