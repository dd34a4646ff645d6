// The control on the real local pipe against the stand-in host program, where the host keeps it waiting:
// the download tool's slow or missing sync while the window goes on painting and can be closed, and a host
// that stops reading while keys are typed, which must neither freeze the window nor reorder the keys, and
// whose control still goes away at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/local_pipe.h"
#include "hostlink/tests/local_standin.h"
#include "hostlink/tests/remote_standin.h"
#include "platform/process_environment.h"
#include "platform/user_prompt.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/tests/ctrl_test_support.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "testsupport/paint_counter.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using hostlink::testing::StandinRun;
using testing::kCtrlWaitMs;

// Stops a process for as long as it lives, so that the host reads nothing. Should the test hang on the
// host, the watchdog lets the host go on after a while, so that the hang shows as a failure, not a
// test stuck until CTest kills it.
class StoppedHost {
  public:
    explicit StoppedHost(pid_t pid) : m_pid(pid) {
        ::kill(m_pid, SIGSTOP);
        m_watchdog = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_ended.wait_for(lock, std::chrono::seconds(20), [this] { return m_resumed; })) {
                m_fired = true;
                ::kill(m_pid, SIGCONT);
            }
        });
    }
    ~StoppedHost() { Resume(); }
    void Resume() {
        {
            std::lock_guard lock(m_mutex);
            if (m_resumed) {
                return;
            }
            m_resumed = true;
        }
        m_ended.notify_all();
        m_watchdog.join();
        ::kill(m_pid, SIGCONT);
    }
    // True when the host had to be let go because the test did not get on.
    bool WatchdogFired() {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

  private:
    pid_t m_pid;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_resumed = false;
    bool m_fired = false;
    std::thread m_watchdog;
};

class WaitingHostCtrlTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_progs = m_temp.Path() / "progs";
        m_data = m_temp.Path() / "data";
        fs::create_directories(m_progs);
        fs::create_directories(m_data);
        for (const char* name : {"sorel", "dload"}) {
            fs::create_symlink(CARROWLINE_STANDIN_SOREL, m_progs / name);
        }
        Reg().SetValue(platform::HKey::LocalMachine, suite::ServerKey(suite::ClientMode::Local), "SorelProgs",
                       platform::RegValue::String(m_progs.string()));
        platform::ClearProcessVariables();
        platform::SetProcessVariable("CARROWLINE_STANDIN_RECORD", (m_temp.Path() / "record.txt").string());
        platform::SetProcessVariable("CARROWLINE_STANDIN_SCRIPT", (m_temp.Path() / "script.txt").string());

        m_frame = std::make_unique<QWidget>();
        m_control = std::make_shared<CQuilletCtrl>();
        m_window = m_control->Window();
        m_window->setParent(m_frame.get());
        m_window->resize(820, 600);
        m_frame->resize(820, 600);
        m_frame->show();
        QuilletProperties& props = m_control->Properties();
        props.m_Connector = "local";
        props.m_LocalDataSet = m_data.string();
        props.m_LocalSorelProgs = m_progs.string();
        props.m_AuthSorelUser = 7;
        props.m_AuthSorelPassword = "pw";
        props.m_Toolbars = false;
    }
    void TearDown() override {
        m_control.reset();
        m_frame.reset();
        platform::ClearProcessVariables();
        RegistryTest::TearDown();
    }

    void Script(const std::string& text) { testsupport::WriteFile(m_temp.Path() / "script.txt", text); }
    std::vector<StandinRun> Runs() const {
        return hostlink::testing::ReadStandinRecord(m_temp.Path() / "record.txt");
    }
    StandinRun HostRun() const {
        const std::vector<StandinRun> runs = Runs();
        return runs.empty() ? StandinRun{} : runs.front();
    }
    pid_t HostPid() {
        auto* pipe = dynamic_cast<hostlink::CLocalPipe*>(m_control->Session().Pipe());
        return pipe != nullptr ? pipe->ChildPid() : -1;
    }
    std::string Screen() const { return m_control->GetScreenBuffer(); }

    fs::path m_progs;
    fs::path m_data;
    platform::RecordingPrompt m_recorder;
    platform::ScopedDefaultPrompt m_prompt{m_recorder};
    std::unique_ptr<QWidget> m_frame;
    std::shared_ptr<CQuilletCtrl> m_control;
    QWidget* m_window = nullptr;
};

// ---- The download tool's sync ----

enum class SyncEnd { ToolAnswers, FrameDeleted, ApplicationQuits };
struct SyncCase {
    const char* name;
    const char* script;
    SyncEnd end;
};

void PrintTo(const SyncCase& c, std::ostream* out) {
    *out << c.name;
}

class DownloadSyncCtrlTest : public WaitingHostCtrlTest, public ::testing::WithParamInterface<SyncCase> {};

TEST_P(DownloadSyncCtrlTest, TheWindowPaintsWhileTheToolIsAwaitedAndClosingEndsTheWait) {
    const SyncCase& c = GetParam();
    Script(c.script);
    m_control->Properties().m_RunProgram = "dload -pipelogin2";
    testsupport::PaintCounter paints;
    m_window->installEventFilter(&paints);

    // Turns of the window thread during the open; the twentieth ends the wait the case's way.
    int ticks = 0;
    bool connectReturned = false;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (connectReturned) {
            return;
        }
        ++ticks;
        if (m_window != nullptr) {
            m_window->update();
        }
        if (ticks == 20 && c.end == SyncEnd::FrameDeleted) {
            m_window = nullptr;
            m_frame.reset();
        } else if (ticks == 20 && c.end == SyncEnd::ApplicationQuits) {
            QCoreApplication::exit(0);
        }
    });
    ticker.start(20);
    const int32_t result = m_control->Session().Connect();
    connectReturned = true;
    ticker.stop();
    if (c.end == SyncEnd::ApplicationQuits) {
        // Until the application's loop runs again, every event loop would end at once.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
    }
    if (m_window != nullptr) {
        m_window->removeEventFilter(&paints);
    }

    EXPECT_GE(ticks, 20) << "the window thread was held while the tool was awaited";
    EXPECT_GT(paints.m_paints, 0) << "the window did not paint during the wait";
    if (c.end == SyncEnd::ToolAnswers) {
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(m_recorder.Shown().empty()) << ::testing::PrintToString(m_recorder.Texts());
        ASSERT_TRUE(m_control->Session().HasPipe());
        m_control->Send("/quit\r");
        ASSERT_TRUE(QTest::qWaitFor([&] { return HostRun().exitCode.has_value(); }, kCtrlWaitMs));
        EXPECT_EQ(HostRun().login, "accepted");
        EXPECT_EQ(HostRun().loginLines, (std::vector<std::string>{"0", "7", "pw", "", ""}));
        EXPECT_EQ(HostRun().received, "0\n7\npw\n\n\n/quit\r");
    } else {
        // The open fails as it does for a tool that never answers, and nothing is left running.
        EXPECT_EQ(result, 1);
        EXPECT_FALSE(m_control->Session().HasPipe());
        EXPECT_EQ(m_recorder.Shown(), (std::vector<platform::PromptRequest>{
                                          {"Error Receiving Dload Sync", "", platform::PromptIcon::Stop}}));
        ASSERT_FALSE(Runs().empty());
        EXPECT_TRUE(hostlink::testing::WaitUntilReaped(HostRun().pid));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ends, DownloadSyncCtrlTest,
    ::testing::Values(SyncCase{"ToolAnswersLate", "sleep 1500\nlogin\necho\n", SyncEnd::ToolAnswers},
                      SyncCase{"FrameDeletedWhileToolIsSilent", "drain\nexit 0\n", SyncEnd::FrameDeleted},
                      SyncCase{"ApplicationQuitsWhileToolIsSilent", "drain\nexit 0\n",
                               SyncEnd::ApplicationQuits}),
    [](const ::testing::TestParamInfo<SyncCase>& info) { return std::string(info.param.name); });

// ---- A host that stops reading ----

enum class Peer { LocalPipe, TlsSocket };

void PrintTo(Peer peer, std::ostream* out) {
    *out << (peer == Peer::LocalPipe ? "LocalPipe" : "TlsSocket");
}

// A session on the local stand-in or the TCP stand-in whose host echoes until "/quit\r"; what the host
// read, in its order, from its record.
class StuckHostCtrlTest : public WaitingHostCtrlTest, public ::testing::WithParamInterface<Peer> {
  protected:
    void TearDown() override {
        WaitingHostCtrlTest::TearDown();
        m_tcpHost.reset();
    }

    void ConnectToEchoingHost() {
        if (GetParam() == Peer::LocalPipe) {
            Script("send \\e[2J\\e[HStuck host\\r\\n\necho\n");
        } else {
            m_input = m_temp.Path() / "input.bin";
            m_tcpHost = std::make_unique<hostlink::testing::StandinHost>(
                std::vector<std::string>{"--input", m_input.string()});
            ASSERT_NE(m_tcpHost->Port(), 0);
            QuilletProperties& props = m_control->Properties();
            props.m_Connector = "remote";
            props.m_RemoteHost = "127.0.0.1";
            props.m_RemotePort = static_cast<int16_t>(m_tcpHost->Port());
            props.m_RemoteDataSet = "/data";
            props.m_RemoteSorelProgs = "/progs";
            props.m_RemoteEnviro = "A=1";
            props.m_AuthOsUser = "ann";
            props.m_AuthOsPassword = "pw1";
        }
        ASSERT_EQ(m_control->Session().Connect(), 0) << ::testing::PrintToString(m_recorder.Texts());
        const std::string greeting = GetParam() == Peer::LocalPipe ? "Stuck host" : "session started";
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Screen().find(greeting) != std::string::npos; }, kCtrlWaitMs))
            << Screen();
    }
    pid_t Host() { return GetParam() == Peer::LocalPipe ? HostPid() : (m_tcpHost ? m_tcpHost->Pid() : -1); }
    std::string Received() const {
        if (GetParam() == Peer::LocalPipe) {
            return HostRun().received;
        }
        std::ifstream in(m_input, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // Writes 512-byte blocks through the window thread's own write until the connection holds no more
    // and the key sender is left inside a write the host does not take; what was written.
    std::string FillTheConnection(CFieldEdit& field) {
        std::string written;
        constexpr std::size_t kMost = 64u << 20;
        for (int i = 0; written.size() < kMost; ++i) {
            const std::string block(512, static_cast<char>('a' + i % 26));
            EXPECT_TRUE(field.Model().KeySender().SendBytes(block));
            written += block;
            if (i % 256 == 255 && StaysWriting(std::chrono::milliseconds(300))) {
                break;
            }
        }
        EXPECT_LT(written.size(), kMost) << "the connection never filled";
        return written;
    }
    // Whether the key sender is inside a write all along `spell`: the write of a live host would end.
    bool StaysWriting(std::chrono::milliseconds spell) {
        const auto until = Clock::now() + spell;
        while (Clock::now() < until) {
            if (!m_control->Session().Pipe()->WriteInProgress()) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    std::unique_ptr<hostlink::testing::StandinHost> m_tcpHost;
    fs::path m_input;
};

TEST_P(StuckHostCtrlTest, NeitherFreezesTheWindowNorReordersTheKeys) {
    ASSERT_NO_FATAL_FAILURE(ConnectToEchoingHost());
    const pid_t host = Host();
    ASSERT_GT(host, 0);
    QWidget* screen = m_control->Terminal();
    auto* field = screen->findChild<CFieldEdit*>();
    ASSERT_NE(field, nullptr);
    std::string expected;
    {
        StoppedHost stopped(host);
        // The block that finds the connection full, and all after it, must go to the key sender rather
        // than keep the window thread waiting for room.
        expected += FillTheConnection(*field);
        // Typed keys, the control's own writes and more keys queue behind, in their order.
        QTest::keyClicks(screen, "xyz");
        m_control->Send("#1");
        QTest::keyClicks(screen, "uvw");
        expected += "xyz#1uvw";

        // The window thread takes its turns while the host reads nothing.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 10; }, kCtrlWaitMs));
        EXPECT_FALSE(stopped.WatchdogFired()) << "the window thread waited for the host";
        EXPECT_LT(Received().size(), expected.size());
    }
    // Once the host reads again, everything arrives, in the order it was written.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received().size() >= expected.size(); }, 4 * kCtrlWaitMs))
        << Received().size() << " of " << expected.size() << " bytes; session "
        << (m_control->Session().HasPipe() ? "live" : "ended") << ", host "
        << (::kill(host, 0) == 0 ? "running" : "gone");
    EXPECT_TRUE(Received() == expected)
        << "the host's bytes differ from what was written, in " << Received().size() << " bytes";
    const CKeySenderThread::Counts counts = m_control->Session().SenderCounts();
    EXPECT_GE(counts.direct, 1u);
    EXPECT_GE(counts.queued, 1u);
    m_control->Send("/quit\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received().ends_with("/quit\r"); }, kCtrlWaitMs));
}

TEST_P(StuckHostCtrlTest, ClosingTheControlEndsTheSessionWithoutTheHost) {
    ASSERT_NO_FATAL_FAILURE(ConnectToEchoingHost());
    const pid_t host = Host();
    ASSERT_GT(host, 0);
    StoppedHost stopped(host);
    FillTheConnection(*m_control->Terminal()->findChild<CFieldEdit*>());
    QTest::keyClicks(m_control->Terminal(), "keys");

    // The control goes while its sender is inside a write the host will never take: the teardown gives
    // the queued keys their time, then wakes the writer and ends the session without the host.
    const auto started = Clock::now();
    m_window = nullptr;
    m_frame.reset();
    m_control.reset();
    const auto took = Clock::now() - started;
    EXPECT_FALSE(stopped.WatchdogFired()) << "the teardown waited for the host";
    EXPECT_LT(took, std::chrono::seconds(15));
    stopped.Resume();
    if (GetParam() == Peer::LocalPipe) {
        // The host sees the end of its input and ends.
        EXPECT_TRUE(hostlink::testing::WaitUntilReaped(host));
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, StuckHostCtrlTest, ::testing::Values(Peer::LocalPipe, Peer::TlsSocket),
                         [](const ::testing::TestParamInfo<Peer>& info) {
                             return std::string(info.param == Peer::LocalPipe ? "LocalPipe" : "TlsSocket");
                         });

}  // namespace
}  // namespace terminal
