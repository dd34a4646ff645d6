// The frame on a private X server: the lock panes and the Caps Lock the frame tells the control follow the
// server's keyboard, as the keyboard extension reports it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>
#include <optional>
#include <string>

#include "container/main_frame.h"
#include "container/tests/x_keyboard.h"
#include "platform/known_folders.h"
#include "testsupport/test_support.h"
#include "testsupport/xvfb_server.h"

namespace container {
namespace {

constexpr int kSafetyNetMs = 10000;

// One X server and one QApplication on it for the program: Qt connects to a display once.
class XApplication : public ::testing::Environment {
  public:
    void SetUp() override {
        if (testsupport::XvfbMissing()) {
            return;
        }
        std::string error;
        if (!s_xvfb.Start(error)) {
            s_failure = "Xvfb did not start: " + error;
            return;
        }
        m_env.Set("DISPLAY", s_xvfb.Display());
        m_env.Set("QT_QPA_PLATFORM", "xcb");
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override {
        m_app.reset();
        s_xvfb.Stop();
    }

    static testsupport::XvfbServer s_xvfb;
    static std::string s_failure;

  private:
    testsupport::ScopedEnv m_env;
    int m_argc = 1;
    std::string m_name = platform::ProgramFileName();
    char* m_argv[2] = {m_name.data(), nullptr};
    std::unique_ptr<QApplication> m_app;
};

testsupport::XvfbServer XApplication::s_xvfb;
std::string XApplication::s_failure;

[[maybe_unused]] ::testing::Environment* const g_xEnvironment =
    ::testing::AddGlobalTestEnvironment(new XApplication);

class KeyLocksOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto why = testsupport::XvfbMissing()) {
            GTEST_SKIP() << *why;
        }
        ASSERT_TRUE(XApplication::s_failure.empty()) << XApplication::s_failure;
    }
    void SetCapsLock(bool on) {
        std::string error;
        ASSERT_TRUE(testing::SetServerCapsLock(XApplication::s_xvfb.Display(), on, error)) << error;
    }
};

TEST_F(KeyLocksOnX, TheFrameTellsTheServersCapsLock) {
    CMainFrame frame;
    frame.show();
    quillet::KeyboardLocks& locks = frame;
    SetCapsLock(true);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return locks.CapsLockOn() == std::optional<bool>(true); }, kSafetyNetMs));
    frame.StatusBar()->Locks()->Refresh();
    EXPECT_EQ(frame.StatusBar()->Locks()->PaneText(0), QStringLiteral("CAPS"));

    SetCapsLock(false);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return locks.CapsLockOn() == std::optional<bool>(false); }, kSafetyNetMs));
    frame.StatusBar()->Locks()->Refresh();
    EXPECT_EQ(frame.StatusBar()->Locks()->PaneText(0), QString());
}

}  // namespace
}  // namespace container
