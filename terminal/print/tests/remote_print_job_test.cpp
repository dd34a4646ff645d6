// The print job against a recording spooler: bytes in 512-byte writes, the file deleted only after a printed
// job, the user's printer choice after an unknown printer, and the keep-or-delete choice on every failure.
#include "terminal/print/remote_print_job.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/user_prompt.h"
#include "terminal/print/tests/fake_spooler.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

using platform::PromptIcon;
using platform::PromptRequest;
using testing::FailAt;
using testing::FakePrintJobUi;
using testing::FakeSpooler;
using testing::PatternBytes;
using Status = SpoolOutcome::Status;

class RemotePrintJobTest : public ::testing::Test {
  protected:
    std::filesystem::path PlaceFile(std::size_t size, const std::string& name = "print.prn") {
        const auto path = m_temp.Path() / name;
        testsupport::WriteFile(path, PatternBytes(size));
        return path;
    }

    void Run(const std::filesystem::path& path, std::string printer) {
        CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
        job.SetJob(path, std::move(printer));
        job.RunJob();
    }

    testsupport::TempFolder m_temp;
    std::shared_ptr<FakeSpooler> m_spooler = std::make_shared<FakeSpooler>();
    std::shared_ptr<FakePrintJobUi> m_ui = std::make_shared<FakePrintJobUi>();
    platform::RecordingPrompt m_prompt;
};

TEST_F(RemotePrintJobTest, SendsTheFileUnchangedInChunksOf512AndDeletesIt) {
    struct Case {
        std::size_t size;
        std::vector<std::size_t> chunks;
    };
    for (const Case& c :
         {Case{0, {}}, Case{1, {1}}, Case{512, {512}}, Case{1024, {512, 512}}, Case{1025, {512, 512, 1}}}) {
        SCOPED_TRACE(c.size);
        m_spooler = std::make_shared<FakeSpooler>();
        const auto path = PlaceFile(c.size);
        Run(path, "Back Office");
        const auto records = m_spooler->Records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].printer, "Back Office");
        EXPECT_EQ(records[0].chunks, c.chunks);
        EXPECT_EQ(records[0].bytes, PatternBytes(c.size));
        EXPECT_TRUE(records[0].finished);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_TRUE(m_ui->offers.empty());
        EXPECT_TRUE(m_prompt.Shown().empty());
    }
}

TEST_F(RemotePrintJobTest, DefaultWordInAnyCaseUsesTheSpoolersDefaultPrinter) {
    const auto path = PlaceFile(10);
    Run(path, "moddefaultPRINTER");
    EXPECT_EQ(m_spooler->Opened(), std::vector<std::string>{"Front Desk"});
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, EmptyPrinterLetsTheUserChoose) {
    m_ui->choices = {std::string("Back Office")};
    const auto path = PlaceFile(600);
    Run(path, "");
    EXPECT_EQ(m_ui->choosePrinterCalls, 1);
    EXPECT_EQ(m_spooler->Opened(), std::vector<std::string>{"Back Office"});
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, CancelledChoiceOffersTheFileAndSpoolsNothing) {
    const auto path = PlaceFile(10);
    m_ui->deleteChoice = DeleteChoice::Delete;
    CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
    job.SetJob(path, "");
    EXPECT_EQ(job.Printer(), kCancelledPrinter);
    job.RunJob();
    EXPECT_TRUE(m_spooler->Opened().empty());
    EXPECT_EQ(m_ui->offers, std::vector<std::string>{OfferDeleteMessage(path)});
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, UnknownPrinterShowsTheErrorThenPrintsOnTheChosenOne) {
    m_ui->choices = {std::string("Front Desk")};
    const auto path = PlaceFile(1024);
    Run(path, "Nowhere");
    PromptRequest expected;
    expected.text = "Error printing to printer: \r\nNowhere";
    expected.icon = PromptIcon::Stop;
    expected.systemModal = true;
    EXPECT_EQ(m_prompt.Shown(), std::vector<PromptRequest>{expected});
    EXPECT_EQ(m_spooler->Opened(), (std::vector<std::string>{"Nowhere", "Front Desk"}));
    ASSERT_EQ(m_spooler->Records().size(), 1u);
    EXPECT_EQ(m_spooler->Records()[0].bytes, PatternBytes(1024));
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, UnknownPrintersUntilTheUserCancelsThenTheFileIsOffered) {
    m_ui->choices = {std::string("Also Nowhere"), std::nullopt};
    const auto path = PlaceFile(10);
    Run(path, "Nowhere");
    EXPECT_EQ(m_prompt.Texts(), (std::vector<std::string>{"Error printing to printer: \r\nNowhere",
                                                          "Error printing to printer: \r\nAlso Nowhere",
                                                          path.string() + "\n\nWas not deleted"}));
    EXPECT_EQ(m_ui->offers.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, NoDefaultPrinterIsAnUnknownPrinter) {
    m_spooler->defaultPrinter.clear();
    m_ui->choices = {std::string("Back Office")};
    const auto path = PlaceFile(10);
    Run(path, std::string(kDefaultPrinterWord));
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"Error printing to printer: \r\n"});
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, FailuresKeepTheFileWithdrawTheJobAndOfferIt) {
    for (FailAt failAt : {FailAt::Start, FailAt::Write, FailAt::Finish}) {
        SCOPED_TRACE(static_cast<int>(failAt));
        m_spooler = std::make_shared<FakeSpooler>();
        m_spooler->failures["Front Desk"] = failAt;
        m_ui = std::make_shared<FakePrintJobUi>();
        m_prompt.Clear();
        const auto path = PlaceFile(1500);
        std::vector<std::string> log;
        CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
        job.SetLogger([&](std::string_view line) { log.emplace_back(line); });
        job.SetJob(path, "Front Desk");
        job.RunJob();
        ASSERT_EQ(m_spooler->Records().size(), 1u);
        EXPECT_TRUE(m_spooler->Records()[0].withdrawn);
        EXPECT_EQ(m_ui->offers, std::vector<std::string>{OfferDeleteMessage(path)});
        EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{path.string() + "\n\nWas not deleted"});
        EXPECT_EQ(testsupport::ReadFile(path), PatternBytes(1500));
        ASSERT_EQ(log.size(), 1u);
        const char* expected = failAt == FailAt::Start   ? "Error Starting Document on Printer \"Front Desk\""
                               : failAt == FailAt::Write ? "Error Writing to Printer \"Front Desk\""
                                                         : "did not complete";
        EXPECT_NE(log[0].find(expected), std::string::npos) << log[0];
    }
}

TEST_F(RemotePrintJobTest, TheUsersAnswerDecidesAboutTheFile) {
    struct Case {
        DeleteChoice choice;
        bool kept;
        std::string shown;  // with "%s" for the path
    };
    for (const Case& c :
         {Case{DeleteChoice::Delete, false, ""}, Case{DeleteChoice::Keep, true, "%s\n\nWas not deleted"},
          Case{DeleteChoice::NotShown, true, "File Print Delete Dialog Box could not be created"}}) {
        SCOPED_TRACE(static_cast<int>(c.choice));
        m_spooler->failures["Front Desk"] = FailAt::Finish;
        m_ui->deleteChoice = c.choice;
        m_prompt.Clear();
        const auto path = PlaceFile(5);
        Run(path, "Front Desk");
        EXPECT_EQ(std::filesystem::exists(path), c.kept);
        std::string shown = c.shown;
        if (const auto at = shown.find("%s"); at != std::string::npos) {
            shown.replace(at, 2, path.string());
        }
        EXPECT_EQ(m_prompt.Texts(),
                  shown.empty() ? std::vector<std::string>{} : std::vector<std::string>{shown});
    }
}

TEST_F(RemotePrintJobTest, OfferTextNamesTheFile) {
    EXPECT_EQ(
        OfferDeleteMessage("/tmp/x/print.prn"),
        "/tmp/x/print.prn\r\nmay not have printed properly.\r\n\r\n\r\nDelete file from local machine?");
}

TEST_F(RemotePrintJobTest, MissingFileIsOfferedWithoutTouchingTheSpooler) {
    const auto path = m_temp.Path() / "gone.prn";
    Run(path, "Front Desk");
    EXPECT_TRUE(m_spooler->Opened().empty());
    EXPECT_EQ(m_ui->offers, std::vector<std::string>{OfferDeleteMessage(path)});
}

TEST_F(RemotePrintJobTest, StoppedSpoolKeepsTheFileWithoutAskingAnyone) {
    const auto path = PlaceFile(2000);
    CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
    job.SetJob(path, "Front Desk");
    std::stop_source stop;
    stop.request_stop();
    const SpoolOutcome outcome = job.Spool(stop.get_token());
    EXPECT_EQ(outcome.status, Status::Stopped);
    EXPECT_FALSE(job.Conclude(outcome));
    EXPECT_TRUE(m_spooler->Records().empty() || m_spooler->Records()[0].withdrawn);
    EXPECT_TRUE(m_ui->offers.empty());
    EXPECT_TRUE(m_prompt.Shown().empty());
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(RemotePrintJobTest, ConcludeAsksToSpoolAgainOnlyAfterAnUnknownPrinter) {
    m_ui->choices = {std::string("Back Office")};
    const auto path = PlaceFile(5);
    CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
    job.SetJob(path, "Nowhere");
    ASSERT_TRUE(job.ReadyToSpool());
    const SpoolOutcome unknown = job.Spool();
    EXPECT_EQ(unknown.status, Status::UnknownPrinter);
    EXPECT_TRUE(job.Conclude(unknown));
    EXPECT_EQ(job.Printer(), "Back Office");
    ASSERT_TRUE(job.ReadyToSpool());
    const SpoolOutcome printed = job.Spool();
    EXPECT_EQ(printed.status, Status::Printed);
    EXPECT_FALSE(job.Conclude(printed));
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace terminal
