// A toolbar of the control.
#include "terminal/bars/toolbar_strip.h"

#include <QIcon>
#include <QToolButton>

#include "terminal/bars/bar_art.h"

namespace terminal::bars {

namespace {

const char* const kIdProperty = "commandId";

}  // namespace

CToolbarStrip::CToolbarStrip(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
}

void CToolbarStrip::SetButtons(std::span<const ToolbarButton> buttons, int indent) {
    std::vector<int32_t> ids;
    for (const ToolbarButton& button : buttons) {
        ids.push_back(button.id);
    }
    if (ids == ButtonIds() && indent == m_indent) {
        return;
    }
    for (QToolButton* button : m_buttons) {
        // A button's own click may be what changes the bar.
        button->hide();
        button->setObjectName(QString());
        button->deleteLater();
    }
    m_buttons.clear();
    m_indent = indent;
    int x = indent;
    for (const ToolbarButton& spec : buttons) {
        auto* button = new QToolButton(this);
        button->setObjectName(QStringLiteral("button%1").arg(spec.id));
        button->setProperty(kIdProperty, spec.id);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(QIcon(ToolbarImage(spec.id)));
        button->setIconSize(QSize(kToolbarImageWidth, kToolbarImageHeight));
        button->setToolTip(
            QString::fromLatin1(spec.tooltip.data(), static_cast<qsizetype>(spec.tooltip.size())));
        button->setGeometry(x, 0, kButtonWidth, kButtonHeight);
        const int32_t id = spec.id;
        connect(button, &QToolButton::clicked, this, [this, id] { emit command(id); });
        button->show();
        m_buttons.push_back(button);
        x += kButtonWidth;
    }
}

std::vector<int32_t> CToolbarStrip::ButtonIds() const {
    std::vector<int32_t> ids;
    for (const QToolButton* button : m_buttons) {
        ids.push_back(button->property(kIdProperty).toInt());
    }
    return ids;
}

QToolButton* CToolbarStrip::Button(int32_t id) const {
    for (QToolButton* button : m_buttons) {
        if (button->property(kIdProperty).toInt() == id) {
            return button;
        }
    }
    return nullptr;
}

}  // namespace terminal::bars
