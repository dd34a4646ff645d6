// The remote host connection against the stand-in TCP host over loopback TLS: the login lines of every
// kind of session, the STARTTLS exchange and its failures, cancelling, concurrent reads and writes, the
// session record, the system ID, the options, the settings and the error log.
#include "hostlink/remote_pipe.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/remote_log.h"
#include "hostlink/tests/fake_owner.h"
#include "hostlink/tests/reader_wake.h"
#include "hostlink/tests/remote_standin.h"
#include "hostlink/tests/tls_test_server.h"
#include "platform/registry.h"
#include "platform/shared_mapping.h"
#include "platform/user_prompt.h"
#include "practice/practice.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace hostlink {
namespace {

using namespace std::chrono_literals;
using platform::PromptIcon;
using platform::PromptRequest;
using platform::RegValue;
using testing::FakeOwner;
using testing::RecordedLines;
using testing::StandinHost;

constexpr std::string_view kGreetingEnd = "Type /quit to end the session.\r\n";
// Only a safety net: a working cancel returns at once, a broken one waits 30 s or more.
constexpr auto kCancelSafetyNet = 5s;

class RecordingSink : public ProgressSink {
  public:
    void SetPosition(int32_t percent) override {
        std::lock_guard lock(m_mutex);
        m_positions.push_back(percent);
    }
    std::vector<int32_t> Positions() {
        std::lock_guard lock(m_mutex);
        return m_positions;
    }

  private:
    std::mutex m_mutex;
    std::vector<int32_t> m_positions;
};

int ThreadCount() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(dir);
    }
    return count;
}

bool IsOpen(int fd) {
    return ::fcntl(fd, F_GETFD) >= 0;
}

class RemotePipeTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_record = m_temp.Path() / "record.txt";
    }

    // A pipe that connects to 127.0.0.1:`port` with a full set of login values.
    std::unique_ptr<CRemotePipe> MakePipe(uint16_t port) {
        auto pipe = std::make_unique<CRemotePipe>();
        pipe->m_owner = &m_owner;
        pipe->m_host.Assign("127.0.0.1");
        pipe->m_port = port;
        pipe->m_settingsGiven = 1;
        pipe->m_osUser.Assign("ann");
        pipe->m_osPassword.Assign("pw1");
        pipe->m_dataSet.Assign("/data/main");
        pipe->m_programDir.Assign("/progs");
        pipe->m_terminal = 5;
        pipe->m_printer = 2;
        pipe->m_environment.Assign("A=1;B=2");
        pipe->m_terminalId.Assign("T9");
        pipe->m_appUser = 7;
        pipe->m_appPassword.Assign("secret");
        pipe->m_runText.Assign("menu");
        return pipe;
    }

    // Reads until `text` has arrived (the host writes its record before it greets).
    static bool ReadUntil(CRemotePipe& pipe, std::string_view text, std::string* all = nullptr) {
        std::string seen;
        if (!testing::ReadUntilText(pipe, text, seen)) {
            return false;
        }
        if (all != nullptr) {
            *all = seen;
        }
        return true;
    }

    // Logs `pipe` in and has the host echo two records, of which only the first is read: the second waits in
    // the pipe or its socket for whoever reads next.
    void LeaveHalfAnEchoUnread(CRemotePipe& pipe) {
        ASSERT_EQ(pipe.ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
        ASSERT_TRUE(ReadUntil(pipe, kGreetingEnd));
        ASSERT_TRUE(pipe.Write("one\rtwo\r", 8));
        char half[4];
        uint32_t got = 0;
        ASSERT_TRUE(pipe.Read(half, sizeof half, got));
        ASSERT_EQ(std::string(half, got), "one\r");
    }

    std::string LogText() { return testsupport::ReadFile(m_tmp / "varnel.log"); }
    std::vector<std::string> Shown() { return m_prompt.Texts(); }

    FakeOwner m_owner;
    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scopedPrompt{m_prompt};
    std::filesystem::path m_record;
};

// ---- The login lines ----

struct LoginCase {
    const char* name;
    std::function<void(CRemotePipe&)> configure;
    std::vector<std::string> expected;  // "{ID}" and "{VER}" stand for the system ID and version
    int32_t modeAfter;
};

TEST_F(RemotePipeTest, LoginLinesOfEveryKindOfSession) {
    const std::vector<std::string> head = {"ann", "pw1", "/data/main", "/progs", "5", "A=1;B=2"};
    const auto lines = [&](std::string first, std::string command, std::vector<std::string> tail) {
        std::vector<std::string> all{std::move(first)};
        all.insert(all.end(), head.begin(), head.end());
        all.push_back(std::move(command));
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    const std::vector<std::string> pipeLines0 = {"0", "7 {ID}", "secret", "T9", "menu"};
    const auto billing = [](CRemotePipe& p) {
        p.m_billingDataSet.Assign("/data/bill");
        p.m_switch1.Assign("S1");
        p.m_switch4.Assign("S4");
    };
    const std::vector<LoginCase> cases = {
        {"normal session: pipe mode", [](CRemotePipe&) {},
         lines("65664 {ID} {VER}", "sorel -t5 -p2 -pipe", pipeLines0), 0},
        {"billing service",
         [&](CRemotePipe& p) {
             billing(p);
             p.m_flags = flags::kBillingServer;
         },
         lines("130 {ID} {VER}", "sorelserv n -t5 -p2 -pipe", {"/data/bill", "S1", "S4"}), 0},
        {"MSO session",
         [&](CRemotePipe& p) {
             billing(p);
             p.m_flags = flags::kMso;
         },
         lines("132 {ID} {VER}", "msoserv n -t5 -p2 -pipe", {"/data/bill", "S1"}), 0},
        {"run command",
         [](CRemotePipe& p) {
             p.m_flags = flags::kRunCommand;
             p.m_runCommand.Assign("report -x @:tms ");
         },
         lines("136 {ID} {VER}", "report -x -t5 @:tms -noploc", {}), 0},
        {"download tool, second login form",
         [](CRemotePipe& p) {
             p.m_flags = flags::kRunCommand;
             p.m_runCommand.Assign("dload -pipelogin2 file ");
         },
         lines("136 {ID} {VER}", "dload -pipelogin2 file ", pipeLines0), 0},
        {"download tool, sync only",
         [](CRemotePipe& p) {
             p.m_flags = flags::kRunCommand;
             p.m_runCommand.Assign("dload -pipelogin file ");
         },
         lines("136 {ID} {VER}", "dload -pipelogin file ", {}), 0},
        {"WAN mode", [](CRemotePipe& p) { p.m_wanMode = 1; },
         lines("65680 {ID} {VER}", "sorel -t5 -p2 -pipe", pipeLines0), 0},
        {"further window", [](CRemotePipe& p) { p.m_mode = session_mode::kFurtherWindow; },
         lines("65664 {ID} {VER}", "sorel -t5 -p2 -pipe", {"1", "7 {ID}", "secret", "T9", "menu"}), 1},
        {"after a session switch",
         [](CRemotePipe& p) {
             p.m_mode = session_mode::kAfterSwitch;
             p.m_flags = flags::kMso;
         },
         lines("65668 {ID} {VER}", "sorel -t5 -p2 -pipe", {"", "", "2", "7 {ID}", "secret", "T9", "menu"}),
         1},
    };
    for (const LoginCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(m_record);
        StandinHost host({"--record", m_record.string()});
        auto pipe = MakePipe(host.Port());
        c.configure(*pipe);
        ASSERT_EQ(pipe->ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
        ASSERT_TRUE(ReadUntil(*pipe, kGreetingEnd));
        const std::string id = pipe->m_systemId.Str();
        ASSERT_EQ(id.size(), 32u);
        std::vector<std::string> expected;
        for (std::string line : c.expected) {
            for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{ID}", id},
                                              {"{VER}", std::to_string(LoginVersionNumber())}}) {
                if (const std::size_t at = line.find(mark); at != std::string::npos) {
                    line.replace(at, mark.size(), value);
                }
            }
            expected.push_back(line);
        }
        EXPECT_EQ(RecordedLines(m_record), expected);
        EXPECT_EQ(pipe->m_mode, c.modeAfter);
        EXPECT_TRUE(pipe->Tls().IsConnected());
        EXPECT_TRUE(Shown().empty()) << ::testing::PrintToString(Shown());
    }
}

struct CommandCase {
    const char* name;
    int32_t mode;
    int32_t flags;
    int32_t wan;
    int32_t terminal;
    int32_t printer;
    const char* runCommand;
    std::string command;
    int32_t flagsAfter;
};

TEST(RemotePipeCommandLine, HostProgramAndFlags) {
    const std::vector<CommandCase> cases = {
        {"plain session", 0, 0, 0, 3, 4, "", "sorel -t3 -p4 -pipe", 0x10000},
        {"further window wins over billing", 1, 2, 0, 3, 4, "", "sorel -t3 -p4 -pipe", 0x10002},
        {"billing", 0, 2, 0, 3, 4, "", "sorelserv n -t3 -p4 -pipe", 2},
        {"MSO", 0, 4, 0, 3, 4, "", "msoserv n -t3 -p4 -pipe", 4},
        {"WAN", 0, 0, 1, 3, 4, "", "sorel -t3 -p4 -pipe", 0x10010},
        {"run command as given", 0, 8, 0, 3, 4, "prog a ", "prog a ", 8},
        {"-t inserted in front of the first @", 0, 8, 0, 4, 1, "prog x@y @z ", "prog x-t4 @y @z ", 8},
        {"no -t for terminal 0", 0, 8, 0, 0, 1, "prog x@y ", "prog x@y ", 8},
        {"@:tms gets -noploc", 0, 8, 0, 0, 1, "prog @:tms ", "prog @:tms -noploc", 8},
        {"number markers", 0, 8, 0, 6, 7, "prog -t%T -p%P ", "prog -t6 -p7 ", 8},
        {"markers removed for 0", 0, 8, 0, 0, 3, "prog -t%T -p%P ", "prog  -p3 ", 8},
        {"run command in WAN mode", 0, 8, 2, 0, 3, "prog ", "prog ", 0x18},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRemotePipe pipe;
        pipe.m_mode = c.mode;
        pipe.m_flags = c.flags;
        pipe.m_wanMode = c.wan;
        pipe.m_terminal = c.terminal;
        pipe.m_printer = c.printer;
        pipe.m_runCommand.Assign(c.runCommand);
        EXPECT_EQ(pipe.BuildHostCommandLine(), c.command);
        EXPECT_EQ(pipe.m_flags, c.flagsAfter);
    }
}

// ---- Which dialogs ----

struct ModeCase {
    const char* name;
    int32_t flags;
    const char* osUser;
    const char* osPassword;
    int32_t appUser;
    const char* appPassword;
    const char* dataSet;
    const char* billingDataSet;
    const char* runCommand;
    int32_t mode;
};

TEST(RemotePipeConnectionMode, DecisionTable) {
    const std::vector<ModeCase> cases = {
        {"0x20 without OS password", 0x22, "ann", "", 0, "", "a", "a", "", 2},
        {"0x20 without OS user", 0x24, "", "pw", 0, "", "a", "a", "", 2},
        {"0x20, other data set, no app login", 0x22, "ann", "pw", 0, "", "/a", "/b", "", 4},
        {"0x20, other data set, app user only", 0x22, "ann", "pw", 7, "", "/a", "/b", "", 4},
        {"0x20, other data set, app login known", 0x22, "ann", "pw", 7, "s", "/a", "/b", "", 8},
        {"0x20, same data set ignoring case", 0x22, "ann", "pw", 0, "", "/Data", "/dATA", "", 8},
        {"all credentials", 0, "ann", "pw", 7, "s", "", "", "", 8},
        {"app login without OS password", 0, "ann", "", 7, "s", "", "", "", 8},
        {"run command alone", 8, "", "", 0, "", "", "", "prog", 2},
        {"run command with OS login", 8, "ann", "pw", 0, "", "", "", "prog", 8},
        {"run command, flags not exactly 8", 0x108, "", "", 0, "", "", "", "prog", 8},
        {"nothing known", 0, "", "", 0, "", "", "", "", 6},
        {"app login without OS user", 0, "", "", 7, "s", "", "", "", 6},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRemotePipe pipe;
        pipe.m_flags = c.flags;
        pipe.m_osUser.Assign(c.osUser);
        pipe.m_osPassword.Assign(c.osPassword);
        pipe.m_appUser = c.appUser;
        pipe.m_appPassword.Assign(c.appPassword);
        pipe.m_dataSet.Assign(c.dataSet);
        pipe.m_billingDataSet.Assign(c.billingDataSet);
        pipe.m_runCommand.Assign(c.runCommand);
        EXPECT_EQ(pipe.ConnectionMode(), c.mode);
    }
}

// Answers the wizard as told and runs the progress dialog's worker on a thread of its own.
class FakeLoginUi : public RemoteLoginUi {
  public:
    bool RunAuthLogin(RemoteLoginTarget& target, int32_t mode) override {
        m_authModes.push_back(mode);
        if (m_authAnswer) {
            target.SetOsCredentials("wiz", "wpw");
        }
        return m_authAnswer;
    }
    bool RunAutoLogin(RemoteLoginTarget& target) override {
        ++m_autoRuns;
        int32_t result = 1;
        std::thread worker([&] { result = target.ConnectAndLogin(0); });
        worker.join();
        return result == 0;
    }
    bool m_authAnswer = true;
    std::vector<int32_t> m_authModes;
    int m_autoRuns = 0;
};

TEST_F(RemotePipeTest, OpenShowsTheDialogsTheModeNeeds) {
    StandinHost host({});
    {
        // Mode 6 with the wizard cancelled: no connection is tried.
        FakeLoginUi ui;
        ui.m_authAnswer = false;
        CRemotePipe pipe;
        pipe.m_host.Assign("127.0.0.1");
        pipe.m_port = host.Port();
        pipe.SetLoginUi(&ui);
        EXPECT_FALSE(pipe.Open(&m_owner));
        EXPECT_EQ(ui.m_authModes, std::vector<int32_t>{6});
        EXPECT_EQ(ui.m_autoRuns, 0);
        EXPECT_EQ(pipe.Socket(), -1);
    }
    {
        // Mode 2: the wizard's credentials are what the login sends.
        FakeLoginUi ui;
        auto pipe = MakePipe(host.Port());
        pipe->m_flags = flags::kRunCommand;
        pipe->m_runCommand.Assign("prog ");
        pipe->m_osPassword.Clear();
        pipe->SetLoginUi(&ui);
        EXPECT_TRUE(pipe->Open(&m_owner)) << ::testing::PrintToString(Shown());
        EXPECT_EQ(ui.m_authModes, std::vector<int32_t>{2});
        EXPECT_EQ(ui.m_autoRuns, 1);
        EXPECT_EQ(pipe->m_osUser.Str(), "wiz");
        EXPECT_TRUE(ReadUntil(*pipe, kGreetingEnd));
    }
}

TEST_F(RemotePipeTest, OpenWithoutDialogs) {
    m_owner.m_debug = true;
    {
        CRemotePipe pipe;
        EXPECT_FALSE(pipe.Open(&m_owner));
        ASSERT_EQ(m_prompt.Shown().size(), 1u);
        EXPECT_EQ(m_prompt.Shown()[0].icon, PromptIcon::Stop);
        EXPECT_EQ(pipe.Socket(), -1);
    }
    m_prompt.Clear();
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    EXPECT_TRUE(pipe->Open(&m_owner)) << ::testing::PrintToString(Shown());
    EXPECT_TRUE(ReadUntil(*pipe, kGreetingEnd));
    EXPECT_TRUE(Shown().empty());
    const std::string log = LogText();
    EXPECT_NE(log.find(": Connect mode is 6\n"), std::string::npos);
    EXPECT_NE(log.find(": Connect mode is 8\n"), std::string::npos);
    EXPECT_NE(log.find(": About to send login sequence to host\n"), std::string::npos);
    EXPECT_NE(log.find(": Sending pipe-mode information\n"), std::string::npos);
    EXPECT_NE(log.find(": Finished sending login sequence to host\n"), std::string::npos);
    EXPECT_NE(log.find(": Successful connect to remote host\n"), std::string::npos);
}

// ---- STARTTLS ----

TEST_F(RemotePipeTest, ReadyForTlsInPiecesStillLogsIn) {
    StandinHost host({"--split", "--record", m_record.string()});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
    EXPECT_TRUE(ReadUntil(*pipe, kGreetingEnd));
    EXPECT_TRUE(RecordedLines(m_record).has_value());
}

struct RefusedCase {
    const char* name;
    std::vector<std::string> hostArgs;
    std::string logged;
};

TEST_F(RemotePipeTest, StartTlsRefusedSendsNoLoginLine) {
    const std::vector<RefusedCase> cases = {
        {"no READYFORTLS", {"--no-tls"}, "did not answer STARTTLS"},
        {"silent host times out", {"--silent"}, "did not answer STARTTLS"},
        {"text slipped in after the line end", {"--inject", "X"}, "Unexpected bytes after READYFORTLS"},
        {"a second line end", {"--inject", "\\n"}, "Unexpected bytes after READYFORTLS"},
        {"a record header in plain text",
         {"--inject", "\\x16\\x03\\x01"},
         "Unexpected bytes after READYFORTLS"},
    };
    m_owner.m_debug = true;
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_prompt.Clear();
        std::filesystem::remove(m_record);
        std::vector<std::string> args = c.hostArgs;
        args.insert(args.end(), {"--record", m_record.string()});
        {
            StandinHost host(args);
            auto pipe = MakePipe(host.Port());
            pipe->SetStartTlsTimeout(200ms);
            EXPECT_EQ(pipe->ConnectAndLogin(0), 1);
            EXPECT_TRUE(pipe->Aborted());
            EXPECT_FALSE(pipe->Tls().IsConnected());
            EXPECT_EQ(m_prompt.Shown(),
                      (std::vector<PromptRequest>{{"Server Doesn't Support TLS", "", PromptIcon::None}}));
            EXPECT_NE(LogText().find(c.logged), std::string::npos);
        }
        // The host has ended: it never saw a login line.
        EXPECT_FALSE(RecordedLines(m_record).has_value());
    }
}

TEST(RemotePipeStartTlsAnswer, VerdictOfWhatTheHostSent) {
    const std::string limitOfText(kStartTlsAnswerLimit, 'x');
    struct Case {
        const char* name;
        std::string seen;
        StartTlsVerdict verdict;
    };
    const std::vector<Case> cases = {
        {"nothing yet", "", StartTlsVerdict::Waiting},
        {"half the word", "220 hello\r\nREADYFOR", StartTlsVerdict::Waiting},
        {"word without line end", "READYFORTLS", StartTlsVerdict::ReadyIfQuiet},
        {"half a line end", "banner READYFORTLS\r", StartTlsVerdict::ReadyIfQuiet},
        {"word and CR LF", "banner\r\nREADYFORTLS\r\n", StartTlsVerdict::Ready},
        {"word and LF", "READYFORTLS\n", StartTlsVerdict::Ready},
        {"text after the line end", "READYFORTLS\r\nX", StartTlsVerdict::Refused},
        {"a second line end", "READYFORTLS\n\n", StartTlsVerdict::Refused},
        {"text in place of the line end", "READYFORTLS now\r\n", StartTlsVerdict::Refused},
        {"a zero byte before the word", std::string("a\0b", 3) + "READYFORTLS\n", StartTlsVerdict::Ready},
        {"the limit without the word", limitOfText, StartTlsVerdict::Refused},
        {"the word just inside the limit", limitOfText.substr(11) + "READYFORTLS\r\n",
         StartTlsVerdict::Ready},
        {"the word across the limit", limitOfText.substr(10) + "READYFORTLS\r\n", StartTlsVerdict::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StartTlsAnswer answer = JudgeStartTlsAnswer(c.seen);
        EXPECT_EQ(answer.verdict, c.verdict);
        EXPECT_EQ(answer.why.empty(), c.verdict != StartTlsVerdict::Refused) << answer.why;
    }
}

TEST_F(RemotePipeTest, HostRefusalIsShownAsItsText) {
    StandinHost host({"--reject", "Bad user\\r\\r\\nTry again\\r\\r\\n"});
    auto pipe = MakePipe(host.Port());
    EXPECT_EQ(pipe->ConnectAndLogin(0), 1);
    EXPECT_EQ(m_prompt.Shown(),
              (std::vector<PromptRequest>{
                  {"Bad user\r\nTry again\r\n", "", PromptIcon::Stop, platform::PromptButtons::Ok, true}}));
}

TEST_F(RemotePipeTest, RefusalAfterAbortIsNotShown) {
    StandinHost host({"--reject", "Bad user"});
    auto pipe = MakePipe(host.Port());
    pipe->SetAborted();
    EXPECT_EQ(pipe->ConnectAndLogin(0), 1);
    EXPECT_TRUE(Shown().empty()) << ::testing::PrintToString(Shown());
}

// ---- Cancel ----

// Runs ConnectAndLogin on a worker, cancels it from this thread once `ready` says the worker waits, and
// checks that it ends at once, silently, without a thread left.
void CancelWhileWaiting(CRemotePipe& pipe, const std::function<void()>& ready,
                        platform::RecordingPrompt& prompt) {
    std::thread([] {}).join();  // a sanitizer's helper thread starts with the first thread: not ours
    const int threadsBefore = ThreadCount();
    std::promise<int32_t> result;
    std::future<int32_t> done = result.get_future();
    std::thread worker([&] { result.set_value(pipe.ConnectAndLogin(0)); });
    ready();
    pipe.AbortConnect();
    const bool ended = done.wait_for(kCancelSafetyNet) == std::future_status::ready;
    EXPECT_TRUE(ended) << "ConnectAndLogin did not end after AbortConnect";
    if (!ended) {
        pipe.Close();  // the worker was not woken: make it fail so that it can be joined
    }
    worker.join();
    EXPECT_EQ(done.get(), 1);
    EXPECT_TRUE(pipe.Aborted());
    EXPECT_TRUE(prompt.Shown().empty()) << ::testing::PrintToString(prompt.Texts());
    // A joined thread can stay listed in /proc for a moment after join returns.
    const auto limit = std::chrono::steady_clock::now() + 5s;
    while (ThreadCount() > threadsBefore && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_LE(ThreadCount(), threadsBefore);
}

TEST_F(RemotePipeTest, CancelWakesTheStartTlsWait) {
    std::promise<void> asked;
    testing::LoopbackServer server([&](platform::UniqueFd client) {
        char buffer[10] = {};  // "STARTTLS\r\n"
        testing::ReceiveExactly(client.Get(), buffer, sizeof buffer);
        asked.set_value();
        testing::DrainUntilClosed(client.Get());
    });
    auto pipe = MakePipe(server.Port());
    CancelWhileWaiting(
        *pipe, [&] { ASSERT_EQ(asked.get_future().wait_for(20s), std::future_status::ready); }, m_prompt);
    pipe->Close();  // lets the server's handler see the end
}

TEST_F(RemotePipeTest, CancelWakesAHungConnect) {
    // A listener whose queue is full drops further connection requests, so a connect waits for good.
    platform::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener.Get(), 0), 0);
    ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::vector<platform::UniqueFd> fillers;
    for (int n = 0; n < 3; ++n) {
        fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        ::connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    RecordingSink sink;
    auto pipe = MakePipe(ntohs(address.sin_port));
    pipe->SetProgressSink(&sink);
    CancelWhileWaiting(
        *pipe,
        [&] {
            // The socket exists just before the connect starts.
            const auto limit = std::chrono::steady_clock::now() + 20s;
            while (pipe->Socket() < 0 && std::chrono::steady_clock::now() < limit) {
                std::this_thread::yield();
            }
        },
        m_prompt);
    pipe->SetProgressSink(nullptr);
    EXPECT_EQ(sink.Positions(), std::vector<int32_t>{20});
}

TEST_F(RemotePipeTest, CancelBeforeTheWorkerStarts) {
    StandinHost host({"--record", m_record.string()});
    auto pipe = MakePipe(host.Port());
    pipe->AbortConnect();
    EXPECT_EQ(pipe->ConnectAndLogin(0), 1);
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(pipe->Socket(), -1);
}

// ---- One connection, one reader and two writers ----

TEST_F(RemotePipeTest, ConcurrentReaderAndWritersOverTls) {
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
    std::string greeting;
    ASSERT_TRUE(ReadUntil(*pipe, kGreetingEnd, &greeting));
    std::string echoed = greeting.substr(greeting.find(kGreetingEnd) + kGreetingEnd.size());

    std::thread reader([&] {
        char buffer[1024];
        uint32_t got = 0;
        while (pipe->Read(buffer, sizeof buffer, got)) {
            echoed.append(buffer, got);
        }
    });
    constexpr int kBlocks = 300;
    const auto writer = [&](char letter) {
        for (int n = 0; n < kBlocks; ++n) {
            std::string block = std::string(1, letter) + std::to_string(n) + ":";
            block.append(700 + (n % 5) * 300, letter);
            block += "\n";
            ASSERT_TRUE(pipe->Write(block.data(), static_cast<uint32_t>(block.size())));
        }
    };
    std::thread first(writer, 'a');
    std::thread second(writer, 'b');
    first.join();
    second.join();
    ASSERT_TRUE(pipe->Write("/quit\r", 6));  // the host echoes it and ends the session
    reader.join();

    ASSERT_TRUE(echoed.ends_with("/quit\r"));
    echoed.resize(echoed.size() - 6);
    int next[2] = {0, 0};
    std::size_t at = 0;
    while (at < echoed.size()) {
        const std::size_t end = echoed.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = echoed.substr(at, end - at);
        at = end + 1;
        const char letter = line[0];
        ASSERT_TRUE(letter == 'a' || letter == 'b') << line.substr(0, 40);
        const std::size_t colon = line.find(':');
        ASSERT_NE(colon, std::string::npos);
        const int n = std::stoi(line.substr(1, colon - 1));
        EXPECT_EQ(n, next[letter - 'a']++);
        EXPECT_EQ(line.substr(colon + 1), std::string(700 + (n % 5) * 300, letter)) << "blocks mixed";
    }
    EXPECT_EQ(next[0], kBlocks);
    EXPECT_EQ(next[1], kBlocks);
}

TEST_F(RemotePipeTest, HostClosingIsLogged) {
    m_owner.m_debug = true;
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0);
    ASSERT_TRUE(ReadUntil(*pipe, kGreetingEnd));
    ASSERT_TRUE(pipe->Write("/quit\r", 6));
    EXPECT_FALSE(ReadUntil(*pipe, "never sent"));
    EXPECT_EQ(pipe->LastError(), 0);
    EXPECT_NE(LogText().find(": recv() (0): The connection was closed by the remote host\n"),
              std::string::npos);
}

TEST_F(RemotePipeTest, ScriptedSession) {
    testsupport::WriteFile(m_temp.Path() / "session.script",
                           "# a short exchange\n"
                           "send Hello\\r\\n\\e[%Title\\x01O\n"
                           "expect ping\\r\n"
                           "send pong\\r\\n\n"
                           "close\n");
    StandinHost host({"--script", (m_temp.Path() / "session.script").string()});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
    std::string seen;
    ASSERT_TRUE(ReadUntil(*pipe, "\x01O", &seen));
    EXPECT_EQ(seen, "Hello\r\n\x1b[%Title\x01O");
    ASSERT_TRUE(pipe->Write("ping\r", 5));
    ASSERT_TRUE(ReadUntil(*pipe, "pong\r\n"));
    EXPECT_FALSE(ReadUntil(*pipe, "never sent"));
}

TEST_F(RemotePipeTest, ReadAndWriteWithoutConnection) {
    m_owner.m_debug = true;
    CRemotePipe pipe;
    pipe.m_owner = &m_owner;
    char byte = 0;
    uint32_t got = 7;
    EXPECT_FALSE(pipe.Read(&byte, 1, got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(pipe.LastError(), socket_error::kNotSocket);
    EXPECT_FALSE(pipe.Write("x", 1));
    EXPECT_EQ(pipe.LastError(), socket_error::kNotSocket);
    const std::string log = LogText();
    EXPECT_NE(log.find(": recv() (10038): Socket operation on non-socket\n"), std::string::npos);
    EXPECT_NE(log.find(": send() (10038): Socket operation on non-socket\n"), std::string::npos);
}

// ---- Settings from the registry ----

TEST_F(RemotePipeTest, SettingsFromTheRegistry) {
    StandinHost host({"--record", m_record.string()});
    const std::string key = suite::ServerKey(suite::ClientMode::Remote);
    const auto set = [&](std::string_view name, const RegValue& value) {
        ASSERT_EQ(Reg().SetValue(platform::HKey::LocalMachine, key, name, value), 0);
    };
    set("RemoteHost", RegValue::String("127.0.0.1"));
    set("RemoteDataSet", RegValue::String("/reg/data"));
    set("RemoteSorelProgs", RegValue::String("/reg/progs"));
    set("RemotePort", RegValue::Dword(host.Port()));
    set("RemoteTerm", RegValue::Dword(3));
    set("RemotePrinter", RegValue::Dword(4));
    set("RemoteEnviro", RegValue::String("E=1"));
    set("WANMode", RegValue::Dword(1));
    ASSERT_EQ(
        Reg().SetValue(platform::HKey::LocalMachine, suite::kBrantorKey, "KeepAlive", RegValue::Dword(42)),
        0);

    RecordingSink sink;
    CRemotePipe pipe;
    pipe.m_owner = &m_owner;
    pipe.m_osUser.Assign("ann");
    pipe.SetProgressSink(&sink);
    ASSERT_EQ(pipe.ConnectAndLogin(1), 0) << ::testing::PrintToString(Shown());
    pipe.SetProgressSink(nullptr);
    ASSERT_TRUE(ReadUntil(pipe, kGreetingEnd));
    EXPECT_EQ(sink.Positions(), (std::vector<int32_t>{10, 20, 30, 60, 80, 100}));
    EXPECT_EQ(pipe.m_billingDataSet.Str(), "/reg/data");
    in_addr loopback{};
    ::inet_aton("127.0.0.1", &loopback);
    EXPECT_EQ(pipe.m_hostAddress, loopback.s_addr);

    const auto lines = RecordedLines(m_record);
    ASSERT_TRUE(lines.has_value());
    ASSERT_GE(lines->size(), 8u);
    EXPECT_TRUE((*lines)[0].starts_with("65680 "));  // pipe mode, WAN and the wire bit
    EXPECT_EQ(
        std::vector<std::string>(lines->begin() + 1, lines->begin() + 8),
        (std::vector<std::string>{"ann", "", "/reg/data", "/reg/progs", "3", "E=1", "sorel -t3 -p4 -pipe"}));

    int value = 0;
    socklen_t size = sizeof value;
    ASSERT_EQ(::getsockopt(pipe.Socket(), IPPROTO_TCP, TCP_KEEPIDLE, &value, &size), 0);
    EXPECT_EQ(value, 42);
    ASSERT_EQ(::getsockopt(pipe.Socket(), IPPROTO_TCP, TCP_KEEPINTVL, &value, &size), 0);
    EXPECT_EQ(value, 6);
    ASSERT_EQ(::getsockopt(pipe.Socket(), SOL_SOCKET, SO_KEEPALIVE, &value, &size), 0);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(::getsockopt(pipe.Socket(), IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
    EXPECT_EQ(value, 1);
    EXPECT_NE(::fcntl(pipe.Socket(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(RemotePipeTest, MissingRegistrySettingFailsBeforeConnecting) {
    const std::string key = suite::ServerKey(suite::ClientMode::Remote);
    Reg().SetValue(platform::HKey::LocalMachine, key, "RemoteHost", RegValue::String("127.0.0.1"));
    Reg().SetValue(platform::HKey::LocalMachine, key, "RemoteDataSet", RegValue::String("/reg/data"));
    CRemotePipe pipe;
    pipe.m_dataSet.Assign("/mine");
    EXPECT_EQ(pipe.ConnectAndLogin(1), 1);
    EXPECT_EQ(m_prompt.Shown(),
              (std::vector<PromptRequest>{{"Error Loading Network Registry Settings", "", PromptIcon::Stop,
                                           platform::PromptButtons::Ok, true}}));
    EXPECT_EQ(pipe.Socket(), -1);
    EXPECT_EQ(pipe.m_dataSet.Str(), "/mine");  // nothing half-loaded
}

TEST_F(RemotePipeTest, UnixEscKeyOfTheRemoteBranch) {
    CRemotePipe pipe;
    EXPECT_EQ(pipe.GetUnixEscKey(), 1);
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Remote);
    Reg().SetValue(platform::HKey::LocalMachine, suite::ScreenKey(suite::ClientMode::Remote), "UnixEscKey",
                   RegValue::Dword(27));
    suite::SetClientMode(suite::ClientMode::Local);
    EXPECT_EQ(pipe.GetUnixEscKey(), 27);
}

TEST_F(RemotePipeTest, HostNameLookupFailure) {
    CRemotePipe pipe;
    pipe.m_host.Assign("no-such-host.invalid");
    pipe.m_port = 1;
    EXPECT_EQ(pipe.ConnectAndLogin(0), 1);
    EXPECT_EQ(m_prompt.Shown(), (std::vector<PromptRequest>{{"Hostname Lookup Failed", "", PromptIcon::Stop,
                                                             platform::PromptButtons::Ok, true}}));
}

TEST_F(RemotePipeTest, RefusedConnection) {
    uint16_t port = 0;
    {
        testing::LoopbackListener closed;  // a port nobody listens on once this is gone
        port = closed.Port();
    }
    m_owner.m_debug = true;
    auto pipe = MakePipe(port);
    EXPECT_EQ(pipe->ConnectAndLogin(0), 1);
    EXPECT_EQ(m_prompt.Shown(),
              (std::vector<PromptRequest>{{"Error Connecting To Remote Host", "", PromptIcon::Stop,
                                           platform::PromptButtons::Ok, true}}));
    EXPECT_NE(LogText().find("connect() (10061): Connection refused"), std::string::npos);
}

// ---- System ID ----

TEST(RemotePipeSystemId, FormAndPadding) {
    const std::array<uint8_t, 6> adapter = {0x00, 0x1a, 0x2b, 0xc3, 0xd4, 0xef};
    EXPECT_EQ(FormatSystemId(adapter, 123, "10.1.2.3"), "000000000001A2BC3D4EF12310.1.2.3");
    EXPECT_EQ(FormatSystemId(adapter, 2147483647, "192.168.100.200"), "001A2BC3D4EF2147483647192.168.10");
    EXPECT_EQ(FormatSystemId(adapter, 0, ""), "0000000000000000000001A2BC3D4EF0");
    EXPECT_EQ(FormatSystemId(adapter, 5, "0.0.0.0").size(), 32u);
}

TEST(RemotePipeSystemId, DesktopNumberFollowsUserAndDisplay) {
    testsupport::ScopedEnv env;
    env.Set("DISPLAY", ":0");
    const long first = DesktopNumber();
    EXPECT_EQ(DesktopNumber(), first);
    EXPECT_GE(first, 0);
    EXPECT_LE(first, 0x7FFFFFFFL);
    env.Set("DISPLAY", ":1");
    EXPECT_NE(DesktopNumber(), first);
}

class NoAdapterPipe : public CRemotePipe {
  protected:
    std::optional<std::array<uint8_t, 6>> AdapterAddress() const override { return std::nullopt; }
};

TEST_F(RemotePipeTest, SystemIdOfARealConnection) {
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0);
    const std::string id = pipe->m_systemId.Str();
    ASSERT_EQ(id.size(), 32u);
    // Adapter, desktop number and local address, zeros in front when short, cut when long.
    const std::string rest = std::to_string(DesktopNumber()) + "127.0.0.1";
    const std::size_t pad = rest.size() + 12 < 32 ? 32 - 12 - rest.size() : 0;
    EXPECT_EQ(id.substr(0, pad), std::string(pad, '0'));
    EXPECT_EQ(id.substr(pad, 12).find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
    EXPECT_EQ(id.substr(pad + 12), rest.substr(0, 32 - pad - 12));
}

TEST_F(RemotePipeTest, NoAdapterAddressFailsTheLoginOnly) {
    {
        StandinHost host({"--record", m_record.string()});
        NoAdapterPipe pipe;
        pipe.m_host.Assign("127.0.0.1");
        pipe.m_port = host.Port();
        EXPECT_EQ(pipe.ConnectAndLogin(0), 1);
        EXPECT_EQ(m_prompt.Shown(),
                  (std::vector<PromptRequest>{{"Failed to Build System ID", "", PromptIcon::Stop,
                                               platform::PromptButtons::Ok, true}}));
    }
    // Still running, and the host got no login line.
    const auto lines = RecordedLines(m_record);
    EXPECT_TRUE(!lines || lines->empty());
}

// ---- Options ----

struct OptionCase {
    const char* name;
    const char* text;
    bool ok;
    std::function<void(const CRemotePipe&, const FakeOwner&)> check;
};

TEST(RemotePipeOptions, Table) {
    const std::vector<OptionCase> cases = {
        {"empty text", "", true, [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_flags, 0); }},
        {"numbers and credentials", "-t5 -p2 -N9000 -W1 -#7 secret -uann -PWpw -cTERM", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_terminal, 5);
             EXPECT_EQ(p.m_printer, 2);
             EXPECT_EQ(p.m_port, 9000);
             EXPECT_EQ(p.m_wanMode, 1);
             EXPECT_EQ(p.m_appUser, 7);
             EXPECT_EQ(p.m_appPassword.Str(), "secret");
             EXPECT_EQ(p.m_osUser.Str(), "ann");
             EXPECT_EQ(p.m_osPassword.Str(), "pw");
             EXPECT_EQ(p.m_terminalId.Str(), "TERM");
             EXPECT_EQ(p.m_programDir.Str(), "");
         }},
        {"quoted forms", "-D\"/data/x\" -P\"/progs\" -v\"A=1;B=2\" -Dplain", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_dataSet.Str(), "plain");
             EXPECT_EQ(p.m_programDir.Str(), "/progs");
             EXPECT_EQ(p.m_environment.Str(), "A=1;B=2");
         }},
        {"a lone quote", "-D\"", true,
         [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_dataSet.Str(), ""); }},
        {"host option", "-Halpha", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_host.Str(), "alpha");
             EXPECT_EQ(p.m_settingsGiven, 1);
         }},
        {"-h// with a drive", "-h//alpha/C:/data", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_host.Str(), "alpha");
             EXPECT_EQ(p.m_dataSet.Str(), "C:/data");
             EXPECT_EQ(p.m_settingsGiven, 1);
         }},
        {"-h// with a path", "-h//alpha/usr/data", true,
         [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_dataSet.Str(), "/usr/data"); }},
        {"-h// with a bare drive", "-h//alpha/C:", true,
         [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_dataSet.Str(), "/C:"); }},
        {"-h// without a data set", "-Dkeep -h//alpha", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_host.Str(), "alpha");
             EXPECT_EQ(p.m_dataSet.Str(), "keep");
         }},
        {"a bare -h gives no settings", "-Dkeep -h -t3", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_host.Str(), "");
             EXPECT_EQ(p.m_dataSet.Str(), "keep");
             EXPECT_EQ(p.m_settingsGiven, 0);
             EXPECT_EQ(p.m_terminal, 3);
         }},
        {"-h// without a host", "-h///data", false, nullptr},
        {"-h without //", "-halpha", false, nullptr},
        {"billing with and without s", "-b", true,
         [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_flags, 0x22); }},
        {"-bs", "-bs", true, [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_flags, 0x2); }},
        {"-m", "-m", true, [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_flags, 0x24); }},
        {"-ms then from desktop", "-ms -fromdesktop -fother", true,
         [](const CRemotePipe& p, const FakeOwner&) { EXPECT_EQ(p.m_flags, 0x104); }},
        {"run command takes the rest", "-t5 -r dload -pipelogin2 -t9", true,
         [](const CRemotePipe& p, const FakeOwner&) {
             EXPECT_EQ(p.m_flags, 8);
             EXPECT_EQ(p.m_runCommand.Str(), "dload -pipelogin2 -t9 ");
             EXPECT_EQ(p.m_terminal, 5);
         }},
        {"run text and simple", "-dgmenu -w", true,
         [](const CRemotePipe& p, const FakeOwner& o) {
             EXPECT_EQ(p.m_runText.Str(), "gmenu");
             EXPECT_EQ(p.m_mode, 1);
             EXPECT_TRUE(o.m_simple);
             EXPECT_TRUE(o.m_noMenu);
         }},
        {"-simple", "-simple -sother", true,
         [](const CRemotePipe&, const FakeOwner& o) {
             EXPECT_TRUE(o.m_simple);
             EXPECT_FALSE(o.m_noMenu);
         }},
        {"no port", "-N0", false, nullptr},
        {"port too large", "-N70000", false, nullptr},
        {"unknown letter", "-t5 -l", false, nullptr},
        {"not an option", "alpha", false, nullptr},
        {"a lone dash", "-", false, nullptr},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOwner owner;
        CRemotePipe pipe;
        EXPECT_EQ(pipe.ParseOptions(&owner, c.text, false), c.ok);
        if (c.check) {
            c.check(pipe, owner);
        }
    }
}

TEST(RemotePipeOptions, KeepDecidesWhatIsCleared) {
    CRemotePipe pipe;
    pipe.m_appUser = 3;
    pipe.m_appPassword.Assign("pw");
    pipe.m_runCommand.Assign("prog ");
    pipe.m_dataSet.Assign("/data");
    EXPECT_TRUE(pipe.ParseOptions(nullptr, "-t2", true));
    EXPECT_EQ(pipe.m_appUser, 3);
    EXPECT_EQ(pipe.m_runCommand.Str(), "prog ");
    EXPECT_TRUE(pipe.ParseOptions(nullptr, "-t2", false));
    EXPECT_EQ(pipe.m_appUser, 0);
    EXPECT_EQ(pipe.m_appPassword.Str(), "");
    EXPECT_EQ(pipe.m_runCommand.Str(), "");
    EXPECT_EQ(pipe.m_dataSet.Str(), "/data");
}

TEST(RemotePipeOptions, OverLongValuesAreCut) {
    CRemotePipe pipe;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(
        pipe.ParseOptions(nullptr, "-H" + std::string(200, 'h') + " -u" + std::string(90, 'u'), false));
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(pipe.m_host.Str(), std::string(79, 'h'));
    EXPECT_EQ(pipe.m_osUser.Str(), std::string(79, 'u'));
    EXPECT_NE(errors.find("host: text longer than 79 characters, cut"), std::string::npos);
    EXPECT_NE(errors.find("OS user: text longer than 79 characters, cut"), std::string::npos);
}

// ---- Practice and session switches ----

TEST(RemotePipePractice, BillingPracticeAndRunCommand) {
    practice::CPracticeConn conn;
    conn.m_Host = "alpha";
    conn.m_SorelData = "/data/bill";
    conn.m_SorelProgs = "/progs";
    conn.m_PortNumber = 8100;
    conn.m_TerminalNumber = 4;
    conn.m_PrinterNumber = 3;
    conn.m_PracticeType = 2;
    conn.m_WanMode = 1;
    conn.m_BillServID = 77;
    conn.m_Environment.Add({"A", "1"});
    conn.m_Environment.Add({"B", "2"});
    conn.m_Command = "/m1";
    CRemotePipe pipe;
    pipe.ApplyPractice(conn);
    EXPECT_EQ(pipe.m_host.Str(), "alpha");
    EXPECT_EQ(pipe.m_port, 8100);
    EXPECT_EQ(pipe.m_flags, 2);
    EXPECT_EQ(pipe.m_billingDataSet.Str(), "/data/bill");
    EXPECT_EQ(pipe.m_environment.Str(), conn.m_Environment.GetEnvironmentString());
    EXPECT_EQ(pipe.m_BillServID, 77);
    EXPECT_EQ(pipe.m_runText.Str(), "/m1");

    conn.m_RunCommand = 1;
    conn.m_Command = "dload -pipelogin2 ";
    CRemotePipe runner;
    runner.ApplyPractice(conn);
    EXPECT_EQ(runner.m_flags, 8);
    EXPECT_EQ(runner.m_runCommand.Str(), "dload -pipelogin2 ");
    EXPECT_EQ(runner.m_runText.Str(), "");
}

TEST_F(RemotePipeTest, SessionSwitchesSetModeAndFields) {
    CRemotePipe pipe;
    pipe.m_flags = 0x28;
    pipe.m_runCommand.Assign("prog ");
    pipe.SwitchMsoSession("s1", "/data/two", "/data/bill");
    EXPECT_EQ(pipe.m_flags, 0x24);
    EXPECT_EQ(pipe.m_mode, session_mode::kAfterSwitch);
    EXPECT_EQ(pipe.m_dataSet.Str(), "/data/two");
    EXPECT_EQ(pipe.m_switch2.Str(), "/data/two");
    EXPECT_EQ(pipe.m_billingDataSet.Str(), "/data/bill");
    EXPECT_EQ(pipe.m_runCommand.Str(), "");
    EXPECT_EQ(pipe.m_runText.Str(), "/m1");
    EXPECT_EQ(pipe.m_settingsGiven, 1);

    pipe.SwitchBillingSession("a", "b", "c", "d");
    EXPECT_EQ(pipe.m_flags, 0x22);
    EXPECT_EQ(pipe.m_switch4.Str(), "d");

    pipe.SetHost("beta");
    EXPECT_EQ(pipe.m_mode, session_mode::kAfterHostChange);
    pipe.m_flags = 0;
    pipe.StartNewSession("x");
    EXPECT_EQ(pipe.m_mode, session_mode::kAfterHostChange);
    pipe.m_mode = 0;
    pipe.StartNewSession("y");
    EXPECT_EQ(pipe.m_mode, session_mode::kFurtherWindow);
}

// ---- The session record ----

void FillForRecord(CRemotePipe& pipe) {
    pipe.m_mode = 1;
    pipe.m_wanMode = 2;
    pipe.m_settingsGiven = 1;
    pipe.m_runText.Assign("run text");
    pipe.m_terminalId.Assign("TID");
    pipe.m_runCommand.Assign("dload -pipelogin2 ");
    pipe.m_BillServID = 0x01020304;
    pipe.m_switch1.Assign("one");
    pipe.m_switch2.Assign("two");
    pipe.m_billingDataSet.Assign("/bill");
    pipe.m_switch4.Assign("four");
    pipe.m_environment.Assign("E=1");
    pipe.m_host.Assign("alpha");
    ::inet_pton(AF_INET, "10.1.2.3", &pipe.m_hostAddress);
    pipe.m_dataSet.Assign("/data");
    pipe.m_programDir.Assign("/progs");
    pipe.m_port = 0x1F42;
    pipe.m_terminal = 0x0A0B0C0D;
    pipe.m_printer = 6;
    pipe.m_flags = 0x10088;
    pipe.m_osUser.Assign("ann");
    pipe.m_osPassword.Assign("pw");
    pipe.m_appUser = 7;
    pipe.m_appPassword.Assign("secret");
    pipe.m_systemId.Assign(std::string(32, 'S'));
}

std::vector<uint8_t> MappingBytes(const platform::UniqueFd& fd) {
    auto mapping = platform::SharedMapping::OpenFd(fd.Get(), kStateHeaderSize + remote_state::kSize, false);
    if (!mapping) {
        ADD_FAILURE() << "cannot map the session record";
        return {};
    }
    return {mapping->Data(), mapping->Data() + mapping->Size()};
}

TEST(RemotePipeState, RecordBytesAtTheirOffsets) {
    CRemotePipe pipe;
    FillForRecord(pipe);
    const platform::UniqueFd withHeader = pipe.SaveState(true);
    ASSERT_TRUE(withHeader);
    const std::vector<uint8_t> bytes = MappingBytes(withHeader);
    ASSERT_EQ(bytes.size(), 4475u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "remote");
    EXPECT_EQ(std::count(bytes.begin() + 6, bytes.begin() + 80, 0), 74);
    const uint8_t* r = bytes.data() + 80;
    const auto text = [&](std::size_t offset, std::size_t size) {
        return std::string(reinterpret_cast<const char*>(r + offset),
                           ::strnlen(reinterpret_cast<const char*>(r + offset), size));
    };
    EXPECT_EQ(std::vector<uint8_t>(r, r + 16),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(text(16, 80), "run text");
    EXPECT_EQ(text(96, 80), "TID");
    EXPECT_EQ(text(176, 512), "dload -pipelogin2 ");
    EXPECT_EQ(std::vector<uint8_t>(r + 688, r + 692), (std::vector<uint8_t>{4, 3, 2, 1}));
    EXPECT_EQ(text(692, 128), "one");
    EXPECT_EQ(text(820, 512), "two");
    EXPECT_EQ(text(1332, 512), "/bill");
    EXPECT_EQ(text(1844, 128), "four");
    EXPECT_EQ(text(1972, 1024), "E=1");
    EXPECT_EQ(text(2996, 80), "alpha");
    EXPECT_EQ(std::vector<uint8_t>(r + 3076, r + 3080), (std::vector<uint8_t>{10, 1, 2, 3}));
    EXPECT_EQ(text(3080, 512), "/data");
    EXPECT_EQ(text(3592, 512), "/progs");
    EXPECT_EQ(std::vector<uint8_t>(r + 4104, r + 4118),
              (std::vector<uint8_t>{0x42, 0x1F, 0x0D, 0x0C, 0x0B, 0x0A, 6, 0, 0, 0, 0x88, 0, 1, 0}));
    EXPECT_EQ(text(4118, 80), "ann");
    EXPECT_EQ(text(4198, 80), "pw");
    EXPECT_EQ(std::vector<uint8_t>(r + 4278, r + 4282), (std::vector<uint8_t>{7, 0, 0, 0}));
    EXPECT_EQ(text(4282, 80), "secret");
    EXPECT_EQ(text(4362, 33), std::string(32, 'S'));

    const platform::UniqueFd bare = pipe.SaveState(false);
    const std::vector<uint8_t> plain = MappingBytes(bare);
    ASSERT_GE(plain.size(), remote_state::kSize);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + remote_state::kSize, bytes.begin() + 80));
}

TEST(RemotePipeState, LoadStateRoundTripAndHandles) {
    CRemotePipe source;
    FillForRecord(source);
    {
        platform::UniqueFd state = source.SaveState(false);
        const int handle = state.Release();
        CRemotePipe copy;
        ASSERT_TRUE(copy.LoadState(handle, 0, std::nullopt));
        EXPECT_FALSE(IsOpen(handle));  // closed, once
        const platform::UniqueFd again = copy.SaveState(false);
        const platform::UniqueFd original = source.SaveState(false);
        EXPECT_EQ(MappingBytes(again), MappingBytes(original));
        EXPECT_EQ(copy.Socket(), -1);
    }
    {
        // Through -x as the new window's options give it.
        platform::UniqueFd state = source.SaveState(false);
        CRemotePipe copy;
        ASSERT_TRUE(copy.ParseOptions(nullptr, "-x" + std::to_string(state.Release()), false));
        EXPECT_EQ(copy.m_host.Str(), "alpha");
        EXPECT_EQ(copy.m_mode, 1);
    }
    {
        // A record the caller mapped: the caller keeps its handle.
        platform::UniqueFd state = source.SaveState(true);
        const std::vector<uint8_t> bytes = MappingBytes(state);
        const std::span<const uint8_t> record(bytes.data() + 80, remote_state::kSize);
        CRemotePipe copy;
        ASSERT_TRUE(copy.LoadState(state.Get(), 0, record));
        EXPECT_TRUE(IsOpen(state.Get()));
        EXPECT_EQ(copy.m_systemId.Str(), std::string(32, 'S'));
        CRemotePipe other;
        EXPECT_FALSE(other.LoadState(-1, 0, record.first(100)));
    }
}

TEST(RemotePipeState, SocketOfAnotherProcessIsNotAdopted) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    CRemotePipe source;
    FillForRecord(source);
    platform::UniqueFd state = source.SaveState(false);
    {
        auto mapping = platform::SharedMapping::OpenFd(state.Get(), remote_state::kSize, false);
        ASSERT_TRUE(mapping);
        std::memcpy(mapping->Data(), &pair[0], 4);  // a number that is some other socket here
    }
    {
        CRemotePipe copy;
        ASSERT_TRUE(copy.LoadState(state.Release(), 0, std::nullopt));
        EXPECT_EQ(copy.Socket(), -1);
    }
    EXPECT_TRUE(IsOpen(pair[0]));
    ::close(pair[0]);
    ::close(pair[1]);
}

TEST_F(RemotePipeTest, LiveSessionHandedToALaterPipeOfThisProcess) {
    StandinHost host({});
    auto first = MakePipe(host.Port());
    // The unread record goes to the next pipe with the connection.
    ASSERT_NO_FATAL_FAILURE(LeaveHalfAnEchoUnread(*first));
    const int socket = first->Socket();
    first->SetHostIsTrans(0);
    platform::UniqueFd state = first->SaveState(false);
    first->Close();  // keeps the socket
    EXPECT_TRUE(IsOpen(socket));
    first.reset();
    EXPECT_TRUE(IsOpen(socket));

    CRemotePipe second;
    ASSERT_TRUE(second.LoadState(state.Release(), 0, std::nullopt));
    EXPECT_EQ(second.Socket(), socket);
    EXPECT_TRUE(second.Tls().IsConnected());
    std::string rest;
    ASSERT_TRUE(ReadUntil(second, "two\r", &rest));
    EXPECT_EQ(rest, "two\r");
    ASSERT_TRUE(second.Write("still here\r", 11));
    EXPECT_TRUE(ReadUntil(second, "still here\r"));
    second.Close();
    EXPECT_FALSE(IsOpen(socket));
}

// ---- WakeReader: the reader comes out, the session stays ----

TEST_F(RemotePipeTest, WakeBringsABlockedTlsReadOutAndTheSessionReadsOn) {
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
    ASSERT_TRUE(ReadUntil(*pipe, kGreetingEnd));
    const int socket = pipe->Socket();

    auto read = testing::ReadOnThread(*pipe);
    EXPECT_EQ(read.wait_for(100ms), std::future_status::timeout) << "nothing was sent, the read must wait";
    pipe->WakeReader();
    const testing::ReadOutcome woken = testing::AwaitWokenRead(read, [&] { pipe->AbortConnect(); });
    EXPECT_FALSE(woken.ok);
    EXPECT_EQ(woken.lastError, 995);
    EXPECT_EQ(woken.bytes, "");
    EXPECT_FALSE(pipe->Aborted());
    EXPECT_EQ(pipe->Socket(), socket);
    EXPECT_TRUE(IsOpen(socket));

    // A new reader reads what the host sends next, and more than one wake that no read took is one.
    ASSERT_TRUE(pipe->Write("after\r", 6));
    std::string after;
    ASSERT_TRUE(ReadUntil(*pipe, "after\r", &after));
    EXPECT_EQ(after, "after\r");
    pipe->WakeReader();
    pipe->WakeReader();
    char byte = 0;
    uint32_t got = 0;
    EXPECT_FALSE(pipe->Read(&byte, 1, got));
    EXPECT_EQ(pipe->LastError(), 995);
    ASSERT_TRUE(pipe->Write("again\r", 7));
    EXPECT_TRUE(ReadUntil(*pipe, "again\r"));
    EXPECT_TRUE(Shown().empty()) << ::testing::PrintToString(Shown());
}

// Bytes in the pipe's read-ahead and bytes still in the socket when the wake comes are the next Read's.
TEST_F(RemotePipeTest, BytesHeldBeforeAWakeStayForTheNextRead) {
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_NO_FATAL_FAILURE(LeaveHalfAnEchoUnread(*pipe));
    pipe->WakeReader();
    uint32_t got = 0;
    char buffer[64];
    EXPECT_FALSE(pipe->Read(buffer, sizeof buffer, got));
    EXPECT_EQ(pipe->LastError(), 995);
    EXPECT_EQ(got, 0u);
    std::string rest;
    ASSERT_TRUE(ReadUntil(*pipe, "two\r", &rest));
    EXPECT_EQ(rest, "two\r");

    ASSERT_TRUE(pipe->Write("three\r", 6));
    pollfd readable{pipe->Socket(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 30000), 1);
    pipe->WakeReader();
    EXPECT_FALSE(pipe->Read(buffer, sizeof buffer, got));
    EXPECT_EQ(pipe->LastError(), 995);
    ASSERT_TRUE(ReadUntil(*pipe, "three\r", &rest));
    EXPECT_EQ(rest, "three\r");
}

TEST_F(RemotePipeTest, ReadersWokenAtAnyPointLoseNoByte) {
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0) << ::testing::PrintToString(Shown());
    ASSERT_TRUE(ReadUntil(*pipe, kGreetingEnd));
    const std::string sent = testing::EchoText(200000);
    const testing::WokenEchoRun run = testing::EchoThroughWokenReaders(*pipe, sent);
    EXPECT_FALSE(run.failed);
    EXPECT_GT(run.woken, 0);
    ASSERT_EQ(run.received.size(), sent.size());
    EXPECT_TRUE(run.received == sent) << "bytes were lost, doubled or reordered across the wakes";
}

// A host that takes "STARTTLS" without answering it, then echoes what it gets: the connection stays plain.
class PlainEchoHost {
  public:
    PlainEchoHost()
        : m_server([](platform::UniqueFd client) {
              char startTls[10] = {};
              if (!testing::ReceiveExactly(client.Get(), startTls, sizeof startTls)) {
                  return;
              }
              char buffer[4096];
              for (;;) {
                  const ssize_t got = ::recv(client.Get(), buffer, sizeof buffer, 0);
                  if (got <= 0 ||
                      ::send(client.Get(), buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) != got) {
                      return;
                  }
              }
          }) {}
    uint16_t Port() const { return m_server.Port(); }

  private:
    testing::LoopbackServer m_server;
};

TEST_F(RemotePipeTest, APlainConnectionIsWokenTheSameWay) {
    PlainEchoHost host;
    auto pipe = MakePipe(host.Port());
    pipe->SetStartTlsTimeout(50ms);
    ASSERT_EQ(pipe->ConnectAndLogin(0), 1);
    ASSERT_FALSE(pipe->Tls().IsConnected());
    ASSERT_GE(pipe->Socket(), 0);

    auto read = testing::ReadOnThread(*pipe);
    EXPECT_EQ(read.wait_for(100ms), std::future_status::timeout) << "nothing was sent, the read must wait";
    pipe->WakeReader();
    const testing::ReadOutcome woken = testing::AwaitWokenRead(read, [&] { pipe->AbortConnect(); });
    EXPECT_FALSE(woken.ok);
    EXPECT_EQ(woken.lastError, 995);

    // Bytes in the socket when the wake comes, and wakes that no Read took, count as one.
    ASSERT_TRUE(pipe->Write("held\r", 5));
    pollfd readable{pipe->Socket(), POLLIN, 0};
    ASSERT_EQ(::poll(&readable, 1, 30000), 1);
    pipe->WakeReader();
    pipe->WakeReader();
    char buffer[64];
    uint32_t got = 0;
    EXPECT_FALSE(pipe->Read(buffer, sizeof buffer, got));
    EXPECT_EQ(pipe->LastError(), 995);
    std::string held;
    ASSERT_TRUE(ReadUntil(*pipe, "held\r", &held));
    EXPECT_EQ(held, "held\r");

    const std::string sent = testing::EchoText(100000);
    const testing::WokenEchoRun run = testing::EchoThroughWokenReaders(*pipe, sent);
    EXPECT_FALSE(run.failed);
    EXPECT_GT(run.woken, 0);
    EXPECT_TRUE(run.received == sent) << "bytes were lost, doubled or reordered across the wakes";
}

// The session handed to a later pipe carries the bytes but not a wake meant for the old pipe's reader.
TEST_F(RemotePipeTest, AWakeStaysWithThePipeThatHandsTheSessionOver) {
    StandinHost host({});
    auto first = MakePipe(host.Port());
    ASSERT_NO_FATAL_FAILURE(LeaveHalfAnEchoUnread(*first));
    first->SetHostIsTrans(0);
    EXPECT_FALSE(first->Offered());
    platform::UniqueFd state = first->SaveState(false);
    EXPECT_TRUE(first->Offered());
    first->WakeReader();
    first.reset();

    CRemotePipe second;
    ASSERT_TRUE(second.LoadState(state.Release(), 0, std::nullopt));
    char buffer[64];
    uint32_t got = 0;
    ASSERT_TRUE(second.Read(buffer, sizeof buffer, got)) << second.LastError();
    EXPECT_EQ(std::string(buffer, got), "two\r");
    second.SetHostIsTrans(1);
    second.Close();
}

// ---- Error log ----

TEST(RemoteLog, SocketErrorTexts) {
    EXPECT_EQ(SocketErrorText(0), "No error");
    EXPECT_EQ(SocketErrorText(10054), "Connection reset by peer");
    EXPECT_EQ(SocketErrorText(10059), "Too many references, can't splice");
    EXPECT_EQ(SocketErrorText(10101), "Graceful shutdown in progress");
    EXPECT_EQ(SocketErrorText(10000), "unknown error");
    EXPECT_EQ(SocketErrorText(10072), "unknown error");
    EXPECT_EQ(SocketErrorLine("recv()", 10060), "recv() (10060): Connection timed out");
    EXPECT_EQ(SocketErrorFromErrno(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorFromErrno(ECANCELED), 10004);
    EXPECT_EQ(SocketErrorFromErrno(EPIPE), 10058);
}

TEST_F(RemotePipeTest, LogLinesInTheTempFolder) {
    WriteRemoteLog("first");
    WriteRemoteLog("second");
    const std::string log = LogText();
    ASSERT_FALSE(log.empty());
    const std::size_t end = log.find('\n');
    EXPECT_TRUE(log.substr(0, end).ends_with(": first"));
    EXPECT_TRUE(log.ends_with(": second\n"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
    EXPECT_EQ(RemoteLogPath(), m_tmp / "varnel.log");

    m_env.Set("TMPDIR", (m_tmp / "missing").string());
    WriteRemoteLog("lost");
    EXPECT_EQ(Shown(), std::vector<std::string>{"Can't open error logging file: " +
                                                (m_tmp / "missing" / "varnel.log").string()});
}

TEST_F(RemotePipeTest, NoLogWithoutDebug) {
    StandinHost host({});
    auto pipe = MakePipe(host.Port());
    ASSERT_EQ(pipe->ConnectAndLogin(0), 0);
    EXPECT_FALSE(std::filesystem::exists(m_tmp / "varnel.log"));
}

}  // namespace
}  // namespace hostlink
