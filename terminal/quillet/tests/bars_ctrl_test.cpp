// The control's own toolbars and status bar over a scripted session: they come with the session and go with
// it, follow the host's bar number and the Simple property, their buttons and the paging buttons put their
// bytes on the wire, and clicks on the screen send the command under them or report the cell, with an edited
// field's text going first.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "hostlink/comm_pipe.h"
#include "platform/user_prompt.h"
#include "terminal/bars/control_bars.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/calculator/calculator_dlg.h"
#include "tools/tests/dialog_test_support.h"

namespace terminal {
namespace {

using namespace platform::automation;

constexpr int kSafetyNetMs = 10000;
const std::string kChannel1 = "\x1b\\1\x01-1\x01";

std::vector<int32_t> Ids(std::span<const bars::ToolbarButton> buttons) {
    std::vector<int32_t> ids;
    for (const bars::ToolbarButton& b : buttons) {
        ids.push_back(b.id);
    }
    return ids;
}

class BarsCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        CtrlTest::SetUp();
        ShowControl();
    }

    // Host bytes, waited for until the screen has taken them: a terminal id set last shows up on the pipe.
    void Host(testing::FakeLine& line, const std::string& bytes) {
        const std::string mark = "mark" + std::to_string(++m_marks);
        line.Feed(bytes + "\x1b[%" + mark + "\x01Y");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                hostlink::CCommPipe* pipe = m_control->Pipe();
                return pipe != nullptr && pipe->m_terminalId.Str() == mark;
            },
            kSafetyNetMs));
    }
    // Everything written so far is `bytes`, and nothing else follows before a marker the test sends.
    bool WrittenExactly(testing::FakeLine& line, const std::string& bytes) {
        m_control->WriteToHost("#");
        return QTest::qWaitFor([&] { return line.Written() == bytes + "#"; }, kSafetyNetMs);
    }
    void ClickButton(bars::CToolbarStrip* bar, int32_t id) {
        ASSERT_NE(bar, nullptr);
        QToolButton* button = bar->Button(id);
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // The middle of a cell of the screen, in the screen widget's coordinates.
    QPoint Cell(int column, int row) {
        const CTerminalScreen& screen = m_control->Terminal()->Screen();
        const CellSize size = screen.GetCellSize();
        return QPoint(screen.CellX(column) + size.width / 2, screen.CellY(row) + size.height / 2);
    }

    int m_marks = 0;
};

TEST_F(BarsCtrlTest, ToolbarsComeWithTheSessionAndFollowTheHost) {
    bars::CControlBars* bars = m_control->Bars();
    ASSERT_NE(bars, nullptr);
    EXPECT_FALSE(bars->HasToolbars());
    auto line = Connect();
    ASSERT_TRUE(line);
    ASSERT_TRUE(bars->HasToolbars());
    EXPECT_TRUE(bars->MainToolbar()->isVisible());
    EXPECT_EQ(bars->MainToolbar()->geometry(), QRect(6, 8, 680, 21));
    EXPECT_EQ(bars->ControlToolbar()->geometry(), QRect(690, 8, 122, 21));
    EXPECT_EQ(bars->MainToolbar()->ButtonIds(), Ids(bars::ToolbarButtons(bars::ToolbarKind::System)));

    Host(*line, "\x1b[2V");
    EXPECT_EQ(bars->MainToolbar()->ButtonIds(), Ids(bars::ToolbarButtons(bars::ToolbarKind::Appointment)));
    Host(*line, "\x1b[7V");
    EXPECT_EQ(bars->MainToolbar()->ButtonIds(), Ids(bars::ToolbarButtons(bars::ToolbarKind::System)));

    m_control->Window()->resize(700, 500);
    EXPECT_EQ(bars->ControlToolbar()->geometry(), QRect(570, 8, 122, 21));

    line->FailRead();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_control->Session().HasPipe(); }, kSafetyNetMs));
    EXPECT_FALSE(bars->HasToolbars());
}

TEST_F(BarsCtrlTest, WithoutTheToolbarsPropertyThereAreNone) {
    Put("Toolbars", Variant::Bool(false));
    auto line = Connect();
    ASSERT_TRUE(line);
    EXPECT_FALSE(m_control->Bars()->HasToolbars());
    Host(*line, "\x1b[2V");
    EXPECT_FALSE(m_control->Bars()->HasToolbars());
}

TEST_F(BarsCtrlTest, ToolbarButtonsTypeTheirCommands) {
    auto line = Connect();
    ASSERT_TRUE(line);
    bars::CControlBars* bars = m_control->Bars();
    ClickButton(bars->MainToolbar(), 32784);  // Display Patient, chainable: the command and Enter
    ClickButton(bars->ControlToolbar(), bars::kHelpButton);
    ClickButton(bars->ControlToolbar(), bars::kEscapeButton);
    ClickButton(bars->ControlToolbar(), bars::kProcessButton);
    Host(*line, "\x1b[2V");
    ClickButton(bars->MainToolbar(), 32795);  // Get Patient
    ClickButton(bars->MainToolbar(), 32791);  // Scroll Page Left
    EXPECT_TRUE(WrittenExactly(*line, "/dis\r\x1b[H\x1b[@\x1b[|G\r<")) << line->Written();

    // Not chainable: a new session runs the command instead.
    Host(*line, "\x1b[0Z\x1b[0V");
    ClickButton(bars->MainToolbar(), 32786);
    EXPECT_TRUE(WrittenExactly(*line, "/dis\r\x1b[H\x1b[@\x1b[|G\r<#")) << line->Written();
    const std::vector<std::string> journal = line->Journal();
    EXPECT_NE(std::find(journal.begin(), journal.end(), "new session /m28"), journal.end());
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(BarsCtrlTest, CalculatorButtonSendsTheCalculatorsValue) {
    auto line = Connect();
    ASSERT_TRUE(line);
    tools::testing::WhenShown<tools::CCalculator>([](tools::CCalculator& dialog) {
        for (const tools::CalcButton button :
             {tools::CalcButton::One, tools::CalcButton::Two, tools::CalcButton::Ok}) {
            QTest::mouseClick(dialog.Button(button), Qt::LeftButton);
        }
    });
    ClickButton(m_control->Bars()->ControlToolbar(), bars::kCalculatorButton);
    EXPECT_TRUE(WrittenExactly(*line, "\x1b[&12\r")) << line->Written();
}

TEST_F(BarsCtrlTest, SimpleSwitchesTheToolbarsBackAndForth) {
    auto line = Connect();
    ASSERT_TRUE(line);
    bars::CToolbarStrip* control = m_control->Bars()->ControlToolbar();
    bars::CToolbarStrip* main = m_control->Bars()->MainToolbar();
    const std::pair<bool, size_t> steps[] = {{true, 3}, {false, 5}, {true, 3}, {false, 5}};
    for (const auto& [simple, count] : steps) {
        Put("Simple", Variant::Bool(simple));
        EXPECT_EQ(control->ButtonIds().size(), count) << simple;
        EXPECT_EQ(main->ButtonIds().empty(), simple);
        EXPECT_EQ(control->Indent(), simple ? 30 : 5);
    }
    // The pipes' "-simple" option turns it on too; the host's bar numbers then leave the main toolbar empty.
    m_control->SetSimple(false);
    EXPECT_TRUE(m_control->Properties().m_Simple);
    EXPECT_EQ(control->ButtonIds().size(), 3u);
    Host(*line, "\x1b[2V");
    EXPECT_TRUE(main->ButtonIds().empty());
}

TEST_F(BarsCtrlTest, SimpleFromTheCommandLineShapesTheNewToolbars) {
    m_control->SetSimple(true);
    EXPECT_TRUE(m_control->Properties().m_DirectChainMode);
    auto line = Connect();
    ASSERT_TRUE(line);
    EXPECT_TRUE(m_control->Bars()->MainToolbar()->ButtonIds().empty());
    EXPECT_EQ(m_control->Bars()->ControlToolbar()->ButtonIds(),
              (std::vector<int32_t>{bars::kProcessButton, bars::kHelpButton, bars::kEscapeButton}));
}

TEST_F(BarsCtrlTest, StatusBarPagesAndTakesItsPlaceFromTheScreen) {
    auto line = Connect();
    ASSERT_TRUE(line);
    const int usable = m_control->Terminal()->Screen().Geometry().usableHeight;
    Put("StatusBar", Variant::Bool(true));
    bars::CQuilletStatusBar* status = m_control->Bars()->StatusBar();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->geometry(), QRect(4, 564, 812, 32));
    EXPECT_EQ(status->Text(), "Ready");
    EXPECT_EQ(m_control->Terminal()->Screen().Geometry().statusBarShown, 1);
    EXPECT_EQ(m_control->Terminal()->Screen().Geometry().usableHeight, usable - 32);

    for (size_t i = 0; i < 4; ++i) {
        QTest::mouseClick(status->Button(i), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    }
    EXPECT_TRUE(WrittenExactly(*line, "\x1b[A\x1b[B\x1b[$\x1b[#")) << line->Written();

    Put("StatusBar", Variant::Bool(false));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_control->Bars()->StatusBar(), nullptr);
    EXPECT_EQ(m_control->Terminal()->Screen().Geometry().statusBarShown, 0);
    EXPECT_EQ(m_control->Terminal()->Screen().Geometry().usableHeight, usable);
}

TEST_F(BarsCtrlTest, ClicksOnTheScreenReachTheHost) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Host(*line, "\x1b[22;11H(P)atient  <exit>\x1b[10;1H");
    ASSERT_GT(m_control->Terminal()->Screen().GetCellSize().width, 0);
    QWidget* screen = m_control->Terminal();
    QTest::mouseClick(screen, Qt::LeftButton, Qt::NoModifier, Cell(14, 21));  // on "atient"
    QTest::mouseClick(screen, Qt::LeftButton, Qt::NoModifier, Cell(22, 21));  // on "<exit>"
    QTest::mouseClick(screen, Qt::LeftButton, Qt::NoModifier, Cell(3, 21));   // a blank: reported
    // A drag is no click.
    QTest::mousePress(screen, Qt::LeftButton, Qt::NoModifier, Cell(3, 5));
    QTest::mouseRelease(screen, Qt::LeftButton, Qt::NoModifier, Cell(30, 8));
    // A double click as the window system delivers it: a click, then the double click.
    QTest::mouseClick(screen, Qt::LeftButton, Qt::NoModifier, Cell(40, 2));
    QTest::mouseDClick(screen, Qt::LeftButton, Qt::NoModifier, Cell(40, 2));
    EXPECT_TRUE(WrittenExactly(*line, "P\r\x1b[@\x1b[~ 3,21,0\x1b[~40, 2,1\x1b[!40, 2,1")) << line->Written();
}

TEST_F(BarsCtrlTest, AnEditedFieldGoesBeforeTheClickReport) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Host(*line, "\x1b[24;1H" + std::string("\x1B[%init\x02") + "5\x02" + "10\x02" + "8\x02" + "0\x02" +
                    "0\x02" + "1\x02" + "1\x02" + "N\x01" + "a");
    auto* field = m_control->Terminal()->findChild<CFieldEdit*>();
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->Model().IsOpen(); }, kSafetyNetMs));
    QTest::keyClicks(field, "XY");
    QTest::mouseClick(m_control->Terminal(), Qt::LeftButton, Qt::NoModifier, Cell(60, 20));
    EXPECT_TRUE(WrittenExactly(*line, kChannel1 + "XYinit\x01\x1b[~60,20,1")) << line->Written();
    EXPECT_FALSE(field->Model().IsOpen());
}

TEST_F(BarsCtrlTest, AnAdoptedSessionShowsTheBarItsScreenNames) {
    auto line = Connect();
    ASSERT_TRUE(line);
    Host(*line, "\x1b[3V");
    m_control.reset();  // leaves the session behind for the next control of this process

    m_control = testing::MakeControl(m_shared);
    ShowControl();
    ASSERT_EQ(m_control->Session().ReConnect(), 0) << ::testing::PrintToString(m_recorder.Texts());
    ASSERT_TRUE(m_control->Bars()->HasToolbars());
    EXPECT_EQ(m_control->Bars()->MainToolbar()->ButtonIds(),
              Ids(bars::ToolbarButtons(bars::ToolbarKind::Mpi)));
}

}  // namespace
}  // namespace terminal
