// The calendar's date logic: a proleptic Gregorian calendar over the years of the date type.
#include "tools/calendar/calendar_model.h"

#include <cstdio>

namespace tools {

int32_t CalendarDaysInMonth(int32_t year, int32_t month) {
    return terminal::DaysInMonth(year, month);
}

int32_t CalendarWeekday(const CalendarDay& day) {
    static constexpr int32_t kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int32_t year = day.month < 3 ? day.year - 1 : day.year;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[day.month - 1] + day.day) % 7;
}

bool CalendarDayValid(const CalendarDay& day) {
    return day.year >= kCalendarFirstYear && day.year <= kCalendarLastYear && day.month >= 1 &&
           day.month <= 12 && day.day >= 1 && day.day <= CalendarDaysInMonth(day.year, day.month);
}

CalendarGrid BuildCalendarGrid(int32_t year, int32_t month) {
    CalendarGrid cells{};
    const int32_t first = CalendarWeekday({year, month, 1});
    const int32_t previousLength =
        month == 1 ? CalendarDaysInMonth(year - 1, 12) : CalendarDaysInMonth(year, month - 1);
    const int32_t length = CalendarDaysInMonth(year, month);
    int32_t index = 0;
    for (; index < first; ++index) {
        cells[index] = {previousLength - first + 1 + index, CalendarCell::Kind::OtherMonth};
    }
    for (int32_t day = 1; day <= length; ++day, ++index) {
        cells[index] = {day, CalendarCell::Kind::ShownMonth};
    }
    for (int32_t day = 1; index < kCalendarCells; ++day, ++index) {
        cells[index] = {day, CalendarCell::Kind::OtherMonth};
    }
    return cells;
}

CalendarDay CalendarStartDay(const terminal::CalendarDate& requested, const terminal::CalendarDate& today) {
    // A day the month does not have (30 February) is no date: the calendar opens on today.
    for (const terminal::CalendarDate* date : {&requested, &today}) {
        const CalendarDay day{date->year, date->month, date->day};
        if (date->Valid() && CalendarDayValid(day)) {
            return day;
        }
    }
    return {};
}

std::string CalendarHostDate(const CalendarDay& day) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%02d%04d", static_cast<int>(day.month), static_cast<int>(day.day),
                  static_cast<int>(day.year));
    return text;
}

std::string CalendarReply(const std::optional<CalendarDay>& chosen) {
    return chosen && CalendarDayValid(*chosen) ? CalendarHostDate(*chosen) : std::string();
}

CCalendarModel::CCalendarModel(const CalendarDay& start)
    : m_date(CalendarDayValid(start) ? start : CalendarDay{}) {
    m_cells = BuildCalendarGrid(m_date.year, m_date.month);
}

int32_t CCalendarModel::SelectedCell() const {
    return CalendarWeekday({m_date.year, m_date.month, 1}) + m_date.day - 1;
}

void CCalendarModel::ShowMonth(int32_t year, int32_t month) {
    if (year < kCalendarFirstYear || year > kCalendarLastYear) {
        return;
    }
    m_date = {year, month, 1};
    m_cells = BuildCalendarGrid(year, month);
}

void CCalendarModel::PreviousMonth() {
    m_date.month == 1 ? ShowMonth(m_date.year - 1, 12) : ShowMonth(m_date.year, m_date.month - 1);
}

void CCalendarModel::NextMonth() {
    m_date.month == 12 ? ShowMonth(m_date.year + 1, 1) : ShowMonth(m_date.year, m_date.month + 1);
}

void CCalendarModel::PreviousYear() {
    ShowMonth(m_date.year - 1, m_date.month);
}

void CCalendarModel::NextYear() {
    ShowMonth(m_date.year + 1, m_date.month);
}

bool CCalendarModel::PreviousDay() {
    const int32_t cell = SelectedCell();
    return cell % kCalendarColumns != 0 && SelectCell(cell - 1);
}

bool CCalendarModel::NextDay() {
    const int32_t cell = SelectedCell();
    return cell % kCalendarColumns != kCalendarColumns - 1 && SelectCell(cell + 1);
}

bool CCalendarModel::PreviousWeek() {
    return SelectCell(SelectedCell() - kCalendarColumns);
}

bool CCalendarModel::NextWeek() {
    return SelectCell(SelectedCell() + kCalendarColumns);
}

bool CCalendarModel::SelectCell(int32_t index) {
    if (index < 0 || index >= kCalendarCells || m_cells[index].kind != CalendarCell::Kind::ShownMonth) {
        return false;
    }
    m_date.day = m_cells[index].day;
    return true;
}

}  // namespace tools
