// The calendar's widgets: the month grid is drawn here, its dates come from CCalendarModel.
#include "tools/calendar/calendar_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

namespace tools {
namespace {

constexpr int kRepeatMs = 200;  // the step buttons repeat while held

QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// ---- The grid ----

CCalendarOutput::CCalendarOutput(const CalendarDay& start, QWidget* parent)
    : QWidget(parent), m_model(start) {
    setObjectName(QStringLiteral("Calendar Output"));
    setAccessibleName(QStringLiteral("Calendar Output"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(260, 220);
}

CCalendarOutput::FittedFont CCalendarOutput::Fit(int columns, int widthLimit, int heightLimit) const {
    // The largest bold face whose measured height and average width let `columns` characters fit.
    static const QString kAlphabet = QStringLiteral("abcdefghijklmnopqrstuvwxyz");
    static const QString kTall = QStringLiteral("gMgMgMgMgMgMg");
    auto measure = [](int pixels) {
        FittedFont fitted;
        fitted.font = QApplication::font();
        fitted.font.setPixelSize(pixels);
        fitted.font.setBold(true);
        const QFontMetrics metrics(fitted.font);
        fitted.height = metrics.boundingRect(kTall).height();
        fitted.width = metrics.horizontalAdvance(kAlphabet) / 26;
        return fitted;
    };
    auto fits = [&](const FittedFont& f) {
        return f.height <= heightLimit && columns * f.width <= widthLimit;
    };
    FittedFont best = measure(20);
    if (fits(best)) {
        for (int pixels = 21; pixels < 400; ++pixels) {
            FittedFont larger = measure(pixels);
            if (!fits(larger)) {
                break;
            }
            best = larger;
        }
        return best;
    }
    for (int pixels = 19; pixels >= 1; --pixels) {
        best = measure(pixels);
        if (fits(best)) {
            break;
        }
    }
    return best;
}

void CCalendarOutput::Relayout() {
    const int width = this->width();
    const int h = std::max(height() - 36, 6);
    m_title = Fit(18, width, static_cast<int>(h * 0.16666667));
    m_dayName = Fit(37, width, static_cast<int>(h * 0.083333336));
    m_number = Fit(30, width, static_cast<int>(h * 0.75) / 6);
    const int firstTop = m_title.height + m_dayName.height + 16;
    const int columnWidth = std::max((width - 4) / kCalendarColumns, 1);
    for (int32_t index = 0; index < kCalendarCells; ++index) {
        const int row = index / kCalendarColumns;
        const int column = index % kCalendarColumns;
        const int top = firstTop + row * (m_number.height + 3);
        m_cells[index] = QRect(2 + column * columnWidth, top, columnWidth, m_number.height + 1);
    }
    m_laidOut = true;
}

QRect CCalendarOutput::CellRect(int32_t index) {
    if (!m_laidOut) {
        Relayout();
    }
    return index >= 0 && index < kCalendarCells ? m_cells[index] : QRect();
}

void CCalendarOutput::resizeEvent(QResizeEvent*) {
    m_laidOut = false;
}

void CCalendarOutput::paintEvent(QPaintEvent*) {
    if (!m_laidOut) {
        Relayout();
    }
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.color(QPalette::Button));

    const CalendarDay& date = m_model.Date();
    painter.setFont(m_title.font);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(QRect(0, 10, width(), m_title.height), Qt::AlignCenter | Qt::TextSingleLine,
                     Text(kMonthNames[date.month - 1]) + QStringLiteral(" %1").arg(date.year));

    painter.setFont(m_dayName.font);
    const int nameTop = m_title.height + 12;
    for (int column = 0; column < kCalendarColumns; ++column) {
        const QRect cell = m_cells[column];
        painter.drawText(QRect(cell.left(), nameTop, cell.width(), m_dayName.height), Qt::AlignCenter,
                         Text(kDayNames[column]));
    }

    painter.setFont(m_number.font);
    const CalendarGrid& cells = m_model.Cells();
    for (int32_t index = 0; index < kCalendarCells; ++index) {
        const bool shown = cells[index].kind == CalendarCell::Kind::ShownMonth;
        painter.setPen(shown ? colours.color(QPalette::WindowText)
                             : colours.color(QPalette::Disabled, QPalette::WindowText));
        painter.drawText(m_cells[index], Qt::AlignCenter, QString::number(cells[index].day));
    }

    // The selected day, framed sunken: dark above and left, light below and right.
    const QRect frame = m_cells[m_model.SelectedCell()].adjusted(1, 0, -1, 0);
    QPen dark(colours.color(QPalette::Shadow), 2);
    QPen light(colours.color(QPalette::Light), 2);
    painter.setPen(dark);
    painter.drawLine(frame.topLeft(), frame.topRight());
    painter.drawLine(frame.topLeft(), frame.bottomLeft());
    painter.setPen(light);
    painter.drawLine(frame.bottomLeft(), frame.bottomRight());
    painter.drawLine(frame.topRight(), frame.bottomRight());
}

int32_t CCalendarOutput::ShownCellAt(const QPoint& point) {
    for (int32_t index = 0; index < kCalendarCells; ++index) {
        if (CellRect(index).contains(point)) {
            return m_model.Cells()[index].kind == CalendarCell::Kind::ShownMonth ? index : -1;
        }
    }
    return -1;
}

void CCalendarOutput::mousePressEvent(QMouseEvent* event) {
    const int32_t index = event->button() == Qt::LeftButton ? ShownCellAt(event->position().toPoint()) : -1;
    if (index < 0) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_model.SelectCell(index);
    setFocus(Qt::MouseFocusReason);
    update();
}

void CCalendarOutput::mouseDoubleClickEvent(QMouseEvent* event) {
    const int32_t index = event->button() == Qt::LeftButton ? ShownCellAt(event->position().toPoint()) : -1;
    if (index < 0) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    m_model.SelectCell(index);
    update();
    emit dayChosen();
}

// ---- The dialog ----

CCalendarDlg::CCalendarDlg(const CalendarDay& start, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Calendar"));
    m_output = new CCalendarOutput(start, this);
    m_selected = m_output->Model().Date();

    struct SpinSpec {
        SpinId id;
        const char* name;
        Qt::ArrowType arrow;
        const char* tip;
    };
    constexpr SpinSpec kSpecs[] = {
        {kSpinMonthPrev, "SpinMonthPrev", Qt::LeftArrow, "Previous month"},
        {kSpinMonthNext, "SpinMonthNext", Qt::RightArrow, "Next month"},
        {kSpinYearPrev, "SpinYearPrev", Qt::LeftArrow, "Previous year"},
        {kSpinYearNext, "SpinYearNext", Qt::RightArrow, "Next year"},
    };
    for (std::size_t i = 0; i < std::size(kSpecs); ++i) {
        auto* spin = new QToolButton(this);
        spin->setObjectName(QString::fromLatin1(kSpecs[i].name));
        spin->setArrowType(kSpecs[i].arrow);
        spin->setToolTip(QString::fromLatin1(kSpecs[i].tip));
        spin->setFocusPolicy(Qt::TabFocus);
        spin->setAutoRepeat(true);
        spin->setAutoRepeatDelay(kRepeatMs);
        spin->setAutoRepeatInterval(kRepeatMs);
        // On the press and on every repeat tick, as a held button steps on.
        connect(spin, &QToolButton::pressed, this, [this, id = kSpecs[i].id] { Step(id); });
        m_spins[i] = spin;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CCalendarDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCalendarDlg::reject);
    connect(m_output, &CCalendarOutput::dayChosen, this, &CCalendarDlg::accept);

    auto* steps = new QHBoxLayout;
    steps->addWidget(Spin(kSpinYearPrev));
    steps->addWidget(Spin(kSpinMonthPrev));
    steps->addStretch(1);
    steps->addWidget(Spin(kSpinMonthNext));
    steps->addWidget(Spin(kSpinYearNext));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(steps);
    layout->addWidget(m_output, 1);
    layout->addWidget(buttons);

    // Day and week keys work wherever the focus is in the dialog.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    m_output->setFocus(Qt::OtherFocusReason);
}

QToolButton* CCalendarDlg::Spin(SpinId id) const {
    const auto index = static_cast<std::size_t>(id - kSpinMonthPrev);
    return index < m_spins.size() ? m_spins[index] : nullptr;
}

void CCalendarDlg::Step(SpinId id) {
    CCalendarModel& model = m_output->Model();
    switch (id) {
        case kSpinMonthPrev:
            model.PreviousMonth();
            break;
        case kSpinMonthNext:
            model.NextMonth();
            break;
        case kSpinYearPrev:
            model.PreviousYear();
            break;
        case kSpinYearNext:
            model.NextYear();
            break;
    }
    m_output->update();
}

bool CCalendarDlg::HandleKey(int key) {
    CCalendarModel& model = m_output->Model();
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_4:
            model.PreviousDay();
            break;
        case Qt::Key_Right:
        case Qt::Key_6:
            model.NextDay();
            break;
        case Qt::Key_Up:
        case Qt::Key_8:
            model.PreviousWeek();
            break;
        case Qt::Key_Down:
        case Qt::Key_2:
            model.NextWeek();
            break;
        default:
            return false;
    }
    m_output->update();
    return true;
}

bool CCalendarDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(event)->key())) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CCalendarDlg::accept() {
    m_selected = m_output->Model().Date();
    QDialog::accept();
}

}  // namespace tools
