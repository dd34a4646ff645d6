// The bars over a control-sized window: where they sit, which buttons they show as the host's bar number and
// the Simple form change, that their clicks come out as command ids, and that every button has a face.
#include "terminal/bars/control_bars.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <vector>

#include "terminal/bars/bar_art.h"

namespace terminal::bars {
namespace {

std::vector<int32_t> Ids(std::span<const ToolbarButton> buttons) {
    std::vector<int32_t> ids;
    for (const ToolbarButton& b : buttons) {
        ids.push_back(b.id);
    }
    return ids;
}

class ControlBarsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_window = std::make_unique<QWidget>();
        m_window->resize(800, 600);
        m_bars = new CControlBars(*m_window);
        m_window->show();
    }

    std::unique_ptr<QWidget> m_window;
    CControlBars* m_bars = nullptr;
};

TEST_F(ControlBarsTest, BarsSitInTheBandAndAlongTheBottom) {
    m_bars->CreateToolbars(false);
    m_bars->CreateStatusBar();
    EXPECT_FALSE(m_bars->MainToolbar()->isVisible());
    m_bars->ShowToolbars();
    m_bars->ShowStatusBar();
    EXPECT_EQ(m_bars->MainToolbar()->geometry(), QRect(6, 8, 660, 21));
    EXPECT_EQ(m_bars->ControlToolbar()->geometry(), QRect(670, 8, 122, 21));
    EXPECT_EQ(m_bars->StatusBar()->geometry(), QRect(4, 564, 792, 32));
    EXPECT_EQ(m_bars->StatusBarHeight(), 32);
    EXPECT_EQ(m_bars->StatusBar()->Text(), "Ready");

    m_window->resize(700, 500);
    m_bars->Layout();
    EXPECT_EQ(m_bars->ControlToolbar()->geometry(), QRect(570, 8, 122, 21));
    EXPECT_EQ(m_bars->StatusBar()->geometry(), QRect(4, 464, 692, 32));
    // The paging buttons at the bar's right end, in their order, with their tooltips.
    const int right = m_bars->StatusBar()->width();
    const char* tooltips[] = {"Previous Item", "Next Item", "Previous Page", "Next Page"};
    const int ids[] = {32833, 32832, 32831, 32830};
    for (size_t i = 0; i < 4; ++i) {
        CStatusButton* button = m_bars->StatusBar()->Button(i);
        EXPECT_EQ(button->geometry(), QRect(right - 75 + 17 * static_cast<int>(i), 2, 17, 17)) << i;
        EXPECT_EQ(button->toolTip(), tooltips[i]);
        EXPECT_EQ(button->CommandId(), ids[i]);
    }

    m_bars->DestroyToolbars();
    m_bars->DestroyStatusBar();
    EXPECT_FALSE(m_bars->HasToolbars());
    EXPECT_EQ(m_bars->StatusBarHeight(), 0);
}

TEST_F(ControlBarsTest, ButtonsFollowTheHostAndTheSimpleForm) {
    m_bars->CreateToolbars(false);
    CToolbarStrip* main = m_bars->MainToolbar();
    CToolbarStrip* control = m_bars->ControlToolbar();
    EXPECT_EQ(main->ButtonIds(), Ids(ToolbarButtons(ToolbarKind::System)));
    EXPECT_EQ(control->ButtonIds(), Ids(ToolbarButtons(ToolbarKind::Control)));
    m_bars->SwitchMain(2);
    EXPECT_EQ(main->ButtonIds(), Ids(ToolbarButtons(ToolbarKind::Appointment)));
    m_bars->SwitchMain(7);
    EXPECT_EQ(main->ButtonIds(), Ids(ToolbarButtons(ToolbarKind::System)));

    const std::pair<bool, size_t> steps[] = {{true, 3}, {false, 5}, {true, 3}};
    for (const auto& [simple, count] : steps) {
        m_bars->SetSimple(simple);
        EXPECT_EQ(control->ButtonIds().size(), count);
        EXPECT_EQ(control->Indent(), simple ? 30 : 5);
        EXPECT_EQ(main->ButtonIds().empty(), simple);
    }
    m_bars->SwitchMain(1);
    EXPECT_TRUE(main->ButtonIds().empty());
    // The first button sits after the indent.
    EXPECT_EQ(control->Button(kProcessButton)->geometry().left(), 30);
}

TEST_F(ControlBarsTest, ClicksBecomeCommandIds) {
    m_bars->CreateToolbars(false);
    m_bars->CreateStatusBar();
    m_bars->ShowToolbars();
    m_bars->ShowStatusBar();
    QSignalSpy toolbar(m_bars, &CControlBars::toolbarCommand);
    QSignalSpy status(m_bars, &CControlBars::statusCommand);
    QTest::mouseClick(m_bars->MainToolbar()->Button(32784), Qt::LeftButton);
    QTest::mouseClick(m_bars->ControlToolbar()->Button(kHelpButton), Qt::LeftButton);
    QTest::mouseClick(m_bars->StatusBar()->Button(3), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    ASSERT_EQ(toolbar.count(), 2);
    EXPECT_EQ(toolbar.at(0).at(0).toInt(), 32784);
    EXPECT_EQ(toolbar.at(1).at(0).toInt(), kHelpButton);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toInt(), 32830);
    EXPECT_EQ(m_bars->MainToolbar()->Button(32784)->toolTip(), "Display Patient");
}

TEST(BarArt, EveryButtonHasAFace) {
    for (const ToolbarKind bar : {ToolbarKind::System, ToolbarKind::MedicalRecords, ToolbarKind::Appointment,
                                  ToolbarKind::Mpi, ToolbarKind::Control}) {
        for (const ToolbarButton& button : ToolbarButtons(bar)) {
            const QImage image = ToolbarImage(button.id).toImage();
            EXPECT_EQ(image.size(), QSize(16, 15)) << button.id;
            int inked = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    inked += image.pixelColor(x, y).alpha() > 0 ? 1 : 0;
                }
            }
            EXPECT_GT(inked, 4) << button.id;
        }
    }
    for (const StatusButtonSpec& spec : StatusButtons()) {
        const QImage image = StatusButtonImage(spec.id).toImage();
        EXPECT_EQ(image.size(), QSize(10, 10));
        EXPECT_GT(image.pixelColor(5, 5).alpha() + image.pixelColor(5, 3).alpha(), 0) << spec.id;
    }
}

}  // namespace
}  // namespace terminal::bars
