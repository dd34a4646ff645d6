// The frame's host commands against the stand-in control: every toolbar button's text, member and the
// Activate after it, the toolbar switch, the navigation buttons' press and repeat, the view's forwarding,
// the size agreed with the control and the menu prompts.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPrinter>
#include <QTest>
#include <optional>

#include "container/frame_bars.h"
#include "container/host_commands.h"
#include "container/main_frame.h"
#include "container/tests/container_test_support.h"

namespace container {
namespace {

using namespace platform::automation;

constexpr char kEsc = '\x1b';

// One recorded call: the member and its first argument when that is a text.
struct SeenCall {
    std::string member;
    std::string text;
    bool operator==(const SeenCall&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SeenCall& call) {
    return out << call.member << "(" << ::testing::PrintToString(call.text) << ")";
}

class FrameTest : public testing::ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        RegisterFake();
        HandshakeOnLogin();
        m_frame = std::make_unique<CMainFrame>();
        CBrantorApp::Options options;
        options.log = [this](std::string_view line) { m_log.emplace_back(line); };
        options.spawner = [](const platform::SpawnOptions&, std::string*) { return true; };
        m_app = std::make_unique<CBrantorApp>(*m_frame, std::move(options));
        m_frame->SetApp(m_app.get());
    }
    void TearDown() override {
        m_app->ExitInstance();
        m_frame->SetApp(nullptr);
        m_app.reset();
        m_frame.reset();
        ContainerTest::TearDown();
    }

    void ConnectApp() {
        ASSERT_EQ(m_app->Connect("-h"), ConnectOutcome::Connected);
        QCoreApplication::processEvents();
        m_fake->calls.clear();
    }
    // The control made and bound, but its login refused: a control without a session.
    void AttachWithoutSession() {
        m_fake->loginResult = static_cast<int32_t>(0x80004005);
        ASSERT_EQ(m_app->Connect("-h"), ConnectOutcome::Failed);
        ASSERT_NE(m_app->Control(), nullptr);
        ASSERT_FALSE(m_app->IsConnected());
        m_fake->calls.clear();
    }

    std::vector<SeenCall> Calls() const {
        std::vector<SeenCall> out;
        for (const testing::FakeCall& call : m_fake->calls) {
            SeenCall seen{call.member, {}};
            if (!call.args.empty() && call.args[0].Type() == VarType::Bstr) {
                seen.text = call.args[0].AsBstr();
            }
            out.push_back(seen);
        }
        return out;
    }

    // The bars docked on the frame now, whatever waits for deletion.
    std::vector<CToolBarEx*> DockedBars() const {
        std::vector<CToolBarEx*> out;
        for (CToolBarEx* bar : m_frame->findChildren<CToolBarEx*>()) {
            if (m_frame->toolBarArea(bar) == Qt::TopToolBarArea) {
                out.push_back(bar);
            }
        }
        return out;
    }

    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CBrantorApp> m_app;
};

struct ButtonCase {
    int32_t id;
    const char* tooltip;  // null: handled, not on a bar
    std::vector<SeenCall> calls;
};

std::string Esc(const char* rest) {
    return std::string(1, kEsc) + rest;
}

std::vector<ButtonCase> ButtonCases() {
    auto toolbar = [](int32_t id, const char* tooltip, const char* text) {
        return ButtonCase{id, tooltip, {{"SendToolbarCommand", text}, {"Activate", ""}}};
    };
    auto send = [](int32_t id, const char* tooltip, std::string text) {
        return ButtonCase{id, tooltip, {{"Send", std::move(text)}, {"Activate", ""}}};
    };
    return {
        // System: text and a carriage return, through SendToolbarCommand.
        toolbar(32783, "New Patient", "/pat\r"),
        toolbar(32784, "Display Patient", "/dis\r"),
        toolbar(32782, "Edit Patient", "/epat\r"),
        toolbar(32785, "Appointments", "/app\r"),
        toolbar(32778, "Encounter Forms", "/enc\r"),
        toolbar(32774, "Procedure Entry", "/pro\r"),
        toolbar(32772, "Payments", "/pay\r"),
        toolbar(32775, "Edit Activity", "/epro\r"),
        toolbar(32776, "Edit Payments", "/epay\r"),
        toolbar(32788, "Collections", "/col\r"),
        toolbar(32786, "Electronic Chart", "/m28\r"),
        toolbar(32777, "View Patient Chart", "/vpc\r"),
        toolbar(32773, "Clinical History", "/m10\r"),
        toolbar(32787, "Managed Care", "/mcs\r"),
        toolbar(32780, "EMC", "/m18\r"),
        toolbar(32781, "ERS", "/ers\r"),
        toolbar(32789, "Network Services", "/tarnns\r"),
        toolbar(32790, "Phone System", "/phone\r"),
        toolbar(32779, nullptr, "/ins\r"),
        // Appointment: text as it is, through Send.
        send(32859, "Scroll Page Left", "<"),
        send(32860, "Scroll Column Left", "["),
        send(32861, "Scroll Column Right", "]"),
        send(32862, "Scroll Page Right", ">"),
        send(32863, "Get Patient", "G\r"),
        send(32864, "Add Patient", "/pat\r"),
        send(32871, "Temporary Patient", "/tem\r"),
        send(32869, "Doctor Help", "D?\r"),
        send(32865, "Room Help", "R?\r"),
        send(32866, "Mode Help", "M?\r"),
        send(32867, "Multiple Resource Setup", "MS\r"),
        send(32868, "Waiting List", "L\r"),
        send(32850, "Add to Waiting List", "LA\r"),
        send(32870, "Calendar", "JC\r"),
        send(32872, "Search", "s\r"),
        send(32873, "Advanced Search", "sa\r"),
        // Medical Records: text as it is, through SendToolbarCommand.
        toolbar(32874, "Super Expand", "+"),
        toolbar(32875, "Expand", "="),
        toolbar(32876, "Compress", "-"),
        toolbar(32877, "Tab", "\t"),
        toolbar(32878, "Repeat", "&\r"),
        toolbar(32879, "Comments", "!\r"),
        toolbar(32881, "Occurrence Date", "*\r"),
        // Mpi: text and a carriage return, through SendToolbarCommand.
        toolbar(32912, "Navigator", "/nav\r"),
        toolbar(32913, "Patient Utilities", "/patu\r"),
        toolbar(32915, "Task Viewer", "/task\r"),
        toolbar(32914, "Log Viewer", "/log\r"),
        // Control.
        ButtonCase{32916,
                   "New Window",
                   {{"DirectChainMode", ""},
                    {"NewWindowChainCommand", "/m1\r"},
                    {"Send", Esc("[K1")},
                    {"Activate", ""}}},
        ButtonCase{32917, "Calculator", {{"ShowCalc", ""}}},
        ButtonCase{32918, "Process", {{"SendProcess", ""}, {"Activate", ""}}},
        send(32919, "Help", Esc("[H")),
        send(32920, "Escape", Esc("[@")),
    };
}

// The bar that shows a button, made visible for the case.
CToolBarEx* ShowBarOf(CMainFrame& frame, int32_t id) {
    const ToolbarSpec* spec = ToolbarOfCommand(id);
    if (spec == nullptr) {
        return nullptr;
    }
    switch (spec->bar) {
        case ToolbarId::System:
            frame.SwitchToolbar(0);
            break;
        case ToolbarId::MedicalRecords:
            frame.SwitchToolbar(1);
            break;
        case ToolbarId::Appointment:
            frame.SwitchToolbar(2);
            break;
        case ToolbarId::Mpi:
            frame.SwitchToolbar(3);
            break;
        case ToolbarId::Control:
            break;
    }
    return frame.ToolBar(spec->bar);
}

TEST_F(FrameTest, EveryToolbarButtonSendsItsTextThenActivates) {
    ConnectApp();
    for (const ButtonCase& c : ButtonCases()) {
        SCOPED_TRACE(c.id);
        CToolBarEx* bar = ShowBarOf(*m_frame, c.id);
        ASSERT_NE(bar, nullptr);
        m_fake->calls.clear();
        if (c.tooltip == nullptr) {
            EXPECT_EQ(bar->ActionFor(c.id), nullptr);
            m_frame->OnToolbarCommand(c.id);
        } else {
            QAction* action = bar->ActionFor(c.id);
            ASSERT_NE(action, nullptr);
            EXPECT_EQ(action->toolTip(), QString::fromLatin1(c.tooltip));
            action->trigger();
        }
        EXPECT_EQ(Calls(), c.calls);
    }
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(FrameTest, WithoutASessionAButtonOnlyActivates) {
    AttachWithoutSession();
    for (const ButtonCase& c : ButtonCases()) {
        const std::string& first = c.calls.front().member;
        if (first != "Send" && first != "SendToolbarCommand") {
            continue;  // Calculator, Process and New Window do not go through the send step
        }
        SCOPED_TRACE(c.id);
        m_fake->calls.clear();
        m_frame->OnToolbarCommand(c.id);
        EXPECT_EQ(Calls(), (std::vector<SeenCall>{{"Activate", ""}}));
    }
}

TEST_F(FrameTest, UnknownAndRefusedCommands) {
    ConnectApp();
    struct Unknown {
        int32_t id;
        const char* message;
    };
    for (const Unknown& c : {Unknown{32851, "Unknown Appointment ToolBar Button"},
                             Unknown{32880, "Unknown Medical Records ToolBar Button"}}) {
        m_recorder.Clear();
        EXPECT_TRUE(OnToolbarCommand(*m_app, c.id));
        ASSERT_EQ(m_recorder.Shown().size(), 1u);
        EXPECT_EQ(m_recorder.Shown()[0].text, c.message);
        EXPECT_EQ(m_recorder.Shown()[0].icon, platform::PromptIcon::Stop);
    }
    EXPECT_FALSE(OnToolbarCommand(*m_app, 32800));
    EXPECT_TRUE(m_fake->calls.empty());

    // In direct chain mode the host makes the new window itself.
    m_fake->directChainMode = true;
    m_frame->OnToolbarCommand(kNewWindowCommand);
    EXPECT_EQ(Calls(), (std::vector<SeenCall>{{"DirectChainMode", ""}}));
}

TEST_F(FrameTest, SwitchToolbarShowsOneHostBarBesideTheControlBar) {
    m_frame->show();
    struct Case {
        int16_t n;
        int result;
        std::optional<ToolbarId> shown;  // nullopt: nothing changes
    };
    const Case cases[] = {
        {2, 0, ToolbarId::Appointment}, {2, 0, ToolbarId::Appointment}, {1, 0, ToolbarId::MedicalRecords},
        {3, 0, ToolbarId::Mpi},         {-1, -1, std::nullopt},         {4, -1, std::nullopt},
        {0, 0, ToolbarId::System},
    };
    ToolbarId expected = ToolbarId::System;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(m_frame->SwitchToolbar(c.n), c.result);
        if (c.shown) {
            expected = *c.shown;
        }
        const auto bars = DockedBars();
        ASSERT_EQ(bars.size(), 2u);
        CToolBarEx* shown = m_frame->ToolBar(expected);
        CToolBarEx* control = m_frame->ToolBar(ToolbarId::Control);
        ASSERT_NE(shown, nullptr);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(std::find(bars.begin(), bars.end(), shown) != bars.end());
        EXPECT_TRUE(std::find(bars.begin(), bars.end(), control) != bars.end());
        QCoreApplication::processEvents();
        EXPECT_LT(shown->geometry().x(), control->geometry().x());
    }
}

TEST_F(FrameTest, TheControlSwitchesBarsAndASimpleSessionHasNoSystemBar) {
    m_fake->simple = true;
    ConnectApp();
    EXPECT_EQ(m_frame->ToolBar(ToolbarId::System), nullptr);
    EXPECT_NE(m_frame->ToolBar(ToolbarId::Control), nullptr);
    m_fake->fire(static_cast<DISPID>(QuilletEvent::SwitchToolbar), std::vector<Variant>{Variant::I2(3)});
    EXPECT_NE(m_frame->ToolBar(ToolbarId::Mpi), nullptr);
    EXPECT_EQ(DockedBars().size(), 2u);
}

TEST_F(FrameTest, NavigationSendsNothingWithoutASession) {
    AttachWithoutSession();
    for (const NavButtonSpec& spec : NavButtons()) {
        SendNavigation(*m_app, spec.button);
    }
    EXPECT_TRUE(m_fake->calls.empty());
}

TEST_F(FrameTest, NavigationButtonsSendTheirSequences) {
    ConnectApp();
    const std::pair<NavButton, std::string> cases[] = {
        {NavButton::PreviousItem, Esc("[A")},
        {NavButton::NextItem, Esc("[B")},
        {NavButton::PreviousPage, Esc("[$")},
        {NavButton::NextPage, Esc("[#")},
    };
    for (const auto& [button, text] : cases) {
        m_fake->calls.clear();
        SendNavigation(*m_app, button);
        EXPECT_EQ(Calls(), (std::vector<SeenCall>{{"Send", text}}));
    }
}

TEST_F(FrameTest, ANavigationClickReachesTheHost) {
    ConnectApp();
    CNavigationButtons* nav = m_frame->StatusBar()->Navigation();
    const QPoint at = nav->ButtonRect(NavButton::PreviousItem).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, nav->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(nav, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, nav->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(nav, &release);
    EXPECT_EQ(Calls(), (std::vector<SeenCall>{{"Send", Esc("[A")}}));
}

// The buttons alone, with the presses they send recorded.
class NavigationButtonsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_nav.resize(m_nav.sizeHint());
        m_nav.SetSender([this](NavButton button) { m_sent.push_back(button); });
        m_nav.SetStatusText([this](const QString& text) { m_status = text; });
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton) {
        QMouseEvent event(type, at, m_nav.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(&m_nav, &event);
    }
    QPoint Centre(NavButton button) const { return m_nav.ButtonRect(button).center(); }

    CNavigationButtons m_nav;
    std::vector<NavButton> m_sent;
    QString m_status = QStringLiteral("<none>");
};

TEST_F(NavigationButtonsTest, HoldingRepeatsEvery150msAndReleaseSendsOnceMore) {
    EXPECT_EQ(m_nav.RepeatInterval(), 150);
    Mouse(QEvent::MouseButtonPress, Centre(NavButton::NextPage));
    EXPECT_TRUE(m_nav.IsPressed(NavButton::NextPage));
    EXPECT_TRUE(m_nav.IsRepeating());
    EXPECT_TRUE(m_sent.empty());
    // The bound is a safety net only: two repeats take 300 ms.
    ASSERT_TRUE(QTest::qWaitFor([this] { return m_sent.size() >= 2; }, 20000));
    Mouse(QEvent::MouseButtonRelease, Centre(NavButton::NextPage), Qt::NoButton);
    EXPECT_FALSE(m_nav.IsRepeating());
    EXPECT_FALSE(m_nav.IsPressed(NavButton::NextPage));
    const std::vector<NavButton> expected(m_sent.size(), NavButton::NextPage);
    EXPECT_EQ(m_sent, expected);
}

TEST_F(NavigationButtonsTest, AReleaseElsewhereStopsWithoutSending) {
    struct Case {
        const char* name;
        QPoint releaseAt;
    };
    const Case cases[] = {
        {"in the gap", QPoint(CNavigationButtons::kButtonWidth, 2)},
        {"over another button", Centre(NavButton::PreviousPage)},
        {"outside the pane", QPoint(-20, -20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mouse(QEvent::MouseButtonPress, Centre(NavButton::NextItem));
        ASSERT_TRUE(m_nav.IsRepeating());
        Mouse(QEvent::MouseButtonRelease, c.releaseAt, Qt::NoButton);
        EXPECT_FALSE(m_nav.IsRepeating());
        EXPECT_FALSE(m_nav.IsPressed(NavButton::NextItem));
        EXPECT_TRUE(m_sent.empty());
    }
}

TEST_F(NavigationButtonsTest, LosingTheFocusOrLeavingTheButtonEndsThePress) {
    Mouse(QEvent::MouseButtonPress, Centre(NavButton::PreviousItem));
    ASSERT_TRUE(m_nav.IsRepeating());
    // The window is not active: the focus went elsewhere.
    QEvent activation(QEvent::ActivationChange);
    QApplication::sendEvent(&m_nav, &activation);
    EXPECT_FALSE(m_nav.IsRepeating());
    EXPECT_FALSE(m_nav.IsPressed(NavButton::PreviousItem));

    // Dragged off the button, the press no longer counts, even when released back on it.
    Mouse(QEvent::MouseButtonPress, Centre(NavButton::PreviousItem));
    Mouse(QEvent::MouseMove, QPoint(CNavigationButtons::kButtonWidth, 2));
    EXPECT_FALSE(m_nav.IsPressed(NavButton::PreviousItem));
    Mouse(QEvent::MouseButtonRelease, Centre(NavButton::PreviousItem), Qt::NoButton);
    EXPECT_TRUE(m_sent.empty());
}

TEST_F(NavigationButtonsTest, DoubleClickSendsTwiceAndHoverNamesTheButton) {
    const QPoint at = Centre(NavButton::PreviousPage);
    Mouse(QEvent::MouseButtonPress, at);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    Mouse(QEvent::MouseButtonDblClick, at);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    EXPECT_EQ(m_sent, (std::vector<NavButton>{NavButton::PreviousPage, NavButton::PreviousPage}));
    EXPECT_FALSE(m_nav.IsRepeating());

    Mouse(QEvent::MouseMove, Centre(NavButton::NextItem), Qt::NoButton);
    EXPECT_EQ(m_status, QStringLiteral("Next Item"));
    Mouse(QEvent::MouseMove, QPoint(CNavigationButtons::kButtonWidth, 2), Qt::NoButton);
    EXPECT_EQ(m_status, QString());  // the pane shows "Ready" again
}

TEST_F(FrameTest, TheStatusBarShowsReadyAndHovers) {
    CSBCCustomStatusBar* bar = m_frame->StatusBar();
    EXPECT_EQ(bar->PaneText(), QStringLiteral("Ready"));
    bar->ShowPaneText(QStringLiteral("Next Page"));
    EXPECT_EQ(bar->PaneText(), QStringLiteral("Next Page"));
    bar->ShowPaneText(QString());
    EXPECT_EQ(bar->PaneText(), QStringLiteral("Ready"));
}

TEST(LockIndicatorsTest, EachPaneNamesItsLockWhileOnAndFollowsKeys) {
    std::optional<KeyLocks> locks;  // nothing known: every pane blank
    CLockIndicators indicators;
    indicators.SetSource([&locks] { return locks; });
    QWidget focus;
    focus.show();
    focus.setFocus();
    QApplication::setActiveWindow(&focus);
    for (int pane = 0; pane < 3; ++pane) {
        EXPECT_EQ(indicators.PaneText(pane), QString());
    }
    const int width = indicators.sizeHint().width();

    locks = KeyLocks{true, false, true};
    QTest::keyClick(&focus, Qt::Key_CapsLock);  // the release refreshes
    EXPECT_EQ(indicators.PaneText(0), QStringLiteral("CAPS"));
    EXPECT_EQ(indicators.PaneText(1), QString());
    EXPECT_EQ(indicators.PaneText(2), QStringLiteral("SCRL"));
    EXPECT_EQ(indicators.sizeHint().width(), width) << "a lock change must not shift the bar";

    locks = KeyLocks{false, true, false};
    indicators.Refresh();
    EXPECT_EQ(indicators.PaneText(0), QString());
    EXPECT_EQ(indicators.PaneText(1), QStringLiteral("NUM"));
}

TEST_F(FrameTest, TheSizeFollowsTheControlsMinimum) {
    ConnectApp();
    const int sb = m_frame->StatusBar()->sizeHint().height();
    auto lastResize = [this]() -> std::pair<int32_t, int32_t> {
        const auto calls = m_fake->CallsOf("ResizeRequest");
        if (calls.empty()) {
            return {-1, -1};
        }
        return {calls.back().args.at(0).AsI4(), calls.back().args.at(1).AsI4()};
    };

    // Smaller than 600 x 470 grows back to it.
    m_frame->resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_frame->minimumSize(), QSize(kMinClientWidth, kMinClientHeight));
    EXPECT_GE(m_frame->width(), kMinClientWidth);
    EXPECT_GE(m_frame->height(), kMinClientHeight);
    EXPECT_EQ(lastResize(), std::make_pair(m_frame->width() - 24, m_frame->height() - sb - 96));

    // The control refuses: its own minimum plus the frame's room.
    m_fake->minimumAccepted = false;
    m_fake->minWindowWidth = 700;
    m_fake->minWindowHeight = 500;
    m_frame->resize(800, 600);
    QCoreApplication::processEvents();
    const QSize wanted(700 + 24, 500 + sb + 96);
    EXPECT_EQ(m_frame->minimumSize(), wanted);
    EXPECT_GE(m_frame->width(), wanted.width());
    EXPECT_GE(m_frame->height(), wanted.height());
    EXPECT_EQ(lastResize(), std::make_pair(m_frame->width() - 24, m_frame->height() - sb - 96));

    // Agreed again: the minimum falls back to the frame's own.
    m_fake->minimumAccepted = true;
    m_frame->resize(m_frame->width() + 10, m_frame->height());
    QCoreApplication::processEvents();
    EXPECT_EQ(m_frame->minimumSize(), QSize(kMinClientWidth, kMinClientHeight));

    // Hiding the status bar gives its height to the control.
    m_fake->calls.clear();
    QAction* statusBar = m_frame->CommandAction(kViewStatusBarCommand);
    ASSERT_NE(statusBar, nullptr);
    statusBar->trigger();
    EXPECT_FALSE(m_frame->IsStatusBarVisible());
    EXPECT_FALSE(statusBar->isChecked());
    EXPECT_TRUE(m_frame->StatusBar()->isHidden());
    EXPECT_EQ(lastResize(), std::make_pair(m_frame->width() - 24, m_frame->height() - 96));
    statusBar->trigger();
    EXPECT_TRUE(m_frame->IsStatusBarVisible());
}

TEST_F(FrameTest, NoSizeIsAgreedWithoutASession) {
    AttachWithoutSession();
    m_frame->show();
    m_frame->resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_fake->CallsOf("MinimumWindowSize").empty());
    EXPECT_TRUE(m_fake->CallsOf("ResizeRequest").empty());
}

TEST_F(FrameTest, MenuPromptsComeFromTheFrameThenTheControlsTable) {
    ConnectApp();
    const std::vector<MenuStringEntry> table = {
        {kFilePrintCommand, "Print the host screen"},
        {10003, "Open the chart"},
        {32783, "not this one"},
        {0, nullptr},
    };
    m_fake->fire(static_cast<DISPID>(QuilletEvent::SetMenuStrings),
                 std::vector<Variant>{Variant::Pointer(const_cast<MenuStringEntry*>(table.data()),
                                                       std::string(kMenuStringEntryTag))});
    EXPECT_EQ(m_frame->MessageString(kFilePrintCommand), QStringLiteral("Print the host screen"));
    EXPECT_EQ(m_frame->MessageString(10003), QStringLiteral("Open the chart"));
    EXPECT_EQ(m_frame->MessageString(32783), QStringLiteral("New Patient"));
    EXPECT_EQ(m_frame->MessageString(2830), QStringLiteral("Next Page"));
    EXPECT_EQ(m_frame->MessageString(4242), QString());
    EXPECT_EQ(m_frame->MessageString(kHelpContentsCommand), QStringLiteral("Help Contents"));
    EXPECT_EQ(m_frame->MessageString(kOperatorsGuideCommand), QStringLiteral("View Operator's Guide"));

    // The menu takes its prompts when it opens.
    QAction* print = m_frame->CommandAction(kFilePrintCommand);
    ASSERT_NE(print, nullptr);
    auto* file = qobject_cast<QMenu*>(print->associatedObjects().value(0));
    ASSERT_NE(file, nullptr);
    emit file->aboutToShow();
    EXPECT_EQ(print->statusTip(), QStringLiteral("Print the host screen"));
    QAction* guide = m_frame->CommandAction(kOperatorsGuideCommand);
    ASSERT_NE(guide, nullptr);
    auto* help = qobject_cast<QMenu*>(guide->associatedObjects().value(0));
    ASSERT_NE(help, nullptr);
    emit help->aboutToShow();
    EXPECT_EQ(guide->statusTip(), QStringLiteral("View Operator's Guide"));
}

TEST_F(FrameTest, TheViewHandsItsCommandsToTheControl) {
    ASSERT_EQ(m_app->Connect("-h"), ConnectOutcome::Connected);
    CBrantorView* view = m_frame->View();
    // The first drawing with a session gives the control the focus, once.
    view->repaint();
    view->repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_fake->CallsOf("VBASetFocus").size(), 1u);

    const std::pair<int32_t, const char*> edits[] = {
        {kEditCopyCommand, "EditCopy"},
        {kEditPasteCommand, "EditPaste"},
        {kSetFontControlCommand, "SetFontControl"},
        {kEditCustomMenuCommand, "EditCustomMenu"},
    };
    for (const auto& [id, member] : edits) {
        m_fake->calls.clear();
        EXPECT_TRUE(view->OnEditCommand(id));
        EXPECT_EQ(Calls(), (std::vector<SeenCall>{{member, ""}}));
    }
    EXPECT_FALSE(view->OnEditCommand(57635));

    // Ctrl+Insert reaches the control through the frame's accelerator.
    m_fake->calls.clear();
    m_frame->CommandAction(kEditCopyCommand)->trigger();
    EXPECT_EQ(Calls(), (std::vector<SeenCall>{{"EditCopy", ""}}));

    m_fake->calls.clear();
    QPrinter printer;
    view->OnPrint(&printer);
    const auto prints = m_fake->CallsOf("Print");
    ASSERT_EQ(prints.size(), 1u);
    EXPECT_EQ(prints[0].args.at(0).AsPointer(kPrintTargetTag), &printer);

    m_fake->calls.clear();
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(view, &in);
    EXPECT_TRUE(m_app->HasFocus());
    EXPECT_EQ(Calls(), (std::vector<SeenCall>{{"Activate", ""}}));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(view, &out);
    EXPECT_FALSE(m_app->HasFocus());
}

}  // namespace
}  // namespace container
