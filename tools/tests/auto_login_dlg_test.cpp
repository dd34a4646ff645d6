// The automatic-login progress dialog against a scripted pipe: progress, success, the worker's failure and
// its messages, the user's cancel of a hung connect, and teardown while the worker runs.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest/QTest>
#include <thread>

#include "tools/auto_login_dlg.h"
#include "tools/qt_login_ui.h"
#include "tools/tests/dialog_test_support.h"
#include "tools/tests/fake_login_target.h"

namespace tools {
namespace {

using platform::PromptIcon;
using testing::FakeLoginTarget;
using testing::WaitFor;

// Records where and when each message was shown.
class WitnessPrompt : public platform::UserPrompt {
  public:
    explicit WitnessPrompt(const FakeLoginTarget& target) : m_target(target) {}
    platform::PromptResult Show(const platform::PromptRequest& request) override {
        m_texts.push_back(request.text);
        m_onGuiThread = m_onGuiThread && std::this_thread::get_id() == m_guiThread;
        m_afterWorker = m_afterWorker && m_target.m_returned;
        return platform::PromptResult::Ok;
    }
    std::vector<std::string> m_texts;
    bool m_onGuiThread = true;
    bool m_afterWorker = true;

  private:
    const FakeLoginTarget& m_target;
    std::thread::id m_guiThread = std::this_thread::get_id();
};

class AutoLoginDlgTest : public testsupport::RegistryTest {
  protected:
    static QPushButton* Cancel(CAutoLoginDlg& d) { return d.findChild<QPushButton*>("cancelButton"); }
    static QProgressBar* Bar(CAutoLoginDlg& d) { return d.findChild<QProgressBar*>("progressBar"); }
    static bool Ended(CAutoLoginDlg& d) { return !d.isVisible(); }

    FakeLoginTarget m_target;
    WitnessPrompt m_prompt{m_target};
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
};

TEST_F(AutoLoginDlgTest, ShowsItsTextsAndHasNoDefaultButton) {
    m_target.m_script = [](FakeLoginTarget& t) { return t.Block() ? 1 : 0; };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Connecting...");
    EXPECT_EQ(dialog.findChild<QLabel*>("statusText")->text(), "Logging On Remote Server");
    EXPECT_EQ(Cancel(dialog)->text(), "&Cancel");
    EXPECT_EQ(Bar(dialog)->minimum(), 0);
    EXPECT_EQ(Bar(dialog)->maximum(), 100);
    ASSERT_TRUE(WaitFor([&] { return m_target.Blocked(); }));

    QTest::keyClick(&dialog, Qt::Key_Return);
    Cancel(dialog)->setFocus();
    QTest::keyClick(Cancel(dialog), Qt::Key_Return);
    QTest::keyClick(Cancel(dialog), Qt::Key_Enter);
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(m_target.AbortConnects(), 0);
    EXPECT_FALSE(m_target.Aborted());

    QTest::mouseClick(Cancel(dialog), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(AutoLoginDlgTest, ProgressReachesTheBarAndSuccessAccepts) {
    m_target.m_script = [](FakeLoginTarget& t) {
        t.Report(40);
        t.Block();
        t.Report(100);
        return 0;
    };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    EXPECT_TRUE(WaitFor([&] { return Bar(dialog)->value() == 40; }));
    EXPECT_FALSE(Ended(dialog));
    m_target.Release();

    ASSERT_TRUE(WaitFor([&] { return Ended(dialog); }));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_target.m_loadSettings, 0);
    EXPECT_FALSE(m_target.Aborted());
    EXPECT_FALSE(m_target.SinkRegistered());
    EXPECT_TRUE(m_prompt.m_texts.empty());
}

TEST_F(AutoLoginDlgTest, WorkerFailureShowsItsMessagesAfterItEndedAndRejects) {
    m_target.m_script = [](FakeLoginTarget&) {
        platform::DefaultPrompt().Message("Could Not Set TCP_NODELAY Option", PromptIcon::Exclamation);
        platform::DefaultPrompt().Message("Error Connecting To Remote Host", PromptIcon::Stop);
        return 1;
    };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return Ended(dialog); }));

    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_prompt.m_texts, (std::vector<std::string>{"Could Not Set TCP_NODELAY Option",
                                                          "Error Connecting To Remote Host"}));
    EXPECT_TRUE(m_prompt.m_onGuiThread);
    EXPECT_TRUE(m_prompt.m_afterWorker);
    // The Cancel path: the pipe is marked aborted and its socket closed.
    EXPECT_TRUE(m_target.Aborted());
    EXPECT_EQ(m_target.AbortConnects(), 1);
    EXPECT_FALSE(m_target.SinkRegistered());
}

TEST_F(AutoLoginDlgTest, SuccessShowsTheWorkersWarningsToo) {
    m_target.m_script = [](FakeLoginTarget&) {
        platform::DefaultPrompt().Message("Could Not Set TCP_NODELAY Option", PromptIcon::Exclamation);
        return 0;
    };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return Ended(dialog); }));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_prompt.m_texts, std::vector<std::string>{"Could Not Set TCP_NODELAY Option"});
    EXPECT_TRUE(m_prompt.m_onGuiThread);
}

TEST_F(AutoLoginDlgTest, SuccessOnAnAbortedConnectionDoesNotLeaveTheDialogOpen) {
    m_target.m_script = [](FakeLoginTarget& t) {
        t.SetAborted();
        return 0;
    };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return Ended(dialog); }));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(AutoLoginDlgTest, CancelWakesAHungConnectJoinsTheWorkerAndShowsNoWorkerMessage) {
    std::atomic<bool> wokenByAbort{false};
    m_target.m_script = [&wokenByAbort](FakeLoginTarget& t) {
        t.Report(20);
        wokenByAbort = t.Block();
        // What a pipe might still say on its way out of an aborted connect.
        platform::DefaultPrompt().Message("Error Connecting To Remote Host", PromptIcon::Stop);
        return 1;
    };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return m_target.Blocked(); }));

    QTest::mouseClick(Cancel(dialog), Qt::LeftButton);

    // Cancel returned only after the worker's connect had ended, and it ended because AbortConnect woke it.
    EXPECT_TRUE(m_target.m_returned);
    EXPECT_TRUE(wokenByAbort);
    EXPECT_TRUE(m_target.Aborted());
    EXPECT_EQ(m_target.AbortConnects(), 1);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(m_target.SinkRegistered());
    QTest::qWait(0);  // let the worker's queued end arrive: it must change nothing
    EXPECT_TRUE(m_prompt.m_texts.empty());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(m_target.AbortConnects(), 1);
}

TEST_F(AutoLoginDlgTest, EscapeIsTheUsersCancel) {
    m_target.m_script = [](FakeLoginTarget& t) { return t.Block() ? 1 : 0; };
    CAutoLoginDlg dialog(m_target);
    dialog.show();
    ASSERT_TRUE(WaitFor([&] { return m_target.Blocked(); }));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(m_target.m_returned);
    EXPECT_TRUE(m_target.Aborted());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(AutoLoginDlgTest, DestroyingTheDialogAbortsAndJoinsTheWorker) {
    std::atomic<bool> wokenByAbort{false};
    m_target.m_script = [&wokenByAbort](FakeLoginTarget& t) {
        wokenByAbort = t.Block();
        return 1;
    };
    auto dialog = std::make_unique<CAutoLoginDlg>(m_target);
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return m_target.Blocked(); }));
    dialog.reset();

    EXPECT_TRUE(m_target.m_returned);
    EXPECT_TRUE(wokenByAbort);
    EXPECT_FALSE(m_target.SinkRegistered());
    QTest::qWait(0);
    EXPECT_TRUE(m_prompt.m_texts.empty());
}

TEST_F(AutoLoginDlgTest, DialogNeverShownLeavesThePipeAlone) {
    { CAutoLoginDlg dialog(m_target); }
    EXPECT_FALSE(m_target.m_entered);
    EXPECT_FALSE(m_target.Aborted());
    EXPECT_EQ(m_target.AbortConnects(), 0);
}

TEST_F(AutoLoginDlgTest, RemoteLoginUiRunsTheProgressDialogModally) {
    QtRemoteLoginUi ui;
    EXPECT_TRUE(ui.RunAutoLogin(m_target));

    FakeLoginTarget failing;
    failing.m_script = [](FakeLoginTarget&) { return 1; };
    EXPECT_FALSE(ui.RunAutoLogin(failing));
}

}  // namespace
}  // namespace tools
