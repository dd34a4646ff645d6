// Print jobs through a real scheduler that each test starts on a private socket: the bytes arrive unchanged,
// the file goes only after the job completed, and queues that cannot print leave the file and no job behind.
#include "terminal/print/cups_spooler.h"

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/user_prompt.h"
#include "terminal/print/remote_print_job.h"
#include "terminal/print/tests/fake_spooler.h"
#include "testsupport/cups_daemon.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

using testing::FakePrintJobUi;
using testing::PatternBytes;
using testsupport::CupsDaemon;
using Device = CupsDaemon::Device;

class CupsSpoolerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto missing = testsupport::CupsdMissing()) {
            GTEST_SKIP() << *missing;
        }
        m_daemon = std::make_unique<CupsDaemon>(
            std::vector<CupsDaemon::Queue>{
                {"laser"},
                {"label"},
                {"paused", Device::Capture, /*stopped=*/true},
                {"closed", Device::Capture, false, /*accepting=*/false},
                {"jammed", Device::Unwritable, false, true, "abort-job"},
                {"jammed_retry", Device::Unwritable, false, true, "retry-job"},
                {"jammed_stop", Device::Unwritable, false, true, "stop-printer"},
                {"slow", Device::SlowCapture},
            },
            "label");
        ASSERT_TRUE(m_daemon->Running());
        CupsSpooler::Options options;
        options.server = m_daemon->Socket();
        options.printLimit = std::chrono::seconds(20);
        m_spooler = std::make_shared<CupsSpooler>(options);
    }

    std::filesystem::path PlaceFile(std::size_t size) {
        const auto path = m_temp.Path() / ("job" + std::to_string(++m_files) + ".prn");
        testsupport::WriteFile(path, PatternBytes(size));
        return path;
    }

    void Run(const std::filesystem::path& path, std::string printer) {
        CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
        job.SetLogger([this](std::string_view line) { m_log += std::string(line) + "\n"; });
        job.SetJob(path, std::move(printer));
        job.RunJob();
    }

    // Jobs of `queue` that are still pending, held or printing.
    int ActiveJobs(const std::string& queue) const {
        http_t* http = httpConnect2(m_daemon->Socket().c_str(), ippPort(), nullptr, AF_UNSPEC,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, 10000, nullptr);
        if (http == nullptr) {
            ADD_FAILURE() << "cannot reach the scheduler";
            return -1;
        }
        cups_job_t* jobs = nullptr;
        const int count = cupsGetJobs2(http, &jobs, queue.c_str(), 0, CUPS_WHICHJOBS_ACTIVE);
        cupsFreeJobs(count, jobs);
        httpClose(http);
        return count;
    }

    testsupport::TempFolder m_temp;
    std::unique_ptr<CupsDaemon> m_daemon;
    std::shared_ptr<CupsSpooler> m_spooler;
    std::shared_ptr<FakePrintJobUi> m_ui = std::make_shared<FakePrintJobUi>();
    platform::RecordingPrompt m_prompt;
    std::string m_log;
    int m_files = 0;
};

TEST_F(CupsSpoolerTest, FilesArriveByteForByteAndAreDeleted) {
    for (std::size_t size : {0u, 1u, 512u, 1024u, 1025u, 70000u}) {
        SCOPED_TRACE(size);
        m_ui->offers.clear();
        m_prompt.Clear();
        m_log.clear();
        std::filesystem::remove(m_daemon->Output("laser"));
        const auto path = PlaceFile(size);
        Run(path, "laser");
        EXPECT_EQ(testsupport::ReadFile(m_daemon->Output("laser")), PatternBytes(size)) << m_log;
        EXPECT_FALSE(std::filesystem::exists(path)) << m_log;
        EXPECT_TRUE(m_ui->offers.empty());
        EXPECT_TRUE(m_prompt.Shown().empty());
    }
}

TEST_F(CupsSpoolerTest, DefaultPrinterIsTheSchedulersDefaultQueue) {
    EXPECT_EQ(m_spooler->DefaultPrinter(), "label");
    const auto path = PlaceFile(300);
    Run(path, "MODDEFAULTPRINTER");
    EXPECT_EQ(testsupport::ReadFile(m_daemon->Output("label")), PatternBytes(300)) << m_log;
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CupsSpoolerTest, UnknownPrinterLeadsToTheChoiceAndPrintsThere) {
    m_ui->choices = {std::string("laser")};
    const auto path = PlaceFile(1025);
    Run(path, "no_such_queue");
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"Error printing to printer: \r\nno_such_queue"});
    EXPECT_EQ(m_ui->choosePrinterCalls, 1);
    EXPECT_EQ(testsupport::ReadFile(m_daemon->Output("laser")), PatternBytes(1025)) << m_log;
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(CupsSpoolerTest, QueuesThatCannotPrintKeepTheFileAndLeaveNoJob) {
    for (const char* queue : {"paused", "closed", "jammed", "jammed_retry", "jammed_stop"}) {
        SCOPED_TRACE(queue);
        m_ui->offers.clear();
        m_prompt.Clear();
        const auto path = PlaceFile(2000);
        Run(path, queue);
        EXPECT_EQ(testsupport::ReadFile(path), PatternBytes(2000));
        EXPECT_EQ(m_ui->offers, std::vector<std::string>{OfferDeleteMessage(path)}) << m_log;
        EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{path.string() + "\n\nWas not deleted"});
        // Withdrawn, so that it cannot print later next to a copy the user prints again.
        EXPECT_EQ(ActiveJobs(queue), 0);
        EXPECT_FALSE(std::filesystem::exists(m_daemon->Output(queue)));
    }
}

TEST_F(CupsSpoolerTest, JobStillPrintingAtTheLimitKeepsTheFileAndStaysQueued) {
    CupsSpooler::Options options;
    options.server = m_daemon->Socket();
    options.printLimit = std::chrono::milliseconds(300);
    m_spooler = std::make_shared<CupsSpooler>(options);
    const auto path = PlaceFile(100);
    Run(path, "slow");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(m_ui->offers.size(), 1u);
    EXPECT_NE(m_log.find("has not printed"), std::string::npos) << m_log;
    EXPECT_EQ(ActiveJobs("slow"), 1);
}

TEST_F(CupsSpoolerTest, StopEndsTheWaitAndKeepsTheFile) {
    const auto path = PlaceFile(100);
    CRemotePrintJob job(m_spooler, m_ui, &m_prompt);
    job.SetJob(path, "slow");
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.request_stop();
    });
    const auto started = std::chrono::steady_clock::now();
    const SpoolOutcome outcome = job.Spool(stop.get_token());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(outcome.status, SpoolOutcome::Status::Stopped);
    EXPECT_FALSE(job.Conclude(outcome));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_TRUE(m_ui->offers.empty());
}

TEST_F(CupsSpoolerTest, UnreachableSchedulerIsAnUnknownPrinter) {
    CupsSpooler::Options options;
    options.server = (m_temp.Path() / "no.sock").string();
    CupsSpooler spooler(options);
    std::string why;
    EXPECT_EQ(spooler.Open("laser", why), nullptr);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(spooler.DefaultPrinter(), "");
}

}  // namespace
}  // namespace terminal
