// The practice list's filter and header-click sorting, with the extremes of the number columns.

#include "selector/practice_list_model.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <climits>

namespace selector {
namespace {

using practice::CPractice;

CPractice Make(std::string name, int32_t type, int32_t billServ, int32_t port = 8002) {
    CPractice p;
    p.m_Name = std::move(name);
    p.m_PracticeType = type;
    p.m_BillServID = billServ;
    p.m_PortNumber = port;
    return p;
}

std::vector<std::string> Names(const PracticeListModel& model) {
    std::vector<std::string> out;
    for (size_t r = 0; r < model.RowCount(); ++r)
        out.push_back(model.Text(r, 0));
    return out;
}

TEST(PracticeListModelTest, BillingServicesHiddenUntilShowAll) {
    std::vector<CPractice> list = {Make("Alpha", 0, 0), Make("Bill", 2, 7), Make("BillZero", 2, 0),
                                   Make("Mso", 4, 3)};
    PracticeListModel model(&list);
    model.Refill();
    EXPECT_EQ(Names(model), (std::vector<std::string>{"Alpha", "BillZero", "Mso"}));
    model.SetShowAll(true);
    model.Refill();
    EXPECT_EQ(Names(model), (std::vector<std::string>{"Alpha", "Bill", "BillZero", "Mso"}));
    EXPECT_EQ(model.Text(1, 10), "7");
    EXPECT_EQ(model.Text(0, 10), "");
}

TEST(PracticeListModelTest, ClickSequencesAndCaseInsensitiveText) {
    std::vector<CPractice> list = {Make("beta", 0, 0), Make("Alpha", 0, 0), Make("gamma", 0, 0)};
    PracticeListModel model(&list);
    model.Refill();
    EXPECT_EQ(Names(model), (std::vector<std::string>{"Alpha", "beta", "gamma"}));

    struct Step {
        int column;
        int sortColumn;
        bool descending;
    };
    // The list starts ascending by "Practice": its first click sorts descending.
    const std::vector<Step> steps = {{0, 0, true}, {0, 0, false}, {4, 4, false},
                                     {4, 4, true}, {4, 4, false}, {0, 0, false}};
    for (const auto& s : steps) {
        model.ClickColumn(s.column);
        EXPECT_EQ(model.SortColumn(), s.sortColumn);
        EXPECT_EQ(model.SortDescending(), s.descending);
    }
    model.ClickColumn(0);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
}

// Show All filters the kept order: rows with equal keys (here equal ports and names) stay as a full refill
// would place them, in both directions and after a re-sort.
TEST(PracticeListModelTest, ShowAllToggleMatchesAFreshRefill) {
    std::vector<CPractice> list = {Make("same", 0, 0, 5),  Make("Bill", 2, 7, 5), Make("same", 4, 3, 1),
                                   Make("Other", 2, 9, 1), Make("same", 0, 0, 5), Make("alpha", 2, 0, 9)};
    for (int i = 0; i < static_cast<int>(list.size()); ++i)
        list[i].m_Host = "h" + std::to_string(i);
    const std::vector<std::vector<int>> clicks = {{}, {0}, {4}, {4, 4}, {3}, {11}};
    for (const std::vector<int>& sequence : clicks) {
        PracticeListModel toggled(&list);
        toggled.Refill();
        for (int column : sequence)
            toggled.ClickColumn(column);
        for (bool showAll : {true, false, true}) {
            toggled.SetShowAll(showAll);
            PracticeListModel fresh(&list);
            fresh.SetShowAll(showAll);
            fresh.Refill();
            for (int column : sequence)
                fresh.ClickColumn(column);
            std::vector<std::string> got, want;
            for (size_t r = 0; r < toggled.RowCount(); ++r)
                got.push_back(toggled.Text(r, 3));
            for (size_t r = 0; r < fresh.RowCount(); ++r)
                want.push_back(fresh.Text(r, 3));
            EXPECT_EQ(got, want) << "clicks " << sequence.size() << " show all " << showAll;
        }
    }
}

// Names are Windows-1252: "\x8a" is a letter there, not a control character to be ignored.
TEST(PracticeListModelTest, TextSortsAsTheNamesAreShown) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::vector<CPractice> list = {Make("Tom", 0, 0), Make("\x8aimon", 0, 0), Make("Sam", 0, 0)};
    PracticeListModel model(&list);
    model.Refill();
    QLocale::setDefault(saved);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"Sam", "\x8aimon", "Tom"}));
}

TEST(PracticeListModelTest, NumberColumnsAtTheExtremes) {
    std::vector<CPractice> list = {Make("max", 0, 0, INT_MAX), Make("min", 0, 0, INT_MIN),
                                   Make("one", 0, 0, 1), Make("neg", 0, 0, -1)};
    PracticeListModel model(&list);
    model.Refill();
    model.ClickColumn(4);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"min", "neg", "one", "max"}));
    model.ClickColumn(4);
    EXPECT_EQ(Names(model), (std::vector<std::string>{"max", "one", "neg", "min"}));
}

TEST(PracticeListModelTest, ColumnTexts) {
    CPractice p = Make("N", 0, 0, 23);
    p.m_WanMode = 1;
    p.m_TerminalNumber = 5;
    EXPECT_EQ(ColumnText(p, 4), "23");
    EXPECT_EQ(ColumnText(p, 7), "5");
    EXPECT_EQ(ColumnText(p, 9), "On");
    EXPECT_EQ(ColumnText(p, 11), "Unknown");
    p.m_WanMode = 0;
    EXPECT_EQ(ColumnText(p, 9), "Off");
    EXPECT_STREQ(ColumnTitle(10), "Billing Service #");
}

}  // namespace
}  // namespace selector
