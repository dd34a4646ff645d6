// The calendar and the calculator as the control opens them over a scripted session: the host's calendar
// command answered with the chosen date or nothing on cancel, a day the month lacks opening on today, an
// open field taking the date and ending with Enter, and ShowCalc's value on channel 0 under a German locale.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <clocale>
#include <memory>
#include <string>

#include "platform/user_prompt.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/calculator/calculator_dlg.h"
#include "tools/calendar/calendar_dlg.h"
#include "tools/tests/dialog_test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;
using tools::testing::WhenShown;

constexpr int kSafetyNetMs = 10000;

class ToolsCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        CtrlTest::SetUp();
        ShowControl();
    }

    // Everything written so far is `bytes`, and nothing else follows before a marker the test sends.
    bool WrittenExactly(testing::FakeLine& line, const std::string& bytes) {
        m_control->WriteToHost("#");
        return QTest::qWaitFor([&] { return line.Written() == bytes + "#"; }, kSafetyNetMs);
    }
    // Runs `action` on the calendar once the host's command has opened it, and waits until it closed.
    template <typename Action>
    void OnCalendar(testing::FakeLine& line, const std::string& command, Action action) {
        bool seen = false;
        WhenShown<tools::CCalendarDlg>([&](tools::CCalendarDlg& dialog) {
            seen = true;
            action(dialog);
        });
        line.Feed(command);
        ASSERT_TRUE(QTest::qWaitFor([&] { return seen; }, kSafetyNetMs));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return m_control->Window()->findChild<tools::CCalendarDlg*>() == nullptr; }, kSafetyNetMs));
    }
};

TEST_F(ToolsCtrlTest, HostDateCommandIsAnsweredWithTheChosenDate) {
    auto line = Connect();
    ASSERT_TRUE(line);
    tools::CalendarDay opened;
    OnCalendar(*line, "\x1B[12252023R", [&](tools::CCalendarDlg& dialog) {
        opened = dialog.Output()->Model().Date();
        QTest::keyClick(dialog.Output(), Qt::Key_Right);
        QTest::keyClick(dialog.Output(), Qt::Key_Return);
    });
    EXPECT_EQ(opened, (tools::CalendarDay{2023, 12, 25}));
    EXPECT_TRUE(WrittenExactly(*line, "12262023")) << line->Written();
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(ToolsCtrlTest, CancelAnswersNothingAndANonDayOpensOnToday) {
    auto line = Connect();
    ASSERT_TRUE(line);
    const CalendarDate today = CalendarDate::Now();
    tools::CalendarDay opened;
    OnCalendar(*line, "\x1B[02302024R", [&](tools::CCalendarDlg& dialog) {
        opened = dialog.Output()->Model().Date();
        QTest::keyClick(dialog.Output(), Qt::Key_Escape);
    });
    EXPECT_EQ(opened, (tools::CalendarDay{today.year, today.month, today.day}));
    EXPECT_TRUE(WrittenExactly(*line, "")) << line->Written();
}

TEST_F(ToolsCtrlTest, OpenFieldTakesTheDateAndEndsWithEnter) {
    auto line = Connect();
    ASSERT_TRUE(line);
    // An eight-character field at column 5, row 10, holding "init".
    CFieldEdit* field = OpenField(*line);
    ASSERT_NE(field, nullptr);
    const std::string beforeCalendar = line->Written();

    bool fieldHidden = false;
    OnCalendar(*line, "\x1B[07042000R", [&](tools::CCalendarDlg& dialog) {
        fieldHidden = !field->isVisible() && !field->Model().IsOpen();
        QTest::keyClick(dialog.Output(), Qt::Key_Down);
        QTest::keyClick(dialog.Output(), Qt::Key_Return);
    });
    EXPECT_TRUE(fieldHidden);
    // The editor ends with Enter and submits the date as the field's changed text.
    const std::string reply =
        "\x1b\\1\x01"
        "0\x01"
        "07112000\x01";
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return line->Written().find(reply) != std::string::npos; }, kSafetyNetMs))
        << line->Written();
    EXPECT_FALSE(field->Model().IsOpen());
    // The date itself never went to the host outside the field's reply.
    const std::string after = line->Written().substr(beforeCalendar.size());
    EXPECT_EQ(after.find("07112000"), after.find(reply) + 6) << after;
}

TEST_F(ToolsCtrlTest, ShowCalcSendsTheShownValueWithAPointOnChannelZero) {
    auto line = Connect();
    ASSERT_TRUE(line);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "de_DE.UTF-8 is not generated; scripts/setup.sh makes it";
    auto press = [](tools::CCalculator& dialog, std::initializer_list<tools::CalcButton> buttons) {
        for (tools::CalcButton button : buttons) {
            QTest::mouseClick(dialog.Button(button), Qt::LeftButton);
        }
    };
    using B = tools::CalcButton;
    // Beyond what a 32-bit float holds to the cent, and after '%'.
    WhenShown<tools::CCalculator>([&](tools::CCalculator& dialog) {
        press(dialog,
              {B::One, B::Three, B::One, B::Zero, B::Seven, B::Two, B::Zero, B::Two, B::Percent, B::Ok});
    });
    Call("ShowCalc");
    WhenShown<tools::CCalculator>([&](tools::CCalculator& dialog) {
        press(dialog, {B::One, B::Two, B::Ok});
    });
    Call("ShowCalc");
    WhenShown<tools::CCalculator>([&](tools::CCalculator& dialog) {
        press(dialog, {B::Nine});
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
    });
    Call("ShowCalc");
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_TRUE(WrittenExactly(*line, "\x1b[&131072.02000\r\x1b[&12\r")) << line->Written();
}

}  // namespace
}  // namespace terminal
