// The viewer's window offscreen with a real document: the verdict commands follow the button flags and
// queue their texts, the "Approve" dialog opens after the asking call and queues what was typed, and nothing
// is queued when the document goes away while it is open.
#include "viewer/qt/lumetra_frame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTimer>
#include <chrono>

#include "suite/qt/about_box.h"
#include "testsupport/dispatch_calls.h"
#include "testsupport/test_support.h"

namespace viewer {
namespace {

namespace automation = platform::automation;
using automation::Variant;

class LumetraFrameTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_frame = std::make_unique<CMainFrame>(LumetraLog(m_temp.Path() / "viewer.log"));
        m_doc = std::make_shared<CLumetraDoc>(*m_frame, Reg(), LumetraLog(), m_word);
        m_frame->SetDocument(m_doc.get());
        testsupport::CallForText(*m_doc, "RegisterSorelIDs",
                                 {Variant::I4(0), Variant::I4(4), Variant::Dispatch(m_window)});
    }
    void TearDown() override {
        m_frame->SetDocument(nullptr);
        m_doc.reset();
        m_frame.reset();
        RegistryTest::TearDown();
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> texts;
        for (auto text = testsupport::CallForText(*m_doc, "GetNotifyMessage"); !text.empty();
             text = testsupport::CallForText(*m_doc, "GetNotifyMessage")) {
            texts.push_back(text);
        }
        return texts;
    }
    static bool WaitFor(const std::function<bool()>& condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    NoWordProcessor m_word;
    std::shared_ptr<testsupport::RecordingClientWindow> m_window =
        std::make_shared<testsupport::RecordingClientWindow>();
    std::unique_ptr<CMainFrame> m_frame;
    std::shared_ptr<CLumetraDoc> m_doc;
};

TEST_F(LumetraFrameTest, VerdictCommandsFollowTheFlagsAndQueueTheirTexts) {
    const std::vector<std::pair<Verdict, const char*>> commands{{Verdict::Accept, "accept"},
                                                                {Verdict::Reject, "reject"},
                                                                {Verdict::Back, "back"},
                                                                {Verdict::Next, "next"}};
    for (const auto& [verdict, text] : commands) {
        EXPECT_FALSE(m_frame->CommandAction(verdict)->isEnabled()) << text;
    }
    testsupport::CallForText(*m_doc, "EnableButton", "all");
    for (const auto& [verdict, text] : commands) {
        ASSERT_TRUE(m_frame->CommandAction(verdict)->isEnabled()) << text;
        m_frame->CommandAction(verdict)->trigger();
    }
    // No word processor: Edit stays disabled even after "all".
    EXPECT_FALSE(m_frame->CommandAction(Verdict::Edit)->isEnabled());
    EXPECT_EQ(Texts(), (std::vector<std::string>{"accept", "reject", "back", "next"}));
    testsupport::CallForText(*m_doc, "DisableButton", "accept");
    EXPECT_FALSE(m_frame->CommandAction(Verdict::Accept)->isEnabled());
}

TEST_F(LumetraFrameTest, ApproveDialogOpensAfterTheCallAndQueuesWhatWasTyped) {
    EXPECT_EQ(testsupport::CallForText(*m_doc, "GetPassword", ""), "0");
    EXPECT_EQ(m_frame->OpenPasswordDialog(), nullptr);  // not before the call has returned
    bool answered = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(WaitFor([&] { return m_frame->OpenPasswordDialog() != nullptr; }));
        CApproveDlg* dialog = m_frame->OpenPasswordDialog();
        EXPECT_EQ(dialog->windowTitle(), "Approve");
        EXPECT_EQ(dialog->PasswordEdit()->echoMode(), QLineEdit::Password);
        EXPECT_TRUE(dialog->PasswordEdit()->text().isEmpty());
        dialog->PasswordEdit()->setText(QString::fromUtf8("s3cr\xC3\xA9t"));
        dialog->accept();
        answered = true;
    });
    ASSERT_TRUE(WaitFor([&] { return answered && m_frame->OpenPasswordDialog() == nullptr; }));
    EXPECT_EQ(Texts(), std::vector<std::string>{"s3cr\xE9t"});  // Windows-1252, as the host reads it

    testsupport::CallForText(*m_doc, "GetPassword", "");
    bool cancelled = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(WaitFor([&] { return m_frame->OpenPasswordDialog() != nullptr; }));
        m_frame->OpenPasswordDialog()->reject();
        cancelled = true;
    });
    ASSERT_TRUE(WaitFor([&] { return cancelled && m_frame->OpenPasswordDialog() == nullptr; }));
    // Cancel queues an empty text, which the client cannot tell from nothing.
    EXPECT_EQ(m_doc->Queue().Size(), 1u);
    EXPECT_EQ(testsupport::CallForText(*m_doc, "GetNotifyMessage"), "");
}

TEST_F(LumetraFrameTest, DocumentGoingAwayClosesTheDialogWithoutAnswer) {
    testsupport::CallForText(*m_doc, "GetPassword", "");
    const size_t posts = m_window->posts.size();
    bool dropped = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(WaitFor([&] { return m_frame->OpenPasswordDialog() != nullptr; }));
        m_frame->DropPasswordDialog();
        dropped = true;
    });
    ASSERT_TRUE(WaitFor([&] { return dropped && m_frame->OpenPasswordDialog() == nullptr; }));
    QApplication::processEvents();
    EXPECT_EQ(m_doc->Queue().Size(), 0u);
    EXPECT_EQ(m_window->posts.size(), posts);
}

}  // namespace
}  // namespace viewer
