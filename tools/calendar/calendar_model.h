// The calendar's date logic without its widgets: the month grid of 42 cells, the steps by day, week, month
// and year, the date the calendar opens on, and the reply the control gives the host for the chosen date.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/core/host_commands.h"

namespace tools {

struct CalendarDay {
    int32_t year = 2000;
    int32_t month = 1;
    int32_t day = 1;
    bool operator==(const CalendarDay&) const = default;
};

// The years the date type holds; steps never leave them.
inline constexpr int32_t kCalendarFirstYear = 100;
inline constexpr int32_t kCalendarLastYear = 9999;

int32_t CalendarDaysInMonth(int32_t year, int32_t month);
// 0 = Sunday.
int32_t CalendarWeekday(const CalendarDay& day);
bool CalendarDayValid(const CalendarDay& day);

inline constexpr std::array<std::string_view, 12> kMonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
inline constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                              "Thu", "Fri", "Sat"};

struct CalendarCell {
    enum class Kind : int32_t { OtherMonth = 1, ShownMonth = 2 };
    int32_t day = 0;
    Kind kind = Kind::OtherMonth;
    bool operator==(const CalendarCell&) const = default;
};

inline constexpr int32_t kCalendarColumns = 7;
inline constexpr int32_t kCalendarCells = 42;
using CalendarGrid = std::array<CalendarCell, kCalendarCells>;

// Six weeks from Sunday: the last days of the previous month, the month itself, then the next month's first.
CalendarGrid BuildCalendarGrid(int32_t year, int32_t month);

// The date the calendar opens on: the host's when it is a real day, else today's.
CalendarDay CalendarStartDay(const terminal::CalendarDate& requested, const terminal::CalendarDate& today);

// The chosen date as the host takes it: MMDDYYYY, always eight digits.
std::string CalendarHostDate(const CalendarDay& day);
// What the control writes to the host when the calendar closes: the date on OK, nothing on cancel.
std::string CalendarReply(const std::optional<CalendarDay>& chosen);

// The shown month and its selected day.
class CCalendarModel {
  public:
    explicit CCalendarModel(const CalendarDay& start);

    const CalendarDay& Date() const { return m_date; }
    const CalendarGrid& Cells() const { return m_cells; }
    // The grid cell of the selected day.
    int32_t SelectedCell() const;

    // Month and year steps select day 1.
    void PreviousMonth();
    void NextMonth();
    void PreviousYear();
    void NextYear();
    // Day steps stay in their row and week steps in their column, on days of the shown month; false when
    // the step goes nowhere.
    bool PreviousDay();
    bool NextDay();
    bool PreviousWeek();
    bool NextWeek();
    // Selects the cell's day when it belongs to the shown month.
    bool SelectCell(int32_t index);

  private:
    void ShowMonth(int32_t year, int32_t month);

    CalendarDay m_date;
    CalendarGrid m_cells;
};

}  // namespace tools
