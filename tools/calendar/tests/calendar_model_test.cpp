// The calendar's date logic: month grids, weekdays, steps by month and year across their ends, day and
// week steps that stay in their row, column and month, the start date and the host reply.
#include "tools/calendar/calendar_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tools {
namespace {

using Kind = CalendarCell::Kind;

struct GridCase {
    int32_t year;
    int32_t month;
    // Spot checks: cell index, day, kind.
    std::vector<std::tuple<int32_t, int32_t, Kind>> cells;
};

TEST(CalendarGrid, FillsSixWeeksFromSunday) {
    const GridCase cases[] = {
        // May 2024 starts on a Wednesday after a 30-day April.
        {2024,
         5,
         {{0, 28, Kind::OtherMonth},
          {2, 30, Kind::OtherMonth},
          {3, 1, Kind::ShownMonth},
          {33, 31, Kind::ShownMonth},
          {34, 1, Kind::OtherMonth},
          {41, 8, Kind::OtherMonth}}},
        // February 2015 starts on a Sunday and fills exactly four rows.
        {2015, 2, {{0, 1, Kind::ShownMonth}, {27, 28, Kind::ShownMonth}, {28, 1, Kind::OtherMonth}}},
        // January 2000 starts on a Saturday: December of the year before leads.
        {2000,
         1,
         {{0, 26, Kind::OtherMonth},
          {5, 31, Kind::OtherMonth},
          {6, 1, Kind::ShownMonth},
          {36, 31, Kind::ShownMonth},
          {37, 1, Kind::OtherMonth}}},
        // March 2024 follows a leap February.
        {2024, 3, {{0, 25, Kind::OtherMonth}, {4, 29, Kind::OtherMonth}, {5, 1, Kind::ShownMonth}}},
        {2000, 2, {{2, 1, Kind::ShownMonth}, {30, 29, Kind::ShownMonth}, {31, 1, Kind::OtherMonth}}},
        {1900, 2, {{4, 1, Kind::ShownMonth}, {31, 28, Kind::ShownMonth}, {32, 1, Kind::OtherMonth}}},
    };
    for (const GridCase& c : cases) {
        const CalendarGrid grid = BuildCalendarGrid(c.year, c.month);
        for (const auto& [index, day, kind] : c.cells) {
            EXPECT_EQ(grid[index], (CalendarCell{day, kind}))
                << c.year << "-" << c.month << " cell " << index;
        }
        const auto shown = std::count_if(
            grid.begin(), grid.end(), [](const CalendarCell& cell) { return cell.kind == Kind::ShownMonth; });
        EXPECT_EQ(shown, CalendarDaysInMonth(c.year, c.month)) << c.year << "-" << c.month;
    }
}

TEST(CalendarGrid, WeekdaysOfKnownDates) {
    EXPECT_EQ(CalendarWeekday({2024, 5, 17}), 5);
    EXPECT_EQ(CalendarWeekday({2000, 1, 1}), 6);
    EXPECT_EQ(CalendarWeekday({1600, 1, 1}), 6);
    EXPECT_EQ(CalendarWeekday({2023, 12, 25}), 1);
    EXPECT_EQ(CalendarWeekday({1970, 1, 1}), 4);
}

struct StepCase {
    const char* name;
    CalendarDay start;
    void (CCalendarModel::*step)();
    CalendarDay expected;
};

TEST(CalendarModel, MonthAndYearStepsSelectTheFirst) {
    const StepCase cases[] = {
        {"NextMonthFromDecember31", {2023, 12, 31}, &CCalendarModel::NextMonth, {2024, 1, 1}},
        {"PreviousMonthFromJanuary", {2024, 1, 15}, &CCalendarModel::PreviousMonth, {2023, 12, 1}},
        {"NextMonthFromJanuary31", {2024, 1, 31}, &CCalendarModel::NextMonth, {2024, 2, 1}},
        {"NextYearFromLeapDay", {2024, 2, 29}, &CCalendarModel::NextYear, {2025, 2, 1}},
        {"PreviousYear", {2024, 7, 4}, &CCalendarModel::PreviousYear, {2023, 7, 1}},
        // The date type's years end at 100 and 9999: the step goes nowhere.
        {"BeforeTheFirstYear", {100, 1, 20}, &CCalendarModel::PreviousMonth, {100, 1, 20}},
        {"YearBeforeTheFirst", {100, 6, 20}, &CCalendarModel::PreviousYear, {100, 6, 20}},
        {"AfterTheLastYear", {9999, 12, 5}, &CCalendarModel::NextMonth, {9999, 12, 5}},
    };
    for (const StepCase& c : cases) {
        CCalendarModel model(c.start);
        (model.*c.step)();
        EXPECT_EQ(model.Date(), c.expected) << c.name;
        EXPECT_EQ(model.Cells(), BuildCalendarGrid(c.expected.year, c.expected.month)) << c.name;
    }
}

struct MoveCase {
    const char* name;
    CalendarDay start;
    bool (CCalendarModel::*step)();
    bool moved;
    int32_t day;
};

TEST(CalendarModel, DayAndWeekStepsStayInRowColumnAndMonth) {
    // May 2024: the 1st is a Wednesday, the 31st a Friday.
    const MoveCase cases[] = {
        {"NextDay", {2024, 5, 15}, &CCalendarModel::NextDay, true, 16},
        {"PreviousDay", {2024, 5, 15}, &CCalendarModel::PreviousDay, true, 14},
        {"NextDayOnSaturday", {2024, 5, 18}, &CCalendarModel::NextDay, false, 18},
        {"PreviousDayOnSunday", {2024, 5, 19}, &CCalendarModel::PreviousDay, false, 19},
        {"PreviousDayIntoApril", {2024, 5, 1}, &CCalendarModel::PreviousDay, false, 1},
        {"NextDayIntoJune", {2024, 5, 31}, &CCalendarModel::NextDay, false, 31},
        {"NextWeek", {2024, 5, 10}, &CCalendarModel::NextWeek, true, 17},
        {"PreviousWeek", {2024, 5, 17}, &CCalendarModel::PreviousWeek, true, 10},
        {"NextWeekInLastWeek", {2024, 5, 27}, &CCalendarModel::NextWeek, false, 27},
        {"PreviousWeekInFirstRow", {2024, 5, 3}, &CCalendarModel::PreviousWeek, false, 3},
        {"PreviousWeekIntoApril", {2024, 5, 6}, &CCalendarModel::PreviousWeek, false, 6},
    };
    for (const MoveCase& c : cases) {
        CCalendarModel model(c.start);
        EXPECT_EQ((model.*c.step)(), c.moved) << c.name;
        EXPECT_EQ(model.Date(), (CalendarDay{2024, 5, c.day})) << c.name;
    }
}

TEST(CalendarModel, SelectsOnlyDaysOfTheShownMonth) {
    CCalendarModel model({2024, 5, 17});
    EXPECT_EQ(model.SelectedCell(), 19);
    EXPECT_FALSE(model.SelectCell(2));   // 30 April
    EXPECT_FALSE(model.SelectCell(40));  // 7 June
    EXPECT_FALSE(model.SelectCell(-1));
    EXPECT_FALSE(model.SelectCell(42));
    EXPECT_EQ(model.Date(), (CalendarDay{2024, 5, 17}));
    EXPECT_TRUE(model.SelectCell(3));
    EXPECT_EQ(model.Date(), (CalendarDay{2024, 5, 1}));
}

TEST(CalendarStart, HostDateWhenRealElseToday) {
    const terminal::CalendarDate today = terminal::CalendarDate::FromParts(2024, 5, 17, 9, 30, 15);
    // The host command's date: 30 February passes its range checks but is no real day.
    EXPECT_EQ(CalendarStartDay(terminal::HostCalendarDate(12252023, today), today),
              (CalendarDay{2023, 12, 25}));
    EXPECT_EQ(CalendarStartDay(terminal::HostCalendarDate(2302024, today), today),
              (CalendarDay{2024, 5, 17}));
    EXPECT_EQ(CalendarStartDay(terminal::HostCalendarDate(std::nullopt, today), today),
              (CalendarDay{2024, 5, 17}));
    EXPECT_EQ(CalendarStartDay({}, {}), CalendarDay{});
}

TEST(CalendarReply, EightDigitsForADateNothingForCancel) {
    EXPECT_EQ(CalendarReply(CalendarDay{2023, 12, 25}), "12252023");
    EXPECT_EQ(CalendarReply(CalendarDay{2024, 5, 7}), "05072024");
    EXPECT_EQ(CalendarReply(CalendarDay{100, 1, 1}), "01010100");
    EXPECT_EQ(CalendarReply(std::nullopt), "");
    EXPECT_EQ(CalendarReply(CalendarDay{2023, 2, 30}), "");
    // What the host asked for comes back unchanged when the user only confirms.
    const terminal::CalendarDate today = terminal::CalendarDate::FromParts(2024, 5, 17);
    CCalendarModel model(CalendarStartDay(terminal::HostCalendarDate(7042000, today), today));
    EXPECT_EQ(CalendarReply(model.Date()), "07042000");
}

}  // namespace
}  // namespace tools
