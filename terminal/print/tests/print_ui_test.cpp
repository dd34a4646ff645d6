// The print job's Qt side: the keep-or-delete dialog, the print dialog's cancel, and the queue that runs a
// control's jobs in order with the spooling on a worker.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QtTest/QTest>
#include <memory>
#include <string>

#include "platform/user_prompt.h"
#include "terminal/print/file_print_delete_dlg.h"
#include "terminal/print/remote_print_queue.h"
#include "terminal/print/tests/fake_spooler.h"
#include "testsupport/test_support.h"
#include "tools/tests/dialog_test_support.h"

namespace terminal {
namespace {

using testing::FailAt;
using testing::FakePrintJobUi;
using testing::FakeSpooler;
using tools::testing::WaitFor;
using tools::testing::WhenShown;

TEST(FilePrintDeleteDlgTest, ShowsTheMessageReadOnlyUnderTheProductsName) {
    CFilePrintDeleteDlg dialog;
    dialog.SetMessage(OfferDeleteMessage("/tmp/a\xC3\xA9.prn"));
    EXPECT_EQ(dialog.windowTitle(), "Halvex Carrowline");
    auto* edit = dialog.findChild<QPlainTextEdit*>("message");
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_EQ(dialog.Message(), QString::fromUtf8("/tmp/a\u00E9.prn\nmay not have printed properly.\n\n\n"
                                                  "Delete file from local machine?"));
    EXPECT_EQ(dialog.findChild<QPushButton*>("saveButton")->text(), "Save File");
    EXPECT_EQ(dialog.findChild<QPushButton*>("deleteButton")->text(), "Delete File");
}

TEST(FilePrintDeleteDlgTest, ButtonsAndClosingAnswerAsTheJobExpects) {
    struct Case {
        const char* action;
        DeleteChoice expected;
    };
    for (const Case& c : {Case{"deleteButton", DeleteChoice::Delete}, Case{"saveButton", DeleteChoice::Keep},
                          Case{"close", DeleteChoice::Keep}}) {
        SCOPED_TRACE(c.action);
        WhenShown<CFilePrintDeleteDlg>([action = std::string(c.action)](CFilePrintDeleteDlg& dialog) {
            if (action == "close") {
                dialog.close();
            } else {
                dialog.findChild<QPushButton*>(QString::fromStdString(action))->click();
            }
        });
        QtPrintJobUi ui;
        EXPECT_EQ(ui.OfferDelete("file\r\nmay not have printed properly."), c.expected);
    }
}

TEST(QtPrintJobUiTest, CancelledPrintDialogChoosesNoPrinter) {
    WhenShown<QPrintDialog>([](QPrintDialog& dialog) { dialog.reject(); });
    QtPrintJobUi ui;
    EXPECT_EQ(ui.ChoosePrinter(), std::nullopt);
}

class RemotePrintQueueTest : public ::testing::Test {
  protected:
    std::filesystem::path PlaceFile(const std::string& name, const std::string& bytes) {
        const auto path = m_temp.Path() / name;
        testsupport::WriteFile(path, bytes);
        return path;
    }

    testsupport::TempFolder m_temp;
    std::shared_ptr<FakeSpooler> m_spooler = std::make_shared<FakeSpooler>();
    std::shared_ptr<FakePrintJobUi> m_ui = std::make_shared<FakePrintJobUi>();
    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
    QObject m_owner;
};

TEST_F(RemotePrintQueueTest, JobsPrintInTheOrderAskedAfterTheCurrentEvent) {
    auto* queue = new CRemotePrintQueue(&m_owner, m_spooler, m_ui);
    const auto first = PlaceFile("a.prn", std::string(700, 'a'));
    const auto second = PlaceFile("b.prn", std::string(10, 'b'));
    const auto third = PlaceFile("c.prn", std::string(1, 'c'));
    queue->Add("Front Desk", first);
    queue->Add("Back Office", second);
    queue->Add(std::string(kDefaultPrinterWord), third);
    // Nothing happens inside the host command that asked.
    EXPECT_TRUE(m_spooler->Opened().empty());
    ASSERT_TRUE(WaitFor([&] { return queue->Idle(); }));
    EXPECT_EQ(m_spooler->Opened(), (std::vector<std::string>{"Front Desk", "Back Office", "Front Desk"}));
    const auto records = m_spooler->Records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].bytes, std::string(700, 'a'));
    EXPECT_EQ(records[1].bytes, std::string(10, 'b'));
    EXPECT_EQ(records[2].bytes, std::string(1, 'c'));
    for (const auto& path : {first, second, third}) {
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST_F(RemotePrintQueueTest, FailedJobIsOfferedAndTheNextOneStillPrints) {
    auto* queue = new CRemotePrintQueue(&m_owner, m_spooler, m_ui);
    m_spooler->failures["Back Office"] = FailAt::Write;
    m_ui->choices = {std::string("Front Desk")};
    const auto failing = PlaceFile("a.prn", std::string(2000, 'a'));
    const auto unknown = PlaceFile("b.prn", std::string(5, 'b'));
    queue->Add("Back Office", failing);
    queue->Add("Upstairs", unknown);
    ASSERT_TRUE(WaitFor([&] { return queue->Idle(); }));
    EXPECT_EQ(m_ui->offers, std::vector<std::string>{OfferDeleteMessage(failing)});
    EXPECT_TRUE(std::filesystem::exists(failing));
    EXPECT_EQ(m_prompt.Texts(), (std::vector<std::string>{failing.string() + "\n\nWas not deleted",
                                                          "Error printing to printer: \r\nUpstairs"}));
    EXPECT_FALSE(std::filesystem::exists(unknown));
}

TEST_F(RemotePrintQueueTest, SpoolingDoesNotHoldTheEventLoop) {
    m_spooler->holdFinish = true;
    auto* queue = new CRemotePrintQueue(&m_owner, m_spooler, m_ui);
    const auto path = PlaceFile("a.prn", "abc");
    queue->Add("Front Desk", path);
    ASSERT_TRUE(WaitFor([&] { return !m_spooler->Records().empty(); }));
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    EXPECT_TRUE(WaitFor([&] { return ran; }));
    EXPECT_FALSE(queue->Idle());
}

TEST_F(RemotePrintQueueTest, DestroyedWhilePrintingKeepsEveryFileAndAsksNobody) {
    m_spooler->holdFinish = true;
    std::vector<std::string> log;
    auto* queue = new CRemotePrintQueue(&m_owner, m_spooler, m_ui);
    queue->SetLogger([&](std::string_view line) { log.emplace_back(line); });
    const auto printing = PlaceFile("a.prn", "abc");
    const auto waiting = PlaceFile("b.prn", "def");
    queue->Add("Front Desk", printing);
    queue->Add("Front Desk", waiting);
    ASSERT_TRUE(WaitFor([&] { return !m_spooler->Records().empty(); }));
    delete queue;
    QCoreApplication::processEvents();
    EXPECT_TRUE(std::filesystem::exists(printing));
    EXPECT_TRUE(std::filesystem::exists(waiting));
    EXPECT_TRUE(m_ui->offers.empty());
    EXPECT_TRUE(m_prompt.Shown().empty());
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(RemotePrintQueueTest, OneQueuePerOwner) {
    QWidget owner;
    CRemotePrintQueue& queue = CRemotePrintQueue::Of(owner);
    EXPECT_EQ(&CRemotePrintQueue::Of(owner), &queue);
    EXPECT_EQ(queue.parent(), &owner);
    EXPECT_TRUE(queue.Idle());
}

}  // namespace
}  // namespace terminal
