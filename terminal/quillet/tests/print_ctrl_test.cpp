// The host's print command through the control to a private print scheduler: the file in the temp folder
// printed raw and deleted, and a cancelled printer choice handing the file to the keep-or-delete dialog.
#include <gtest/gtest.h>

#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <string>

#include "platform/user_prompt.h"
#include "terminal/print/file_print_delete_dlg.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "testsupport/cups_daemon.h"
#include "tools/tests/dialog_test_support.h"

namespace terminal {
namespace {

using tools::testing::WhenShown;

constexpr int kSafetyNetMs = 20000;

class PrintCtrlTest : public testing::CtrlTest {
  protected:
    void SetUp() override {
        if (auto missing = testsupport::CupsdMissing()) {
            GTEST_SKIP() << *missing;
        }
        testsupport::RegistryTest::SetUp();
        m_daemon = std::make_unique<testsupport::CupsDaemon>(
            std::vector<testsupport::CupsDaemon::Queue>{{"laser"}}, "laser");
        ASSERT_TRUE(m_daemon->Running());
        // Every spooling thread asks the scheduler named here.
        m_env.Set("CUPS_SERVER", m_daemon->Socket());
        StartControl();
        ShowControl();
        m_line = Connect();
        ASSERT_TRUE(m_line);
    }
    void TearDown() override {
        m_control.reset();
        m_daemon.reset();
        CtrlTest::TearDown();
    }

    std::filesystem::path PlaceFile(const std::string& name, const std::string& bytes) {
        const auto path = m_tmp / name;
        testsupport::WriteFile(path, bytes);
        return path;
    }

    std::unique_ptr<testsupport::CupsDaemon> m_daemon;
    std::shared_ptr<testing::FakeLine> m_line;
};

TEST_F(PrintCtrlTest, HostFileIsPrintedRawAndDeleted) {
    std::string bytes =
        "\x1B"
        "E\f";
    bytes += std::string(1500, '\0') + "\r\n\xFF";
    const auto path = PlaceFile("report 1.prn", bytes);
    // A blank in a word travels as 0x02.
    m_line->Feed(
        "\x1B[%laser report\x02"
        "1.prn\x01p");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !std::filesystem::exists(path); }, kSafetyNetMs));
    EXPECT_EQ(testsupport::ReadFile(m_daemon->Output("laser")), bytes);
    EXPECT_TRUE(m_recorder.Shown().empty());
}

TEST_F(PrintCtrlTest, UnknownPrinterIsToldThenTheChosenOnePrints) {
    const auto path = PlaceFile("unknown.prn", "page");
    QString offered;
    // The dialog comes up on the scheduler's default printer; OK takes it.
    WhenShown<QPrintDialog>([&](QPrintDialog& dialog) {
        offered = dialog.printer()->printerName();
        dialog.accept();
    });
    m_line->Feed("\x1B[%nowhere unknown.prn\x01p");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !std::filesystem::exists(path); }, kSafetyNetMs));
    EXPECT_EQ(offered, "laser");
    EXPECT_EQ(testsupport::ReadFile(m_daemon->Output("laser")), "page");
    ASSERT_EQ(m_recorder.Shown().size(), 1u);
    EXPECT_EQ(m_recorder.Shown()[0].text, "Error printing to printer: \r\nnowhere");
    EXPECT_EQ(m_recorder.Shown()[0].icon, platform::PromptIcon::Stop);
}

TEST_F(PrintCtrlTest, CancelledPrinterChoiceOffersTheFileAndDeletesItOnRequest) {
    const auto path = PlaceFile("choose.prn", "data");
    bool offered = false;
    WhenShown<QPrintDialog>([&](QPrintDialog& dialog) {
        WhenShown<CFilePrintDeleteDlg>([&](CFilePrintDeleteDlg& offer) {
            offered = offer.Message().startsWith(QString::fromStdString(path.string()));
            offer.findChild<QPushButton*>("deleteButton")->click();
        });
        dialog.reject();
    });
    m_line->Feed("\x1B[%selectprinter choose.prn\x01p");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !std::filesystem::exists(path); }, kSafetyNetMs));
    EXPECT_TRUE(offered);
    EXPECT_FALSE(std::filesystem::exists(m_daemon->Output("laser")));
}

}  // namespace
}  // namespace terminal
