// The calculator's widgets; the arithmetic and the key map live in CCalculatorEngine.
#include "tools/calculator/calculator_dlg.h"

#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <string>

#include "platform/user_prompt.h"
#include "terminal/widget/key_adapter.h"

namespace tools {
namespace {

struct Place {
    CalcButton id;
    int row;
    int column;
    int columnSpan;
};

constexpr Place kPlaces[] = {
    {CalcButton::Backspace, 0, 0, 2}, {CalcButton::ClearEntry, 0, 2, 1}, {CalcButton::Clear, 0, 3, 1},
    {CalcButton::Seven, 1, 0, 1},     {CalcButton::Eight, 1, 1, 1},      {CalcButton::Nine, 1, 2, 1},
    {CalcButton::Divide, 1, 3, 1},    {CalcButton::Four, 2, 0, 1},       {CalcButton::Five, 2, 1, 1},
    {CalcButton::Six, 2, 2, 1},       {CalcButton::Multiply, 2, 3, 1},   {CalcButton::One, 3, 0, 1},
    {CalcButton::Two, 3, 1, 1},       {CalcButton::Three, 3, 2, 1},      {CalcButton::Subtract, 3, 3, 1},
    {CalcButton::Zero, 4, 0, 1},      {CalcButton::Sign, 4, 1, 1},       {CalcButton::Point, 4, 2, 1},
    {CalcButton::Add, 4, 3, 1},       {CalcButton::Percent, 5, 0, 1},    {CalcButton::Equals, 5, 1, 1},
    {CalcButton::Ok, 5, 2, 2},
};

}  // namespace

CCalculator::CCalculator(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Calculator"));

    m_display = new QLabel(QString::fromStdString(m_engine.Display()), this);
    m_display->setObjectName(QStringLiteral("display"));
    m_display->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_display->setMinimumWidth(180);
    m_display->setTextInteractionFlags(Qt::NoTextInteraction);

    auto* grid = new QGridLayout;
    for (const Place& place : kPlaces) {
        const CalcButtonInfo* info = nullptr;
        for (const CalcButtonInfo& candidate : kCalcButtons) {
            if (candidate.id == place.id) {
                info = &candidate;
            }
        }
        auto* button =
            new QPushButton(QString::fromLatin1(info->face.data(), qsizetype(info->face.size())), this);
        const auto id = static_cast<int32_t>(place.id);
        button->setObjectName(QStringLiteral("button%1").arg(id));
        // Only OK and '=' ever hold the focus; a click on any other button leaves it where it was.
        button->setFocusPolicy(info->defaultStyle ? Qt::StrongFocus : Qt::NoFocus);
        button->setAutoDefault(false);
        button->installEventFilter(this);
        connect(button, &QPushButton::clicked, this, [this, id = place.id] { Clicked(id); });
        grid->addWidget(button, place.row, place.column, 1, place.columnSpan);
        m_buttons[place.id] = button;
    }
    m_buttons[CalcButton::Ok]->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_display);
    layout->addLayout(grid);
    setFixedSize(sizeHint());

    m_buttons[CalcButton::Ok]->setFocus(Qt::OtherFocusReason);
}

QPushButton* CCalculator::Button(CalcButton id) const {
    const auto found = m_buttons.find(id);
    return found != m_buttons.end() ? found->second : nullptr;
}

void CCalculator::Clicked(CalcButton id) {
    if (id == CalcButton::Ok) {
        accept();
        return;
    }
    switch (m_engine.Press(id)) {
        case CCalculatorEngine::Outcome::Done:
            break;
        case CCalculatorEngine::Outcome::DivideByZero:
            platform::DefaultPrompt().Message(std::string(kDivideByZeroText));
            break;
        case CCalculatorEngine::Outcome::OutOfRange:
            platform::DefaultPrompt().Message(std::string(kOutOfRangeText));
            break;
    }
    m_display->setText(QString::fromStdString(m_engine.Display()));
}

bool CCalculator::HandleKey(const QKeyEvent& event) {
    terminal::KeyModifiers mods;
    mods.shift = event.modifiers().testFlag(Qt::ShiftModifier);
    mods.ctrl = event.modifiers().testFlag(Qt::ControlModifier);
    mods.alt = event.modifiers().testFlag(Qt::AltModifier);
    const uint32_t virtualKey = terminal::KeyAdapter::VirtualKeyOf(event.key(), event.modifiers());
    const std::optional<CalcKey> key = CalcKeyFor(virtualKey, mods);
    if (!key) {
        return false;
    }
    switch (key->action) {
        case CalcKey::Action::Button:
            PressByKey(key->button);
            break;
        case CalcKey::Action::Cancel:
            reject();
            break;
        case CalcKey::Action::SwitchFocus:
            Button(m_focused == CalcButton::Ok ? CalcButton::Equals : CalcButton::Ok)
                ->setFocus(Qt::TabFocusReason);
            break;
        case CalcKey::Action::PressFocused:
            // Once, however the focused button would take the Space key itself.
            if (!event.isAutoRepeat()) {
                PressByKey(m_focused);
            }
            break;
    }
    return true;
}

void CCalculator::PressByKey(CalcButton id) {
    QPointer<QPushButton> button = Button(id);
    if (!button) {
        return;
    }
    // Clicked at once so that fast typing of the same key counts every time; the face shows the press a
    // moment longer.
    button->click();
    if (button && isVisible()) {
        button->setDown(true);
        QTimer::singleShot(kPressShowMs, button, [button] {
            if (button) {
                button->setDown(false);
            }
        });
    }
}

bool CCalculator::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            // Ahead of the buttons' and the dialog's own handling of Enter, Space, Tab and Escape.
            if (HandleKey(static_cast<const QKeyEvent&>(*event))) {
                return true;
            }
            break;
        case QEvent::KeyRelease: {
            const int key = static_cast<const QKeyEvent*>(event)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
                return true;
            }
            break;
        }
        case QEvent::FocusIn:
            if (watched == Button(CalcButton::Ok)) {
                m_focused = CalcButton::Ok;
            } else if (watched == Button(CalcButton::Equals)) {
                m_focused = CalcButton::Equals;
            }
            break;
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

void CCalculator::keyPressEvent(QKeyEvent* event) {
    if (!HandleKey(*event)) {
        QDialog::keyPressEvent(event);
    }
}

}  // namespace tools
