// The Qt main window with the stand-in control's widget: the widget in the view, the frame shown by the
// hand-shake, host titles shown as plain text, the close rule and the widget taken back before release.
#include "container/main_frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWindow>

#include "container/tests/container_test_support.h"

namespace container {
namespace {

using namespace platform::automation;

// What the control finds of its frame, the way it looks: the nearest ancestor of its widget with `Site`.
template <typename Site>
Site* FindSite(QWidget& control) {
    for (QObject* object = control.parent(); object != nullptr; object = object->parent()) {
        if (auto* site = qobject_cast<Site*>(object)) {
            return site;
        }
    }
    return nullptr;
}

class MainFrameTest : public testing::ContainerTest {
  protected:
    void SetUp() override {
        ContainerTest::SetUp();
        RegisterFake();
        HandshakeOnLogin(&m_handshake);
    }

    std::unique_ptr<CBrantorApp> MakeApp(CMainFrame& frame) {
        CBrantorApp::Options options;
        options.log = [this](std::string_view line) { m_log.emplace_back(line); };
        options.spawner = [](const platform::SpawnOptions&, std::string*) { return true; };
        auto app = std::make_unique<CBrantorApp>(frame, std::move(options));
        frame.SetApp(app.get());
        return app;
    }

    bool m_handshake = false;
};

TEST_F(MainFrameTest, TheControlSitsInTheViewAndShowsOnTheHandshake) {
    CMainFrame frame;
    auto app = MakeApp(frame);
    EXPECT_FALSE(frame.isVisible());
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    EXPECT_TRUE(m_handshake);
    EXPECT_TRUE(frame.isVisible());
    QPointer<QWidget> widget = frame.ControlWidget();
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), frame.View());
    EXPECT_TRUE(widget->isVisible());

    app->ExitInstance();
    // The control's widget left the view before the control went, and went with it.
    EXPECT_EQ(widget, nullptr);
    EXPECT_EQ(m_fake->alive, 0);
    EXPECT_TRUE(frame.View()->findChildren<QWidget*>().isEmpty());
    frame.SetApp(nullptr);
}

TEST_F(MainFrameTest, AnInPlaceControlsMenusJoinTheBarAndLeaveIt) {
    CMainFrame frame;
    QWidget child(frame.View());
    quillet::InPlaceFrame* site = FindSite<quillet::InPlaceFrame>(child);
    ASSERT_EQ(site, static_cast<quillet::InPlaceFrame*>(&frame)) << "found from the control's widget";
    auto titles = [&frame] {
        QStringList shown;
        for (QAction* action : frame.menuBar()->actions()) {
            shown << action->text();
        }
        return shown;
    };

    QMenu shared;
    quillet::MenuGroupWidths widths{};
    site->InsertMenus(shared, widths);
    EXPECT_EQ(widths, (quillet::MenuGroupWidths{1, 0, 1, 0, 1, 0}));
    QMenu edit("&Edit");
    shared.insertMenu(shared.actions()[1], &edit);
    site->SetMenu(&shared);
    EXPECT_EQ(titles(), (QStringList{"&File", "&Edit", "&View", "&Help"}));
    site->SetStatusText("Copy the selection");
    EXPECT_EQ(frame.StatusBar()->PaneText(), "Copy the selection");

    site->SetMenu(nullptr);
    shared.removeAction(edit.menuAction());
    site->RemoveMenus(shared);
    EXPECT_TRUE(shared.actions().isEmpty());
    EXPECT_EQ(titles(), (QStringList{"&File", "&View", "&Help"}));
    EXPECT_NE(frame.CommandAction(kAppExitCommand), nullptr) << "the frame's own menus are intact";
}

TEST_F(MainFrameTest, TheControlLearnsCapsLockFromTheStatusBarsSource) {
    CMainFrame frame;
    QWidget child(frame.View());
    quillet::KeyboardLocks* locks = FindSite<quillet::KeyboardLocks>(child);
    ASSERT_EQ(locks, static_cast<quillet::KeyboardLocks*>(&frame)) << "found from the control's widget";
    std::optional<KeyLocks> state;
    frame.StatusBar()->Locks()->SetSource([&state] { return state; });
    EXPECT_EQ(locks->CapsLockOn(), std::nullopt) << "a display that cannot tell";
    state = KeyLocks{true, false, false};
    EXPECT_EQ(locks->CapsLockOn(), std::optional<bool>(true));
    state = KeyLocks{false, true, true};
    EXPECT_EQ(locks->CapsLockOn(), std::optional<bool>(false));
}

TEST_F(MainFrameTest, HostTitlesShowAsPlainText) {
    CMainFrame frame;
    frame.show();
    frame.SetTitle("Smith [*] <b>John</b>");
    QCoreApplication::processEvents();
    ASSERT_NE(frame.windowHandle(), nullptr);
    EXPECT_EQ(frame.windowHandle()->title(), QStringLiteral("Smith [*] <b>John</b>"));
    frame.SetTitle("Caf\xE9");
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.windowHandle()->title(), QString::fromUtf8("Caf\xC3\xA9"));
}

TEST_F(MainFrameTest, CloseFollowsTheCloseRule) {
    CMainFrame frame;
    auto app = MakeApp(frame);
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    m_fake->chainable = true;
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isVisible());
    ASSERT_EQ(m_fake->CallsOf("Send").size(), 1u);
    EXPECT_EQ(m_fake->CallsOf("Send")[0].args.at(0), Variant::Bstr("/quit\r"));

    // The host ends the session: the frame hides and then closes for good.
    m_fake->fire(static_cast<DISPID>(QuilletEvent::SorelExit), {});
    EXPECT_FALSE(frame.isVisible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(app->IsConnected());
    EXPECT_EQ(m_fake->CallsOf("Send").size(), 1u);
    EXPECT_TRUE(frame.close());
    app->ExitInstance();
    frame.SetApp(nullptr);
}

TEST_F(MainFrameTest, AltF4ReachesTheFrameBeforeTheControl) {
    CMainFrame frame;
    auto app = MakeApp(frame);
    ASSERT_EQ(app->Connect("-h"), ConnectOutcome::Connected);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F4, Qt::AltModifier);
    QApplication::sendEvent(frame.ControlWidget(), &press);
    EXPECT_EQ(m_fake->CallsOf("ShutDownSorel").size(), 1u);
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
    QApplication::sendEvent(frame.ControlWidget(), &plain);
    EXPECT_EQ(m_fake->CallsOf("ShutDownSorel").size(), 1u);
    app->ExitInstance();
    frame.SetApp(nullptr);
}

}  // namespace
}  // namespace container
