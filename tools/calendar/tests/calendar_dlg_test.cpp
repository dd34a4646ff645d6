// The calendar dialog offscreen: day and week keys from anywhere in the dialog, the step buttons by mouse
// and Space, clicks and double clicks on days of the shown month and of its neighbours, OK and cancel.
#include "tools/calendar/calendar_dlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QToolButton>

namespace tools {
namespace {

class CalendarDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dialog.show();
        m_dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_dialog));
    }
    CalendarDay Date() const { return m_dialog.Output()->Model().Date(); }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = m_dialog.focusWidget() != nullptr ? m_dialog.focusWidget() : &m_dialog;
        QTest::keyClick(target, key, mods);
    }
    QPoint CellCentre(int32_t index) { return m_dialog.Output()->CellRect(index).center(); }

    // 17 May 2024, a Friday; the 1st is a Wednesday.
    CCalendarDlg m_dialog{CalendarDay{2024, 5, 17}};
};

TEST_F(CalendarDlgTest, OpensOnTheGivenDateWithItsParts) {
    EXPECT_EQ(m_dialog.windowTitle(), QStringLiteral("Calendar"));
    EXPECT_EQ(Date(), (CalendarDay{2024, 5, 17}));
    EXPECT_EQ(m_dialog.focusWidget(), m_dialog.Output());
    EXPECT_EQ(m_dialog.Output()->objectName(), QStringLiteral("Calendar Output"));
    const std::pair<CCalendarDlg::SpinId, const char*> spins[] = {
        {CCalendarDlg::kSpinMonthPrev, "SpinMonthPrev"},
        {CCalendarDlg::kSpinMonthNext, "SpinMonthNext"},
        {CCalendarDlg::kSpinYearPrev, "SpinYearPrev"},
        {CCalendarDlg::kSpinYearNext, "SpinYearNext"},
    };
    for (const auto& [id, name] : spins) {
        ASSERT_NE(m_dialog.Spin(id), nullptr) << name;
        EXPECT_EQ(m_dialog.Spin(id)->objectName(), QString::fromLatin1(name));
    }
    // Cells lie inside the grid, one row below another.
    const QRect first = m_dialog.Output()->CellRect(0);
    const QRect last = m_dialog.Output()->CellRect(41);
    EXPECT_TRUE(m_dialog.Output()->rect().contains(first));
    EXPECT_TRUE(m_dialog.Output()->rect().contains(last));
    EXPECT_GT(last.top(), first.bottom());
}

TEST_F(CalendarDlgTest, DayAndWeekKeysStayInsideTheMonth) {
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int32_t day;
    };
    const Step steps[] = {
        {Qt::Key_Right, Qt::NoModifier, 18}, {Qt::Key_Right, Qt::NoModifier, 18},  // Saturday ends the row
        {Qt::Key_4, Qt::NoModifier, 17},     {Qt::Key_8, Qt::KeypadModifier, 10},
        {Qt::Key_Down, Qt::NoModifier, 17},  {Qt::Key_2, Qt::NoModifier, 24},
        {Qt::Key_2, Qt::KeypadModifier, 31}, {Qt::Key_Down, Qt::NoModifier, 31},  // no week below
        {Qt::Key_6, Qt::NoModifier, 31},     {Qt::Key_Left, Qt::NoModifier, 30},
        {Qt::Key_Up, Qt::NoModifier, 23},
    };
    for (const Step& step : steps) {
        Key(step.key, step.mods);
        EXPECT_EQ(Date(), (CalendarDay{2024, 5, step.day})) << step.key;
    }
    // Also with the focus on a step button.
    m_dialog.Spin(CCalendarDlg::kSpinYearNext)->setFocus();
    Key(Qt::Key_Left);
    EXPECT_EQ(Date(), (CalendarDay{2024, 5, 22}));
}

TEST_F(CalendarDlgTest, StepButtonsMoveMonthAndYear) {
    QTest::mouseClick(m_dialog.Spin(CCalendarDlg::kSpinMonthNext), Qt::LeftButton);
    EXPECT_EQ(Date(), (CalendarDay{2024, 6, 1}));
    QTest::mouseClick(m_dialog.Spin(CCalendarDlg::kSpinYearPrev), Qt::LeftButton);
    EXPECT_EQ(Date(), (CalendarDay{2023, 6, 1}));
    QTest::mouseClick(m_dialog.Spin(CCalendarDlg::kSpinYearNext), Qt::LeftButton);
    QTest::mouseClick(m_dialog.Spin(CCalendarDlg::kSpinMonthPrev), Qt::LeftButton);
    EXPECT_EQ(Date(), (CalendarDay{2024, 5, 1}));
    // Space presses the focused step button.
    m_dialog.Spin(CCalendarDlg::kSpinMonthPrev)->setFocus();
    Key(Qt::Key_Space);
    EXPECT_EQ(Date(), (CalendarDay{2024, 4, 1}));
    EXPECT_TRUE(m_dialog.isVisible());
}

TEST_F(CalendarDlgTest, ClicksSelectAndDoubleClicksChooseDaysOfTheShownMonth) {
    CCalendarOutput* output = m_dialog.Output();
    QTest::mouseClick(output, Qt::LeftButton, Qt::NoModifier, CellCentre(2));  // 30 April: grey
    EXPECT_EQ(Date(), (CalendarDay{2024, 5, 17}));
    QTest::mouseClick(output, Qt::LeftButton, Qt::NoModifier, CellCentre(10));
    EXPECT_EQ(Date(), (CalendarDay{2024, 5, 8}));
    QTest::mouseDClick(output, Qt::LeftButton, Qt::NoModifier, CellCentre(40));  // 7 June: grey
    EXPECT_TRUE(m_dialog.isVisible());
    EXPECT_EQ(Date(), (CalendarDay{2024, 5, 8}));
    QTest::mouseDClick(output, Qt::LeftButton, Qt::NoModifier, CellCentre(25));
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.SelectedDate(), (CalendarDay{2024, 5, 23}));
}

TEST_F(CalendarDlgTest, EnterTakesTheDateAndEscapeKeepsTheStart) {
    Key(Qt::Key_Right);
    Key(Qt::Key_Escape);
    EXPECT_EQ(m_dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_dialog.SelectedDate(), (CalendarDay{2024, 5, 17}));

    m_dialog.show();
    m_dialog.Output()->setFocus();
    Key(Qt::Key_Left);
    Key(Qt::Key_Left);
    Key(Qt::Key_Return);
    EXPECT_EQ(m_dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog.SelectedDate(), (CalendarDay{2024, 5, 16}));
}

}  // namespace
}  // namespace tools
