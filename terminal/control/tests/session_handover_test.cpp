// The detach hand-over with the real pipes and the stand-in hosts: a control destroyed while connected
// leaves the host's session running, a control re-created in this process reads and writes on, and a
// teardown that cannot hand over ends the host's session.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostlink/tests/local_standin.h"

#include "hostlink/tests/remote_standin.h"
#include "platform/process_environment.h"
#include "platform/user_prompt.h"
#include "terminal/control/quillet_session.h"
#include "terminal/control/tests/session_fakes.h"
#include "testsupport/test_support.h"

namespace terminal {
namespace {

namespace fs = std::filesystem;
using hostlink::testing::StandinRun;
using testing::FakeControl;

constexpr std::string_view kGreetingEnd = "Type /quit to end the session.\r\n";

// The build names the stand-in hosts these sessions run against.
std::optional<fs::path> StandinSorel() {
    return fs::path(CARROWLINE_STANDIN_SOREL);
}

class SessionHandOverTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        const std::optional<fs::path> standin = StandinSorel();
        if (!standin) {
            GTEST_SKIP() << "standin-sorel is not built";
        }
        m_runtime = m_temp.Path() / "run";
        m_progs = m_temp.Path() / "progs";
        m_data = m_temp.Path() / "data";
        for (const fs::path& folder : {m_runtime, m_progs, m_data}) {
            fs::create_directories(folder);
        }
        fs::permissions(m_runtime, fs::perms::owner_all);
        m_env.Set("XDG_RUNTIME_DIR", m_runtime.string());
        fs::create_symlink(*standin, m_progs / "sorel");
        m_record = m_temp.Path() / "record.txt";
        platform::ClearProcessVariables();
        platform::SetProcessVariable("CARROWLINE_STANDIN_RECORD", m_record.string());
        m_scopedPrompt.emplace(m_prompt);

        m_props.m_Connector = "local";
        m_props.m_LocalDataSet = m_data.string();
        m_props.m_LocalSorelProgs = m_progs.string();
        m_props.m_AuthSorelUser = 7;
        m_props.m_AuthSorelPassword = "pw";
    }
    void TearDown() override {
        m_session.reset();
        m_scopedPrompt.reset();
        platform::ClearProcessVariables();
        RegistryTest::TearDown();
    }

    CQuilletSession& Session(FakeControl& control) {
        m_session = std::make_unique<CQuilletSession>(control, m_props);  // the host link's own pipes
        return *m_session;
    }
    static void Type(CQuilletSession& session, std::string_view text) {
        SenderMessage message;
        message.bytes.assign(text.begin(), text.end());
        ASSERT_TRUE(session.Poster().Post(std::move(message)));
    }
    static bool Shows(FakeControl& control, std::string_view text) {
        return control.PumpUntil([&] { return control.HostDataSeen().find(text) != std::string::npos; });
    }
    // Connects a session for `control`, has "one\r" echoed, then drops the session, which leaves the host's
    // session behind: its reader waits in Read and is woken.
    void ConnectTypeOneAndDrop(FakeControl& control) {
        CQuilletSession& session = Session(control);
        ASSERT_EQ(session.Connect(), 0) << ::testing::PrintToString(m_prompt.Texts());
        ASSERT_TRUE(Shows(control, kGreetingEnd));
        Type(session, "one\r");
        ASSERT_TRUE(Shows(control, "one\r"));
        m_session.reset();
    }
    std::vector<StandinRun> Runs() const { return hostlink::testing::ReadStandinRecord(m_record); }

    fs::path m_runtime;
    fs::path m_progs;
    fs::path m_data;
    fs::path m_record;
    QuilletProperties m_props;
    platform::RecordingPrompt m_prompt;
    std::optional<platform::ScopedDefaultPrompt> m_scopedPrompt;
    std::unique_ptr<CQuilletSession> m_session;
};

TEST_F(SessionHandOverTest, AReCreatedControlReadsAndWritesOnTheSameHostProgram) {
    FakeControl first;
    ASSERT_NO_FATAL_FAILURE(ConnectTypeOneAndDrop(first));
    const std::vector<StandinRun> runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    const pid_t host = runs[0].pid;
    EXPECT_EQ(::kill(host, 0), 0) << "the host program ended with the control";
    EXPECT_FALSE(runs[0].exitCode.has_value());

    FakeControl second;
    CQuilletSession& session = Session(second);
    ASSERT_EQ(session.ReConnect(), 0) << ::testing::PrintToString(m_prompt.Texts());
    EXPECT_EQ(second.Count("show restored"), 1);
    Type(session, "two\r");
    ASSERT_TRUE(Shows(second, "two\r"));
    EXPECT_EQ(second.HostDataSeen(), "two\r") << "the new control sees only what came after the hand-over";

    // Ending this session ends the host program's input.
    session.Disconnect(false, false);
    EXPECT_TRUE(hostlink::testing::WaitUntilReaped(host));
    ASSERT_EQ(Runs().size(), 1u);
    EXPECT_EQ(Runs()[0].received, "one\rtwo\r");
    EXPECT_TRUE(Runs()[0].exitCode.has_value());
    EXPECT_TRUE(m_prompt.Texts().empty()) << ::testing::PrintToString(m_prompt.Texts());
}

TEST_F(SessionHandOverTest, AControlThatCannotLeaveADetachRecordEndsTheHostsSession) {
    fs::permissions(m_runtime, fs::perms::all);  // a folder others may write is refused
    FakeControl control;
    {
        CQuilletSession& session = Session(control);
        ASSERT_EQ(session.Connect(), 0) << ::testing::PrintToString(m_prompt.Texts());
        ASSERT_TRUE(Shows(control, kGreetingEnd));
        m_session.reset();
    }
    EXPECT_EQ(m_prompt.Texts(), std::vector<std::string>{"Error opening detach file"});
    const std::vector<StandinRun> runs = Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_TRUE(hostlink::testing::WaitUntilReaped(runs[0].pid)) << "the host program was left running";
}

// Over TLS to a remote host, with HostIsTrans off: the connection and the TLS session go to the next control.
TEST_F(SessionHandOverTest, AReCreatedControlCarriesTheRemoteSessionOn) {
    hostlink::testing::StandinHost host({});
    ASSERT_NE(host.Port(), 0);
    m_props.m_Connector = "remote";
    m_props.m_RemoteHost = "127.0.0.1";
    m_props.m_RemotePort = static_cast<int16_t>(host.Port());
    m_props.m_RemoteDataSet = "/data/main";
    m_props.m_RemoteSorelProgs = "/progs";
    m_props.m_AuthOsUser = "ann";
    m_props.m_AuthOsPassword = "pw1";
    m_props.m_HostIsTrans = false;

    FakeControl first;
    ASSERT_NO_FATAL_FAILURE(ConnectTypeOneAndDrop(first));

    FakeControl second;
    CQuilletSession& session = Session(second);
    ASSERT_EQ(session.ReConnect(), 0) << ::testing::PrintToString(m_prompt.Texts());
    Type(session, "two\r");
    ASSERT_TRUE(Shows(second, "two\r"));
    EXPECT_EQ(second.HostDataSeen(), "two\r");
    m_props.m_HostIsTrans = true;  // this one ends the session for good
    session.HostIsTransChanged();
    session.Disconnect(false, false);
    EXPECT_TRUE(m_prompt.Texts().empty()) << ::testing::PrintToString(m_prompt.Texts());
}

}  // namespace
}  // namespace terminal
