// The viewer's window offscreen with a real document: the verdict commands follow the button flags and
// queue their texts, the "Approve" dialog opens after the asking call and queues what was typed, and nothing
// is queued when the document goes away while it is open.
#include "viewer/qt/lumetra_frame.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <chrono>

#include "suite/qt/about_box.h"
#include "testsupport/dispatch_calls.h"
#include "testsupport/test_support.h"
#include "viewer/display/window_placement.h"
#include "viewer/tests/qt/wait_for.h"

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

TEST_F(LumetraFrameTest, ToolbarButtonsAreTheMenuCommandsWithTheirTips) {
    std::vector<std::string> tips;
    for (QAction* action : m_frame->ToolBar()->actions()) {
        if (!action->isSeparator()) {
            tips.push_back(action->toolTip().toStdString());
        }
    }
    EXPECT_EQ(tips, (std::vector<std::string>{"Print", "Copy", "Previous", "Next", "Approve", "Reject",
                                              "Edit", "About"}));
    // A button is its command: enabled by the same flag, queueing the same text.
    QAction* approve = m_frame->CommandAction(Verdict::Accept);
    EXPECT_TRUE(m_frame->ToolBar()->actions().contains(approve));
    EXPECT_FALSE(m_frame->ToolBar()->widgetForAction(approve)->isEnabled());
    testsupport::CallForText(*m_doc, "EnableButton", "accept");
    EXPECT_TRUE(m_frame->ToolBar()->widgetForAction(approve)->isEnabled());
    auto* button = qobject_cast<QToolButton*>(m_frame->ToolBar()->widgetForAction(approve));
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(Texts(), std::vector<std::string>{"accept"});
}

TEST_F(LumetraFrameTest, StatusBarHasFourPanesAndShowsFlyByHelp) {
    const auto& panes = m_frame->StatusPanes();
    ASSERT_EQ(panes.size(), 4u);
    EXPECT_EQ(panes[0]->text(), "Ready");
    m_frame->show();
    // Passing over a command covers "Ready" with its help; leaving it brings "Ready" back.
    QAction* next = m_frame->CommandAction(Verdict::Next);
    ASSERT_FALSE(next->statusTip().isEmpty());
    next->showStatusText(m_frame->ToolBar());
    EXPECT_EQ(m_frame->statusBar()->currentMessage(), next->statusTip());
    EXPECT_FALSE(panes[0]->isVisible());
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(m_frame->ToolBar(), &leave);
    EXPECT_TRUE(m_frame->statusBar()->currentMessage().isEmpty());
    EXPECT_TRUE(panes[0]->isVisible());
    // Offscreen there is no keyboard to read the lock lights from: the three panes stay blank.
    for (size_t i = 1; i < panes.size(); ++i) {
        EXPECT_TRUE(panes[i]->isVisible());
        EXPECT_TRUE(panes[i]->text().isEmpty()) << panes[i]->objectName().toStdString();
    }
}

TEST_F(LumetraFrameTest, AboutBoxShowsTheLogPathOnlyWhenTheLogIsOn) {
    const std::string path = (m_temp.Path() / "viewer.log").string();
    const struct {
        const char* name;
        LumetraLog log;
        const char* caption;
        std::string path;
    } cases[] = {
        {"log on", LumetraLog(m_temp.Path() / "viewer.log"), "Log File Path:", path},
        {"log off", LumetraLog(), "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMainFrame frame(c.log, Reg());
        std::string caption = "(not opened)";
        std::string shown = "(not opened)";
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(WaitFor([] { return QApplication::activeModalWidget() != nullptr; }));
            QWidget* about = QApplication::activeModalWidget();
            if (auto* label = about->findChild<QLabel*>(QStringLiteral("logCaption"))) {
                caption = label->text().toStdString();
            }
            if (auto* label = about->findChild<QLabel*>(QStringLiteral("logPath"))) {
                shown = label->text().toStdString();
            }
            about->close();
        });
        frame.AboutAction()->trigger();
        EXPECT_EQ(caption, c.caption);
        EXPECT_EQ(shown, c.path);
    }
}

}  // namespace
}  // namespace viewer

namespace viewer {
namespace {

// The frame opens where the Viewer key says, through the placement rule, and closing stores it back.
class LumetraFramePlacementTest : public testsupport::RegistryTest {
  protected:
    void Store(const char* name, const platform::RegValue& value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::CurrentUser, display::kViewerKey, name, value), 0);
    }
    std::optional<platform::RegValue> Stored(const char* name) {
        platform::RegValue value;
        if (Reg().QueryValue(platform::HKey::CurrentUser, display::kViewerKey, name, value) != 0) {
            return std::nullopt;
        }
        return value;
    }
    static display::WindowRect Screen() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        return {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
    }
    static display::WindowRect Of(const QRect& r) {
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }
};

TEST_F(LumetraFramePlacementTest, OpensWhereTheRuleFitsTheStoredValues) {
    const display::WindowRect screen = Screen();
    const struct {
        const char* name;
        std::optional<platform::RegValue> zoom;
        std::optional<platform::RegValue> size;
        display::WindowRect expected;
    } cases[] = {
        {"missing", std::nullopt, std::nullopt, display::kDefaultWindowRect},
        {"damaged size", std::nullopt, platform::RegValue::Binary({1, 2, 3}), display::kDefaultWindowRect},
        {"size of the wrong type", platform::RegValue::String("1"),
         platform::RegValue::String("0123456789abcdef"), display::kDefaultWindowRect},
        {"as stored",
         platform::RegValue::Dword(0),
         platform::RegValue::Binary(display::EncodeWindowSize({40, 30, 340, 230})),
         {40, 30, 340, 230}},
        {"off the left and top edges",
         platform::RegValue::Dword(0),
         platform::RegValue::Binary(display::EncodeWindowSize({-5000, -5000, -4700, -4800})),
         {screen.left, screen.top, screen.left + 300, screen.top + 200}},
    };
    for (const auto& c : cases) {
        Reg().DeleteTree(platform::HKey::CurrentUser, display::kViewerKey);
        if (c.zoom) {
            Store(display::kZoomModeValue, *c.zoom);
        }
        if (c.size) {
            Store(display::kWindowSizeValue, *c.size);
        }
        CMainFrame frame(LumetraLog(), Reg());
        EXPECT_EQ(Of(frame.geometry()), c.expected) << c.name;
        EXPECT_FALSE(frame.windowState() & Qt::WindowMaximized) << c.name;
    }
}

TEST_F(LumetraFramePlacementTest, ZoomModeOneOpensMaximisedAndClosingStoresTheNormalRectangle) {
    Store(display::kZoomModeValue, platform::RegValue::Dword(1));
    Store(display::kWindowSizeValue,
          platform::RegValue::Binary(display::EncodeWindowSize({40, 30, 340, 230})));
    {
        CMainFrame frame(LumetraLog(), Reg());
        EXPECT_TRUE(frame.windowState() & Qt::WindowMaximized);
        frame.show();
        frame.close();
    }
    EXPECT_EQ(Stored(display::kZoomModeValue)->AsDword(), 1u);
    EXPECT_EQ(display::DecodeWindowSize(Stored(display::kWindowSizeValue)->data),
              (display::WindowRect{40, 30, 340, 230}));

    {
        CMainFrame frame(LumetraLog(), Reg());
        frame.showNormal();
        frame.setGeometry(60, 50, 400, 300);
        frame.close();
    }
    EXPECT_EQ(Stored(display::kZoomModeValue)->AsDword(), 0u);
    EXPECT_EQ(Stored(display::kWindowSizeValue)->type, platform::RegType::Binary);
    EXPECT_EQ(display::DecodeWindowSize(Stored(display::kWindowSizeValue)->data),
              (display::WindowRect{60, 50, 460, 350}));
}

TEST_F(LumetraFramePlacementTest, SaveAsCopiesTheShownXmlWithItsStylesheetOnlyFromTheBrowser) {
    const auto docs = m_temp.Path() / "docs";
    const auto chosen = m_temp.Path() / "chosen";
    std::filesystem::create_directories(docs);
    std::filesystem::create_directories(chosen);
    const std::string xml = "<?xml version=\"1.0\"?>\n<letter><to>Ada</to></letter>\n";
    const std::string xsl =
        "<?xml version=\"1.0\"?>\n<xsl:stylesheet version=\"1.0\" "
        "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template match=\"/\">"
        "<html><body><xsl:value-of select=\"letter/to\"/></body></html></xsl:template></xsl:stylesheet>\n";
    testsupport::WriteFile(docs / "letter.xml", xml);
    testsupport::WriteFile(docs / "look.xsl", xsl);

    CMainFrame frame(LumetraLog(), Reg());
    frame.UpdateViewCommands();
    EXPECT_FALSE(frame.SaveAsAction()->isEnabled());
    EXPECT_FALSE(frame.SaveAs(chosen / "copy.xml"));
    EXPECT_TRUE(std::filesystem::is_empty(chosen));

    ASSERT_TRUE(frame.View()->Display(docs / "letter.xml", {}, docs / "look.xsl", false));
    frame.UpdateViewCommands();
    ASSERT_TRUE(frame.View()->BrowserVisible());
    EXPECT_TRUE(frame.SaveAsAction()->isEnabled());
    ASSERT_TRUE(frame.SaveAs(chosen / "copy.xml"));
    EXPECT_EQ(testsupport::ReadFile(chosen / "copy.xml"), xml);
    EXPECT_EQ(testsupport::ReadFile(chosen / "look.xsl"), xsl);
}

}  // namespace
}  // namespace viewer
