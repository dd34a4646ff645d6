// The calendar dialog: a self-drawn month grid with buttons for the previous and next month and year. The
// host's calendar command opens it; the date logic lives in CCalendarModel.
#pragma once

#include <QDialog>
#include <QFont>
#include <QWidget>
#include <array>
#include <cstdint>

#include "tools/calendar/calendar_model.h"

class QToolButton;

namespace tools {

// The month grid: title, day names and six weeks of day numbers, the selected day framed sunken.
class CCalendarOutput : public QWidget {
    Q_OBJECT

  public:
    CCalendarOutput(const CalendarDay& start, QWidget* parent);

    CCalendarModel& Model() { return m_model; }
    const CCalendarModel& Model() const { return m_model; }
    // Where grid cell `index` is drawn, in this widget's coordinates.
    QRect CellRect(int32_t index);

  signals:
    // A double click on a day of the shown month.
    void dayChosen();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    struct FittedFont {
        QFont font;
        int height = 0;
        int width = 0;  // average character width
    };
    void Relayout();
    FittedFont Fit(int columns, int widthLimit, int heightLimit) const;
    // The cell of the shown month under `point`, or -1.
    int32_t ShownCellAt(const QPoint& point);

    CCalendarModel m_model;
    bool m_laidOut = false;
    FittedFont m_title;
    FittedFont m_dayName;
    FittedFont m_number;
    std::array<QRect, kCalendarCells> m_cells;
};

class CCalendarDlg : public QDialog {
    Q_OBJECT

  public:
    // The button ids of the month and year steps.
    enum SpinId : int32_t {
        kSpinMonthPrev = 237,
        kSpinMonthNext = 238,
        kSpinYearPrev = 239,
        kSpinYearNext = 240
    };

    explicit CCalendarDlg(const CalendarDay& start, QWidget* parent = nullptr);

    // The date taken at OK; the start date until then.
    const CalendarDay& SelectedDate() const { return m_selected; }
    CCalendarOutput* Output() const { return m_output; }
    QToolButton* Spin(SpinId id) const;

    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Step(SpinId id);
    bool HandleKey(int key);

    CCalendarOutput* m_output = nullptr;
    CalendarDay m_selected;
    std::array<QToolButton*, 4> m_spins{};
};

}  // namespace tools
