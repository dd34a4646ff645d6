// The local host pipe against the real stand-in host program: options, the login step, the host program's
// command line, environment and folder, the download tool's login, start failures, the session record and
// the pipe's reads and writes.
#include "hostlink/local_pipe.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/tests/fake_owner.h"
#include "hostlink/tests/local_standin.h"
#include "hostlink/tests/reader_wake.h"
#include "platform/process_environment.h"
#include "platform/registry.h"
#include "platform/shared_mapping.h"
#include "platform/user_prompt.h"
#include "practice/practice.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "testsupport/test_support.h"

namespace hostlink {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using testing::FakeOwner;
using ::testing::HasSubstr;
using testing::ReadUntilText;
using testing::StandinRun;

constexpr int32_t kBrokenPipe = 109;
constexpr int32_t kNoData = 232;
constexpr int32_t kOperationAborted = 995;
constexpr int32_t kInvalidHandle = 6;

// A login dialog whose answers the test sets; it counts how it was used.
struct LoginScript {
    int32_t rememberedUser = 1;  // what the dialog holds from its construction
    bool accept = true;
    int32_t typedUser = 12;
    std::string typedPassword = "typed";
    int shown = 0;
    int credentialsSet = 0;
    int made = 0;
};

class FakeLoginUi : public LocalLoginUi {
  public:
    explicit FakeLoginUi(std::shared_ptr<LoginScript> script)
        : m_script(std::move(script)), m_user(m_script->rememberedUser) {
        ++m_script->made;
    }
    int32_t UserNumber() const override { return m_user; }
    std::string Password() const override { return m_password; }
    void SetCredentials(int32_t user, std::string_view password) override {
        ++m_script->credentialsSet;
        m_user = user;
        m_password = std::string(password);
    }
    bool ShowModal() override {
        ++m_script->shown;
        if (m_script->accept) {
            m_user = m_script->typedUser;
            m_password = m_script->typedPassword;
        }
        return m_script->accept;
    }

  private:
    std::shared_ptr<LoginScript> m_script;
    int32_t m_user;
    std::string m_password;
};

LocalLoginUiFactory FactoryFor(const std::shared_ptr<LoginScript>& script) {
    return [script] { return std::make_unique<FakeLoginUi>(script); };
}

// Reads until the pipe fails. A watchdog closes the pipe when the host program hangs, so that the test
// fails instead of hanging; it is only a safety net.
std::string ReadToEnd(CLocalPipe& pipe, int32_t* lastError = nullptr) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!finished.wait_for(lock, std::chrono::seconds(30), [&] { return done; })) {
            ADD_FAILURE() << "the host program did not end";
            pipe.Close();
        }
    });
    std::string out;
    char buffer[1024];
    uint32_t got = 0;
    while (pipe.Read(buffer, sizeof buffer, got)) {
        out.append(buffer, got);
    }
    const int32_t error = pipe.LastError();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    watchdog.join();
    if (lastError != nullptr) {
        *lastError = error;
    }
    return out;
}

bool WriteText(CLocalPipe& pipe, std::string_view text) {
    return pipe.Write(text.data(), static_cast<uint32_t>(text.size()));
}

class LocalPipeTest : public testsupport::RegistryTest {
  public:
    using RegistryTest::m_home;

    void SetUp() override {
        RegistryTest::SetUp();
        m_progs = m_temp.Path() / "progs";
        m_bin = m_temp.Path() / "bin";
        m_data = m_temp.Path() / "data";
        for (const fs::path& folder : {m_progs, m_bin, m_data}) {
            fs::create_directories(folder);
        }
        // The practice programs live in the program folder; the container is found on the PATH.
        for (const char* name : {"sorel", "billsrv", "dload"}) {
            fs::create_symlink(CARROWLINE_STANDIN_SOREL, m_progs / name);
        }
        fs::create_symlink(CARROWLINE_STANDIN_SOREL, m_bin / "brantor");
        const char* path = std::getenv("PATH");
        m_env.Set("PATH", m_bin.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
        m_record = m_temp.Path() / "record.txt";
        m_script = m_temp.Path() / "script.txt";
        ResetProcessVariables();
        Reg().SetValue(platform::HKey::LocalMachine, suite::ServerKey(suite::ClientMode::Local), "SorelProgs",
                       platform::RegValue::String(m_progs.string()));
        m_promptScope.emplace(m_prompt);
        m_login = std::make_shared<LoginScript>();
    }
    void TearDown() override {
        m_promptScope.reset();
        platform::ClearProcessVariables();
        RegistryTest::TearDown();
    }

    // The variables the stand-in reads, and nothing else in the overlay.
    void ResetProcessVariables() {
        platform::ClearProcessVariables();
        platform::SetProcessVariable("CARROWLINE_STANDIN_RECORD", m_record.string());
        if (m_scriptSet) {
            platform::SetProcessVariable("CARROWLINE_STANDIN_SCRIPT", m_script.string());
        }
    }
    void Script(const std::string& text) {
        testsupport::WriteFile(m_script, text);
        m_scriptSet = true;
        platform::SetProcessVariable("CARROWLINE_STANDIN_SCRIPT", m_script.string());
    }

    // A pipe set up as a practice with known credentials would be.
    std::unique_ptr<CLocalPipe> MakePipe() {
        auto pipe = std::make_unique<CLocalPipe>(&m_owner);
        pipe->SetLoginUi(FactoryFor(m_login));
        pipe->m_terminalNumber = 3;
        pipe->m_printerNumber = 4;
        pipe->m_appUser = 7;
        pipe->m_appPassword.Assign("pw");
        pipe->SetDataSet(m_data.string());
        pipe->m_programDir.Assign(m_progs.string());
        return pipe;
    }

    std::vector<StandinRun> Runs() const { return testing::ReadStandinRecord(m_record); }
    // The one run of `program` in the record.
    std::optional<StandinRun> RunOf(const std::string& program) const {
        std::optional<StandinRun> found;
        for (const StandinRun& run : Runs()) {
            if (run.Program() == program) {
                EXPECT_FALSE(found) << "more than one run of " << program;
                found = run;
            }
        }
        return found;
    }

    fs::path m_progs;
    fs::path m_bin;
    fs::path m_data;
    fs::path m_record;
    fs::path m_script;
    bool m_scriptSet = false;
    platform::RecordingPrompt m_prompt;
    std::optional<platform::ScopedDefaultPrompt> m_promptScope;
    FakeOwner m_owner;
    std::shared_ptr<LoginScript> m_login;
};

// ---------------------------------------------------------------------------------------------------------
// Options

struct OptionCase {
    const char* text;
    bool result;
    int32_t terminal;
    int32_t printer;
    int32_t user;
    std::string password;
    std::string runCommand;
    int32_t flags;
    int32_t mode;
    std::string terminalId;
    std::string runText;
};

TEST_F(LocalPipeTest, OptionTable) {
    const OptionCase cases[] = {
        {"-t5 -p2 -#7 pw -r dload -pipelogin2", true, 5, 2, 7, "pw", "dload -pipelogin2 ", 0, 0, "", ""},
        {"-r a\tb  c", true, 0, 0, 0, "", "a b c ", 0, 0, "", ""},
        {"-b", true, 0, 0, 0, "", "", 0x22, 0, "", ""},
        {"-bs", true, 0, 0, 0, "", "", 0x2, 0, "", ""},
        {"-m", true, 0, 0, 0, "", "", 0x24, 0, "", ""},
        {"-ms", true, 0, 0, 0, "", "", 0x4, 0, "", ""},
        {"-ms -fromdesktop", true, 0, 0, 0, "", "", 0x104, 0, "", ""},
        {"-fast -l -sfoo -cT1 -d/m1 -w", true, 0, 0, 0, "", "", 0, 1, "T1", "/m1"},
        {"-#7", true, 0, 0, 7, "", "", 0, 0, "", ""},
        {"-#7 -r -w", true, 0, 0, 7, "-r", "", 0, 1, "", ""},
        {"-t12abc -p-3", true, 12, -3, 0, "", "", 0, 0, "", ""},
        {"-t5 -q -p2", false, 5, 0, 0, "", "", 0, 0, "", ""},
        {"-t5 sorel", false, 5, 0, 0, "", "", 0, 0, "", ""},
        {"-", false, 0, 0, 0, "", "", 0, 0, "", ""},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.text);
        CLocalPipe pipe;
        EXPECT_EQ(pipe.ParseOptions(nullptr, c.text, false), c.result);
        EXPECT_EQ(pipe.m_terminalNumber, c.terminal);
        EXPECT_EQ(pipe.m_printerNumber, c.printer);
        EXPECT_EQ(pipe.m_appUser, c.user);
        EXPECT_EQ(pipe.m_appPassword.Str(), c.password);
        EXPECT_EQ(pipe.m_runCommand.Str(), c.runCommand);
        EXPECT_EQ(pipe.m_flags, c.flags);
        EXPECT_EQ(pipe.m_mode, c.mode);
        EXPECT_EQ(pipe.m_terminalId.Str(), c.terminalId);
        EXPECT_EQ(pipe.m_runText.Str(), c.runText);
        EXPECT_EQ(pipe.m_programDir.Str(), m_progs.string());
    }
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(LocalPipeTest, OptionsReachTheOwner) {
    struct Case {
        const char* text;
        bool simple;
        bool noMenu;
    };
    const Case cases[] = {
        {"-simple", true, false}, {"-dgraph", true, true}, {"-dGo", true, true},
        {"-d/m1", false, false},  {"-sfoo", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FakeOwner owner;
        CLocalPipe pipe;
        EXPECT_TRUE(pipe.ParseOptions(&owner, c.text, false));
        EXPECT_EQ(owner.m_simple, c.simple);
        EXPECT_EQ(owner.m_noMenu, c.noMenu);
    }
}

TEST_F(LocalPipeTest, KeepLeavesSettingsAndAMissingProgramFolderIsReported) {
    CLocalPipe pipe;
    ASSERT_TRUE(pipe.ParseOptions(nullptr, "-#7 pw -cT1 -dRUN -r go", false));
    pipe.m_programDir.Assign("/elsewhere");
    EXPECT_TRUE(pipe.ParseOptions(nullptr, "-t2 -r more", true));
    EXPECT_EQ(pipe.m_appUser, 7);
    EXPECT_EQ(pipe.m_appPassword.Str(), "pw");
    EXPECT_EQ(pipe.m_terminalId.Str(), "T1");
    EXPECT_EQ(pipe.m_runText.Str(), "RUN");
    EXPECT_EQ(pipe.m_runCommand.Str(), "go more ");
    EXPECT_EQ(pipe.m_programDir.Str(), "/elsewhere");
    EXPECT_TRUE(m_prompt.Shown().empty());

    Reg().DeleteValue(platform::HKey::LocalMachine, suite::ServerKey(suite::ClientMode::Local), "SorelProgs");
    EXPECT_TRUE(pipe.ParseOptions(nullptr, "-t4", false));
    EXPECT_EQ(pipe.m_terminalNumber, 4);
    EXPECT_EQ(pipe.m_appUser, 0);
    EXPECT_TRUE(pipe.m_runCommand.Empty());
    EXPECT_EQ(pipe.m_programDir.Str(), "/elsewhere");
    EXPECT_THAT(m_prompt.Shown(),
                ElementsAre(platform::PromptRequest{"CLocalPipe(): Error Reading SorelProgs Registry Entry",
                                                    "", platform::PromptIcon::Stop}));
}

TEST_F(LocalPipeTest, OverLongValuesAreCutToTheirFieldAndLogged) {
    CLocalPipe pipe;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(
        pipe.ParseOptions(nullptr, "-c" + std::string(100, 'c') + " -d" + std::string(90, 'd'), false));
    practice::CPracticeConn conn;
    conn.m_SorelData = std::string(600, 's');
    conn.m_Command = std::string(100, 'r');
    pipe.ApplyPractice(conn);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(pipe.m_terminalId.Str(), std::string(79, 'c'));
    EXPECT_EQ(pipe.m_dataSet.Str(), std::string(511, 's'));
    EXPECT_EQ(pipe.m_runText.Str(), std::string(79, 'r'));
    EXPECT_THAT(log, HasSubstr("terminal id: text longer than 79 characters, cut"));
    EXPECT_THAT(log, HasSubstr("data set: text longer than 511 characters, cut"));
    EXPECT_THAT(log, HasSubstr("run text: text longer than 79 characters, cut"));
}

TEST_F(LocalPipeTest, PracticeSettings) {
    practice::CPracticeConn conn;
    conn.m_TerminalNumber = 6;
    conn.m_PrinterNumber = 8;
    conn.m_BillServID = 44;
    conn.m_SorelData = "/srv/data";
    conn.m_SorelProgs = "/srv/progs";
    conn.m_PracticeType = 2;
    conn.m_Command = "/m1";
    CLocalPipe pipe;
    pipe.ApplyPractice(conn);
    EXPECT_EQ(pipe.m_terminalNumber, 6);
    EXPECT_EQ(pipe.m_printerNumber, 8);
    EXPECT_EQ(pipe.m_BillServID, 44);
    EXPECT_EQ(pipe.m_dataSet.Str(), "/srv/data");
    EXPECT_EQ(pipe.m_programDir.Str(), "/srv/progs");
    EXPECT_EQ(pipe.m_flags, 2);
    EXPECT_EQ(pipe.m_runText.Str(), "/m1");
    EXPECT_TRUE(pipe.m_runCommand.Empty());

    conn.m_RunCommand = 1;
    conn.m_Command = "dload -pipelogin2 ";
    CLocalPipe runs;
    runs.ApplyPractice(conn);
    EXPECT_EQ(runs.m_flags, flags::kRunCommand);
    EXPECT_EQ(runs.m_runCommand.Str(), "dload -pipelogin2 ");
    EXPECT_TRUE(runs.m_runText.Empty());
    EXPECT_EQ(runs.Describe(), "local");
    EXPECT_FALSE(runs.IsRemote());
}

TEST_F(LocalPipeTest, UnixEscKeyComesFromTheOstrelScreenKey) {
    CLocalPipe pipe;
    suite::SetClientMode(suite::ClientMode::Remote);
    Reg().SetValue(platform::HKey::LocalMachine, suite::ScreenKey(suite::ClientMode::Remote), "UnixEscKey",
                   platform::RegValue::Dword(5));
    EXPECT_EQ(pipe.GetUnixEscKey(), 0);
    EXPECT_EQ(suite::GetClientMode(), suite::ClientMode::Local);
    Reg().SetValue(platform::HKey::LocalMachine, suite::ScreenKey(suite::ClientMode::Local), "UnixEscKey",
                   platform::RegValue::Dword(27));
    EXPECT_EQ(pipe.GetUnixEscKey(), 27);
}

// ---------------------------------------------------------------------------------------------------------
// The host program's command line, environment and folder

struct LaunchCase {
    const char* name;
    std::function<void(LocalPipeTest&, std::unique_ptr<CLocalPipe>&)> setUp;
    std::string program;
    std::vector<std::string> args;
    std::optional<std::string> sorelPractice;
    std::function<fs::path(LocalPipeTest&)> folder;  // the host program's working folder
};

TEST_F(LocalPipeTest, HostProgramCommandLineAndEnvironment) {
    auto dataFolder = [](LocalPipeTest& t) { return t.m_data; };
    const std::vector<std::string> usual = {"-t3", "-p4", "-#7", "pw"};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> args = usual;
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const fs::path billingData = m_temp.Path() / "billing";
    fs::create_directories(billingData);
    fs::create_directories(m_home / "work");

    const std::vector<LaunchCase> cases = {
        {"normal", [](auto&, auto&) {}, "sorel", usual, std::nullopt, dataFolder},
        {"billing", [](auto&, auto& p) { p->m_flags = flags::kBillingServer; }, "billsrv", usual,
         std::nullopt, dataFolder},
        {"MSO",
         [](auto&, auto& p) { p->m_flags = flags::kMso; },
         "billsrv",
         {"-t3", "-p4", "-s", "-#7", "pw"},
         std::nullopt,
         dataFolder},
        {"run command, no credentials of its own",
         [](auto&, auto& p) {
             p->m_flags = flags::kRunCommand;
             p->m_runCommand.Assign("billsrv -k%T -t%T ");
         },
         "billsrv",
         {"-k%T", "-t3"},
         std::nullopt,
         dataFolder},
        {"run command with @:tms",
         [](auto&, auto& p) {
             p->m_flags = flags::kRunCommand;
             p->m_runCommand.Assign("sorel -a@:tms ");
         },
         "sorel",
         {"-a@:tms", "-noploc"},
         std::nullopt,
         dataFolder},
        {"run command with @:tms and options after it",
         [](auto&, auto& p) {
             p->m_flags = flags::kRunCommand;
             p->m_runCommand.Assign("sorel -a@:tms ");
             p->m_terminalId.Assign("T9");
         },
         "sorel",
         {"-a@:tms", "-cT9", "-noploc"},
         std::nullopt,
         dataFolder},
        {"terminal 0",
         [](auto&, auto& p) { p->m_terminalNumber = 0; },
         "sorel",
         {"-p4", "-#7", "pw"},
         std::nullopt,
         dataFolder},
        {"further window", [](auto&, auto& p) { p->m_mode = session_mode::kFurtherWindow; }, "sorel",
         with({"-w"}), std::nullopt, dataFolder},
        {"run text with CR", [](auto&, auto& p) { p->m_runText.Assign("/m1\r"); }, "sorel", with({"-d/m1"}),
         std::nullopt, dataFolder},
        {"terminal id", [](auto&, auto& p) { p->m_terminalId.Assign("TT"); }, "sorel", with({"-cTT"}),
         std::nullopt, dataFolder},
        {"from the desktop", [](auto&, auto& p) { p->m_flags = flags::kFromDesktop; }, "sorel",
         with({"-fromdesktop"}), std::nullopt, dataFolder},
        {"B switch", [](auto&, auto& p) { p->m_switch4.Assign("S4"); }, "sorel", with({"BS4"}), std::nullopt,
         dataFolder},
        {"Windows data set", [](auto&, auto& p) { p->SetDataSet("C:\\work"); }, "sorel", usual, std::nullopt,
         [](LocalPipeTest& t) { return t.m_home / "work"; }},
        {"no data set", [](auto&, auto& p) { p->SetDataSet(""); }, "sorel", usual, std::nullopt,
         [](LocalPipeTest&) { return fs::current_path(); }},
        {"after a billing switch",
         [&](LocalPipeTest& t, std::unique_ptr<CLocalPipe>& p) {
             p->SwitchBillingSession("PR1", billingData.string(), "s3", "S4");
             testing::WaitForStandinRecord(t.m_record, [](const std::vector<StandinRun>& runs) {
                 return runs.size() == 1 && runs[0].exitCode.has_value();
             });
             // The new window takes the session over and starts its own host program.
             platform::UniqueFd state = p->SaveState(false);
             auto next = std::make_unique<CLocalPipe>(&t.m_owner);
             next->SetLoginUi(FactoryFor(t.m_login));
             ASSERT_TRUE(next->LoadState(state.Release(), 0, std::nullopt));
             EXPECT_EQ(next->m_mode, session_mode::kAfterSwitch);
             EXPECT_EQ(next->m_flags, flags::kBillingServer);
             p = std::move(next);
         },
         "sorel", with({"-d/m1", "BS4"}), "(*)PR1", [&](LocalPipeTest&) { return billingData; }},
    };

    Script("exit 0\n");
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(m_record);
        ResetProcessVariables();
        m_prompt.Clear();
        std::unique_ptr<CLocalPipe> pipe = MakePipe();
        c.setUp(*this, pipe);
        ASSERT_TRUE(pipe->Open(&m_owner));
        int32_t error = 0;
        EXPECT_EQ(ReadToEnd(*pipe, &error), "");
        EXPECT_EQ(error, kBrokenPipe);
        EXPECT_NE(pipe->m_mode, session_mode::kAfterSwitch);

        const std::optional<StandinRun> run = RunOf(c.program);
        ASSERT_TRUE(run);
        EXPECT_EQ(run->argv.front(), (m_progs / c.program).string());
        EXPECT_EQ(run->Arguments(), c.args);
        EXPECT_EQ(run->Env("VARNELVER"), std::to_string(VarnelVersionNumber()));
        EXPECT_EQ(run->Env("SORELPRACTICE"), c.sorelPractice);
        EXPECT_EQ(fs::path(run->cwd), fs::canonical(c.folder(*this)));
        EXPECT_TRUE(run->fds.empty()) << "the host program inherited more than its standard I/O";
        EXPECT_EQ(run->exitCode, 0);
        EXPECT_TRUE(m_prompt.Shown().empty());
    }
}

// Hand-over mappings this process holds open.
int OpenMappings() {
    return testsupport::OpenFdsOn(testsupport::kMappingFdPrefix);
}

TEST_F(LocalPipeTest, SessionSwitchesStartAFurtherContainerWindow) {
    Script("exit 0\n");
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    pipe->m_runCommand.Assign("sorel -x ");
    pipe->SwitchMsoSession("M1", "M2", "unused");
    EXPECT_EQ(pipe->m_switch1.Str(), "M1");
    EXPECT_EQ(pipe->m_switch2.Str(), "M2");
    EXPECT_TRUE(pipe->m_runCommand.Empty());
    EXPECT_EQ(pipe->m_flags, flags::kMso);
    EXPECT_EQ(pipe->m_mode, session_mode::kAfterSwitch);
    EXPECT_EQ(pipe->m_runText.Str(), "/m1");
    EXPECT_EQ(pipe->m_dataSet.Str(), m_data.string());

    // The container gets the record's handle on its command line and the handle itself.
    const auto runs = testing::WaitForStandinRecord(m_record, [](const std::vector<StandinRun>& r) {
        return r.size() == 1 && r.front().exitCode.has_value();
    });
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Program(), "brantor");
    ASSERT_EQ(runs[0].Arguments().size(), 1u);
    const std::string handleArg = runs[0].Arguments()[0];
    ASSERT_TRUE(handleArg.starts_with("-x"));
    EXPECT_THAT(runs[0].fds, ElementsAre(std::stoi(handleArg.substr(2))));
    EXPECT_TRUE(m_prompt.Shown().empty());
    // Ours was closed once the container had it. The number itself may be reused at once, so look for
    // the mapping, not the number.
    EXPECT_EQ(OpenMappings(), 0);

    // A plain new window: the mode says so; no container program makes a message.
    std::unique_ptr<CLocalPipe> plain = MakePipe();
    m_env.Set("PATH", "/nonexistent");
    EXPECT_FALSE(plain->StartNewSession("/m2"));
    EXPECT_EQ(plain->m_mode, session_mode::kFurtherWindow);
    EXPECT_EQ(plain->m_runText.Str(), "/m2");
    EXPECT_THAT(m_prompt.Shown(),
                ElementsAre(platform::PromptRequest{"Error Creating Child", "", platform::PromptIcon::Stop}));
}

TEST_F(LocalPipeTest, GreetsEchoesAndEndsOnQuit) {
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    EXPECT_TRUE(WriteText(*pipe, "hello\r"));
    EXPECT_TRUE(WriteText(*pipe, "/quit\r"));
    const std::string out = ReadToEnd(*pipe);
    EXPECT_THAT(out, HasSubstr("Started as sorel\r\n"));
    EXPECT_THAT(out, ::testing::EndsWith("hello\r/quit\r"));
    const std::optional<StandinRun> run = RunOf("sorel");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->received, "hello\r/quit\r");
    EXPECT_EQ(run->exitCode, 0);
}

// ---------------------------------------------------------------------------------------------------------
// The login step

TEST_F(LocalPipeTest, LoginStepUsesKnownCredentialsOrAsks) {
    Script("exit 0\n");
    struct Case {
        const char* name;
        std::function<void(CLocalPipe&)> setUp;
        bool accept;
        bool opened;
        int shown;
        int credentialsSet;
        int32_t user;  // afterwards
        std::string password;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"known", [](CLocalPipe&) {}, true, true, 0, 1, 7, "pw", {"-t3", "-p4", "-#7", "pw"}},
        {"unknown password asks",
         [](CLocalPipe& p) { p.m_appPassword.Clear(); },
         true,
         true,
         1,
         0,
         12,
         "typed",
         {"-t3", "-p4", "-#12", "typed"}},
        {"unknown user asks, cancelled",
         [](CLocalPipe& p) { p.m_appUser = 0; },
         false,
         false,
         1,
         0,
         0,
         "pw",
         {}},
        {"-b without s skips the dialog",
         [](CLocalPipe& p) {
             p.m_flags = flags::kBillingServer | flags::kServerWithoutS;
             p.m_appUser = 0;
         },
         true,
         true,
         0,
         0,
         0,
         "pw",
         {"-t3", "-p4"}},
        {"a program that logs in by itself takes the remembered user",
         [](CLocalPipe& p) { p.m_runCommand.Assign("sorel -own "); },
         true,
         true,
         0,
         0,
         1,
         "",
         {"-own"}},
        {"the download tool's pipe login takes known credentials",
         [](CLocalPipe& p) { p.m_runCommand.Assign("dload -pipelogin2 "); },
         true,
         true,
         0,
         1,
         7,
         "pw",
         {"-pipelogin2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(m_record);
        *m_login = LoginScript{};
        m_login->accept = c.accept;
        std::unique_ptr<CLocalPipe> pipe = MakePipe();
        c.setUp(*pipe);
        EXPECT_EQ(pipe->Open(&m_owner), c.opened);
        EXPECT_EQ(m_login->made, 1);
        EXPECT_EQ(m_login->shown, c.shown);
        EXPECT_EQ(m_login->credentialsSet, c.credentialsSet);
        EXPECT_EQ(pipe->m_appUser, c.user);
        EXPECT_EQ(pipe->m_appPassword.Str(), c.password);
        if (!c.opened) {
            EXPECT_EQ(pipe->ChildPid(), -1);
            EXPECT_TRUE(Runs().empty());
            continue;
        }
        ReadToEnd(*pipe);
        ASSERT_EQ(Runs().size(), 1u);
        EXPECT_EQ(Runs()[0].Arguments(), c.args);
    }
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(LocalPipeTest, WithoutALoginDialogOnlyKnownCredentialsLogIn) {
    Script("exit 0\n");
    CLocalPipe known(&m_owner);
    known.m_appUser = 3;
    known.m_appPassword.Assign("pw");
    known.m_programDir.Assign(m_progs.string());
    ASSERT_TRUE(known.Open(&m_owner));
    ReadToEnd(known);
    ASSERT_TRUE(RunOf("sorel"));
    EXPECT_EQ(RunOf("sorel")->Arguments(), (std::vector<std::string>{"-#3", "pw"}));

    fs::remove(m_record);
    CLocalPipe unknown(&m_owner);
    unknown.m_programDir.Assign(m_progs.string());
    EXPECT_FALSE(unknown.Open(&m_owner));
    EXPECT_EQ(unknown.ChildPid(), -1);
    EXPECT_TRUE(Runs().empty());
    ASSERT_EQ(m_prompt.Shown().size(), 1u);
    EXPECT_THAT(m_prompt.Shown()[0].text, HasSubstr("no login dialog"));
    EXPECT_EQ(m_prompt.Shown()[0].icon, platform::PromptIcon::Stop);
}

// ---------------------------------------------------------------------------------------------------------
// The download tool's login

TEST_F(LocalPipeTest, DownloadToolPipeLogin) {
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    pipe->m_flags = flags::kRunCommand;
    pipe->m_runCommand.Assign("dload -pipelogin2 ");
    pipe->m_appPassword.Assign("secret");
    pipe->m_terminalId.Assign("TT");
    pipe->m_runText.Assign("RUN\r");
    ASSERT_TRUE(pipe->Open(&m_owner));
    EXPECT_TRUE(WriteText(*pipe, "/quit\r"));
    EXPECT_THAT(ReadToEnd(*pipe), HasSubstr("Started as dload"));

    const std::optional<StandinRun> run = RunOf("dload");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->Arguments(), (std::vector<std::string>{"-pipelogin2", "-dRUN", "-cTT"}));
    EXPECT_EQ(run->login, "accepted");
    EXPECT_THAT(run->loginLines, ElementsAre("0", "7", "secret", "TT", "RUN"));
    EXPECT_EQ(run->received, "0\n7\nsecret\nTT\nRUN\n/quit\r");
    EXPECT_EQ(run->exitCode, 0);
    EXPECT_TRUE(m_prompt.Shown().empty());

    // Plain "-pipelogin" waits for the sync only, and the program keeps its own login.
    fs::remove(m_record);
    std::unique_ptr<CLocalPipe> syncOnly = MakePipe();
    syncOnly->m_flags = flags::kRunCommand;
    syncOnly->m_runCommand.Assign("dload -pipelogin ");
    ASSERT_TRUE(syncOnly->Open(&m_owner));
    EXPECT_TRUE(WriteText(*syncOnly, "/quit\r"));
    ReadToEnd(*syncOnly);
    const std::optional<StandinRun> synced = RunOf("dload");
    ASSERT_TRUE(synced);
    EXPECT_EQ(synced->login, "sync only");
    EXPECT_EQ(synced->received, "/quit\r");
    EXPECT_EQ(synced->Arguments(), (std::vector<std::string>{"-pipelogin"}));
}

TEST_F(LocalPipeTest, DownloadToolErrors) {
    struct Case {
        const char* name;
        std::string script;  // empty: the stand-in's own login
        int32_t typedUser;
        bool opened;
        std::vector<platform::PromptRequest> shown;
        std::string received;
        int exitCode;
        std::chrono::milliseconds syncTimeout = CLocalPipe::kDefaultSyncTimeout;
    };
    const std::vector<Case> cases = {
        {"the tool refuses before the sync",
         "send abc\nreport Licence expired\nexit 1\n",
         12,
         false,
         {{"Licence expired", "", platform::PromptIcon::Stop}},
         "",
         1},
        {"the tool ends without a sync",
         "send abc\\e[x\\e[%note\\x01O\nexit 1\n",
         12,
         false,
         {{"Error Receiving Dload Sync", "", platform::PromptIcon::Stop}},
         "",
         1},
        {"the tool stops reading",
         "closein\nsend ~\nexit 0\n",
         12,
         false,
         {{"Error During Login\n\nError Number: 232\n\nFrom: XmitInteger(): Write Error", "Ostrel",
           platform::PromptIcon::Stop}},
         "",
         0},
        {"the tool refuses a login line", "", 1000, true, {}, "0\n1000\ntyped\n\n\n", 2},
        // Silent throughout: bytes it sent would meet a pipe the timeout may already have closed when the
        // tool starts slowly, and the tool would end on the failed write instead.
        {"the tool never sends its sync",
         "sleep 1500\nexit 0\n",
         12,
         false,
         {{"Error Receiving Dload Sync", "", platform::PromptIcon::Stop}},
         "",
         0,
         std::chrono::milliseconds(200)},
        {"a long refusal is cut",
         "report " + std::string(3000, 'r') + "\nexit 1\n",
         12,
         false,
         {{std::string(1024, 'r'), "", platform::PromptIcon::Stop}},
         "",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(m_record);
        m_prompt.Clear();
        if (c.script.empty()) {
            m_scriptSet = false;
        } else {
            Script(c.script);
        }
        ResetProcessVariables();
        *m_login = LoginScript{};
        m_login->typedUser = c.typedUser;
        std::unique_ptr<CLocalPipe> pipe = MakePipe();
        pipe->m_appUser = 0;  // the dialog asks
        pipe->m_flags = flags::kRunCommand;
        pipe->m_runCommand.Assign("dload -pipelogin2 ");
        pipe->SetSyncTimeout(c.syncTimeout);
        EXPECT_EQ(pipe->Open(&m_owner), c.opened);
        EXPECT_EQ(m_prompt.Shown(), c.shown);
        if (c.opened) {
            // The tool's error report reaches the session, then the tool ends.
            EXPECT_THAT(ReadToEnd(*pipe), HasSubstr("\x1b[%Login refused: bad user line\x01P"));
        } else {
            ASSERT_GT(pipe->ChildPid(), 0);
            EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
        }
        const std::optional<StandinRun> run = RunOf("dload");
        ASSERT_TRUE(run);
        EXPECT_EQ(run->received, c.received);
        EXPECT_EQ(run->refused.empty(), c.opened == false);
        EXPECT_EQ(run->exitCode, c.exitCode);
    }
}

TEST_F(LocalPipeTest, CloseEndsTheWaitForTheSync) {
    Script("drain\nexit 0\n");
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    pipe->m_flags = flags::kRunCommand;
    pipe->m_runCommand.Assign("dload -pipelogin2 ");
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    std::thread opener([&] { opened.set_value(pipe->Open(&m_owner)); });
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    pipe->Close();
    const bool ended = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    opener.join();
    ASSERT_TRUE(ended);
    EXPECT_FALSE(result.get());
    ASSERT_GT(pipe->ChildPid(), 0);
    EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
}

// An owner with a window: the wait runs on a thread of its own while the calling thread goes on taking
// turns, as a window's event loop would, until the wait ends or the owner is closed.
class WindowedOwner : public FakeOwner {
  public:
    void RunWait(const std::function<void()>& wait, const std::function<void()>& cancel) override {
        ++m_waits;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            // Whatever the wait would show lands here instead of in the user's prompt.
            platform::ScopedThreadPrompt prompt(m_waitPrompt);
            wait();
            done = true;
        });
        while (!done) {
            ++m_turns;
            if (m_closeAfterTurns > 0 && m_turns == m_closeAfterTurns) {
                cancel();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        worker.join();
    }

    int m_waits = 0;
    int m_turns = 0;
    int m_closeAfterTurns = 0;  // 0: never closed
    platform::RecordingPrompt m_waitPrompt;
};

TEST_F(LocalPipeTest, TheSyncWaitLeavesTheCallingThreadFreeAndClosingTheOwnerEndsIt) {
    struct Case {
        const char* name;
        std::string script;
        int closeAfterTurns;
        bool opened;
        std::vector<platform::PromptRequest> shown;
    };
    const std::vector<Case> cases = {
        {"a slow tool", "sleep 300\nlogin\nexit 0\n", 0, true, {}},
        {"a slow refusal",
         "sleep 300\nreport Licence expired\nexit 1\n",
         0,
         false,
         {{"Licence expired", "", platform::PromptIcon::Stop}}},
        {"closed while the tool is silent",
         "drain\nexit 0\n",
         20,
         false,
         {{"Error Receiving Dload Sync", "", platform::PromptIcon::Stop}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(m_record);
        m_prompt.Clear();
        Script(c.script);
        WindowedOwner owner;
        owner.m_closeAfterTurns = c.closeAfterTurns;
        std::unique_ptr<CLocalPipe> pipe = MakePipe();
        pipe->m_flags = flags::kRunCommand;
        pipe->m_runCommand.Assign("dload -pipelogin2 ");
        EXPECT_EQ(pipe->Open(&owner), c.opened);
        EXPECT_EQ(owner.m_waits, 1);
        EXPECT_GT(owner.m_turns, 1) << "the calling thread was kept waiting";
        EXPECT_EQ(m_prompt.Shown(), c.shown);
        EXPECT_TRUE(owner.m_waitPrompt.Shown().empty());
        if (c.opened) {
            EXPECT_TRUE(WriteText(*pipe, "/quit\r"));
            ReadToEnd(*pipe);
            ASSERT_TRUE(RunOf("dload"));
            EXPECT_EQ(RunOf("dload")->login, "accepted");
        } else {
            ASSERT_GT(pipe->ChildPid(), 0);
            EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Finding the program, and failing to

TEST_F(LocalPipeTest, ProgramFolderIsTriedSecond) {
    Script("exit 0\n");
    // Found by its name: the first try.
    m_env.Set("PATH", m_bin.string() + ":" + m_progs.string());
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    ReadToEnd(*pipe);
    ASSERT_TRUE(RunOf("sorel"));
    EXPECT_EQ(RunOf("sorel")->argv.front(), "sorel");

    // Not on the PATH: the program folder joined in front, with or without its own separator.
    m_env.Set("PATH", m_bin.string());
    for (const std::string& folder : {m_progs.string(), m_progs.string() + "/"}) {
        fs::remove(m_record);
        std::unique_ptr<CLocalPipe> joined = MakePipe();
        joined->m_programDir.Assign(folder);
        ASSERT_TRUE(joined->Open(&m_owner));
        ReadToEnd(*joined);
        ASSERT_TRUE(RunOf("sorel"));
        EXPECT_EQ(RunOf("sorel")->argv.front(), (m_progs / "sorel").string());
    }
    EXPECT_TRUE(m_prompt.Shown().empty());
}

TEST_F(LocalPipeTest, ErrorCreatingChildNamesTheCommandTried) {
    const std::string progs = m_progs.string();
    struct Case {
        const char* name;
        std::function<void(CLocalPipe&)> setUp;
        std::string tried;
    };
    const std::vector<Case> cases = {
        {"terminal 0 leaves its blanks", [](CLocalPipe& p) { p.m_terminalNumber = 0; },
         "/nowhere/sorel  -p4 -#7 pw"},
        {"billing", [](CLocalPipe& p) { p.m_flags = flags::kBillingServer; },
         "/nowhere/billsrv  -t3 -p4 -#7 pw"},
        {"MSO with every option",
         [](CLocalPipe& p) {
             p.m_flags = flags::kMso | flags::kFromDesktop;
             p.m_mode = session_mode::kFurtherWindow;
             p.m_runText.Assign("/m1\r");
             p.m_terminalId.Assign("T1");
             p.m_switch4.Assign("S4");
         },
         "/nowhere/billsrv  -t3 -p4 -s -#7 pw -w -d/m1 -cT1 BS4 -fromdesktop"},
        {"@:tms at the end", [](CLocalPipe& p) { p.m_runCommand.Assign("tool @:tms "); },
         "/nowhere/tool @:tms -noploc"},
        {"folder with its own separator", [](CLocalPipe& p) { p.m_programDir.Assign("/nowhere\\"); },
         "/nowhere\\sorel -t3 -p4 -#7 pw"},
        {"no program folder: one try", [](CLocalPipe& p) { p.m_programDir.Clear(); }, "sorel -t3 -p4 -#7 pw"},
        // The program is there; its folder is not.
        {"data set that no drive maps",
         [&](CLocalPipe& p) {
             p.m_programDir.Assign(progs);
             p.SetDataSet("Q:\\data");
         },
         progs + "/sorel -t3 -p4 -#7 pw"},
        {"missing data set folder",
         [&](CLocalPipe& p) {
             p.m_programDir.Assign(progs);
             p.SetDataSet("/nonexistent/data");
         },
         progs + "/sorel -t3 -p4 -#7 pw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_prompt.Clear();
        std::unique_ptr<CLocalPipe> pipe = MakePipe();
        pipe->m_programDir.Assign("/nowhere");
        c.setUp(*pipe);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(pipe->Open(&m_owner));
        ::testing::internal::GetCapturedStderr();
        EXPECT_THAT(m_prompt.Shown(),
                    ElementsAre(platform::PromptRequest{"Error Creating Child: \"" + c.tried + "\"", "",
                                                        platform::PromptIcon::Stop}));
        EXPECT_EQ(pipe->ChildPid(), -1);
        uint32_t got = 0;
        char byte;
        EXPECT_FALSE(pipe->Read(&byte, 1, got));
        EXPECT_EQ(pipe->LastError(), kInvalidHandle);
    }
    EXPECT_TRUE(Runs().empty());
}

// ---------------------------------------------------------------------------------------------------------
// The session record

std::vector<uint8_t> MappingBytes(const platform::UniqueFd& handle, std::size_t size) {
    auto mapping = platform::SharedMapping::OpenFd(handle.Get(), size, false);
    if (!mapping) {
        ADD_FAILURE() << "mapping not readable";
        return {};
    }
    return {mapping->Data(), mapping->Data() + size};
}

std::vector<uint8_t> Le32(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
            static_cast<uint8_t>(bits >> 24)};
}

// The text zero-padded to its field.
std::vector<uint8_t> Field(std::string_view text, std::size_t size) {
    std::vector<uint8_t> bytes(size, 0);
    std::memcpy(bytes.data(), text.data(), text.size());
    return bytes;
}

void FillEveryField(CLocalPipe& pipe) {
    pipe.m_mode = 1;
    pipe.m_switch4.Assign("four");
    pipe.m_runText.Assign("/m1");
    pipe.m_terminalId.Assign("TID");
    pipe.m_appUser = 0x01020304;
    pipe.m_terminalNumber = 5;
    pipe.m_printerNumber = -2;
    pipe.m_flags = 0x10108;
    pipe.m_appPassword.Assign("secret");
    pipe.m_dataSet.Assign("/data/set");
    pipe.m_programDir.Assign("/prog/dir");
    pipe.m_switch3.Assign("three");
    pipe.m_runCommand.Assign("dload -pipelogin2 ");
    pipe.m_BillServID = 77;
    pipe.m_switch1.Assign("one");
    pipe.m_switch2.Assign("two");
}

TEST_F(LocalPipeTest, SavedRecordHasTheFixedLayout) {
    CLocalPipe pipe;
    FillEveryField(pipe);
    struct At {
        std::size_t offset;
        std::vector<uint8_t> bytes;
    };
    const std::vector<At> fields = {
        {0, Le32(1)},
        {4, Field("four", 128)},
        {132, Field("/m1", 80)},
        {212, Field("TID", 80)},
        {292, {0x04, 0x03, 0x02, 0x01}},
        {296, Le32(5)},
        {300, {0xFE, 0xFF, 0xFF, 0xFF}},
        {304, Le32(0x10108)},
        {308, Field("secret", 80)},
        {388, Field("/data/set", 512)},
        {900, Field("/prog/dir", 512)},
        {1412, Field("three", 512)},
        {1924, Field("dload -pipelogin2 ", 512)},
        {2436, Le32(77)},
        {2440, Le32(-1)},  // no pipe ends
        {2444, Le32(-1)},
        {2448, Field("one", 128)},
        {2576, Field("two", 512)},
    };
    const LocalSessionState::Bytes record = pipe.State().ToRecord();
    std::size_t covered = 0;
    for (const At& at : fields) {
        SCOPED_TRACE(at.offset);
        EXPECT_EQ(
            std::vector<uint8_t>(record.begin() + at.offset, record.begin() + at.offset + at.bytes.size()),
            at.bytes);
        covered += at.bytes.size();
    }
    EXPECT_EQ(covered, LocalSessionState::kSize);

    platform::UniqueFd withHeader = pipe.SaveState(true);
    ASSERT_TRUE(withHeader);
    const std::vector<uint8_t> headed = MappingBytes(withHeader, 80 + LocalSessionState::kSize);
    EXPECT_EQ(std::vector<uint8_t>(headed.begin(), headed.begin() + 80), Field("local", 80));
    EXPECT_TRUE(std::equal(record.begin(), record.end(), headed.begin() + 80));

    platform::UniqueFd bare = pipe.SaveState(false);
    ASSERT_TRUE(bare);
    const std::vector<uint8_t> plain = MappingBytes(bare, 80 + LocalSessionState::kSize);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), plain.begin()));
    EXPECT_TRUE(
        std::all_of(plain.begin() + LocalSessionState::kSize, plain.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(LocalPipeTest, RecordRoundTripThroughAMappingHandle) {
    CLocalPipe source;
    FillEveryField(source);
    platform::UniqueFd handle = source.SaveState(false);
    ASSERT_TRUE(handle);
    const int number = handle.Release();

    CLocalPipe target;
    ASSERT_TRUE(target.ParseOptions(nullptr, "-x" + std::to_string(number), true));
    EXPECT_LT(::fcntl(number, F_GETFD), 0) << "the handle stays open";
    const LocalSessionState::Bytes expected = source.State().ToRecord();
    EXPECT_EQ(target.State().ToRecord(), expected);
    EXPECT_EQ(target.m_BillServID, 77);

    // An already mapped record, as the control hands it over behind its header.
    CLocalPipe fromRecord;
    ASSERT_TRUE(fromRecord.LoadState(-1, 0, std::span<const uint8_t>(expected)));
    EXPECT_EQ(fromRecord.State().ToRecord(), expected);
    EXPECT_FALSE(fromRecord.LoadState(-1, 0, std::span<const uint8_t>(expected.data(), 100)));

    // A handle that is nobody's.
    CLocalPipe none;
    EXPECT_FALSE(none.LoadState(999, 0, std::nullopt));
    EXPECT_THAT(m_prompt.Shown(), ElementsAre(platform::PromptRequest{"Error opening source process", "",
                                                                      platform::PromptIcon::Stop}));
}

TEST_F(LocalPipeTest, DamagedRecordFieldsAreCutNeverOverrun) {
    LocalSessionState::Bytes record{};
    std::fill(record.begin(), record.end(), 'z');
    const std::optional<LocalSessionState> state = LocalSessionState::FromRecord(record);
    ASSERT_TRUE(state);
    EXPECT_EQ(state->m_switch4.Str(), std::string(127, 'z'));
    EXPECT_EQ(state->m_runText.Str(), std::string(79, 'z'));
    EXPECT_EQ(state->m_dataSet.Str(), std::string(511, 'z'));
    EXPECT_EQ(state->m_switch2.Str(), std::string(511, 'z'));
    EXPECT_FALSE(LocalSessionState::FromRecord(std::span<const uint8_t>(record.data(), record.size() - 1)));
}

// A control re-created in this process takes the session over from its detach record, live pipe and all;
// a record for another process hands no pipe ends over.
TEST_F(LocalPipeTest, DetachRecordHandsTheLivePipeOver) {
    std::unique_ptr<CLocalPipe> first = MakePipe();
    ASSERT_TRUE(first->Open(&m_owner));
    const pid_t child = first->ChildPid();
    platform::UniqueFd detach = first->SaveState(false);
    ASSERT_TRUE(detach);
    first.reset();

    CLocalPipe second;
    ASSERT_TRUE(second.LoadState(detach.Release(), 0, std::nullopt));
    EXPECT_TRUE(WriteText(second, "still here\r/quit\r"));
    const std::string out = ReadToEnd(second);
    EXPECT_THAT(out, HasSubstr("Started as sorel"));
    EXPECT_THAT(out, ::testing::EndsWith("still here\r/quit\r"));
    EXPECT_TRUE(testing::WaitUntilReaped(child));

    // With the header the record leaves the process: the ends close with their pipe, the host sees the end.
    fs::remove(m_record);
    std::unique_ptr<CLocalPipe> third = MakePipe();
    ASSERT_TRUE(third->Open(&m_owner));
    const pid_t thirdChild = third->ChildPid();
    platform::UniqueFd forOthers = third->SaveState(true);
    third.reset();
    EXPECT_TRUE(testing::WaitUntilReaped(thirdChild));
    ASSERT_TRUE(RunOf("sorel"));
    EXPECT_TRUE(RunOf("sorel")->exitCode.has_value());
    EXPECT_EQ(RunOf("sorel")->received, "");
}

// ---------------------------------------------------------------------------------------------------------
// Reads and writes

TEST_F(LocalPipeTest, OutputAndErrorsArriveThroughReadUntilTheEnd) {
    Script("send out-1\\n\nsenderr err-2\\n\nsend out-3\\n\nexit 0\n");
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    int32_t error = 0;
    EXPECT_EQ(ReadToEnd(*pipe, &error), "out-1\nerr-2\nout-3\n");
    EXPECT_EQ(error, kBrokenPipe);
    uint32_t got = 7;
    char byte;
    EXPECT_FALSE(pipe->Read(&byte, 1, got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(pipe->LastError(), kBrokenPipe);
    EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid())) << "the host program was left a zombie";

    // Writing to a host that has gone fails quietly instead of ending this process.
    EXPECT_FALSE(WriteText(*pipe, "anyone?"));
    EXPECT_EQ(pipe->LastError(), kNoData);
    pipe->Close();
    EXPECT_FALSE(WriteText(*pipe, "x"));
    EXPECT_EQ(pipe->LastError(), kInvalidHandle);
}

TEST_F(LocalPipeTest, CloseBringsABlockedReadOut) {
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    std::mutex mutex;
    std::condition_variable greeted;
    std::string out;
    int32_t error = 0;
    std::thread reader([&] {
        char buffer[1024];
        uint32_t got = 0;
        while (pipe->Read(buffer, sizeof buffer, got)) {
            std::lock_guard lock(mutex);
            out.append(buffer, got);
            greeted.notify_all();
        }
        error = pipe->LastError();
    });
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(greeted.wait_for(lock, std::chrono::seconds(30),
                                     [&] { return out.find("Type /quit") != std::string::npos; }));
    }
    pipe->Close();
    reader.join();
    EXPECT_TRUE(error == kOperationAborted || error == kInvalidHandle) << error;
    // The host program saw the end of its input and ended.
    EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
    ASSERT_TRUE(RunOf("sorel"));
    EXPECT_EQ(RunOf("sorel")->exitCode, 0);
}

TEST_F(LocalPipeTest, CloseBringsAWriteToAStuckHostOut) {
    Script("sleep 60000\n");
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    std::atomic<bool> written{true};
    std::thread writer([&] {
        const std::string block(1 << 20, 'k');  // more than any pipe holds
        written = pipe->Write(block.data(), static_cast<uint32_t>(block.size()));
    });
    // Whether the write is still waiting or not yet begun, Close must not hang on it.
    pipe->Close();
    writer.join();
    EXPECT_FALSE(written);
    ::kill(pipe->ChildPid(), SIGKILL);
    EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
}

// ---- The try-write: never waits, a block whole or not at all ----

TEST_F(LocalPipeTest, TryWriteTakesWholeBlocksUntilTheStuckHostsPipeIsFullAndNeverWaits) {
    Script("sleep 60000\n");
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    const int end = pipe->State().m_stdinWrite;
    const std::string block(100, 'k');
    std::size_t written = 0;
    TryWriteResult result = TryWriteResult::Written;
    // A host that reads nothing fills the pipe: the try then takes nothing, and never a part.
    for (int i = 0; i < 100000 && result == TryWriteResult::Written; ++i) {
        result = pipe->TryWrite(block.data(), static_cast<uint32_t>(block.size()));
        if (result == TryWriteResult::Written) {
            written += block.size();
        }
        int held = 0;
        ASSERT_EQ(::ioctl(end, FIONREAD, &held), 0);
        ASSERT_EQ(static_cast<std::size_t>(held), written) << "a block went in part";
    }
    EXPECT_EQ(result, TryWriteResult::NotWritten);
    EXPECT_GT(written, 0u);
    // Longer than the pipe takes whole: left to the caller even when there is room.
    const std::string big(PIPE_BUF + 1, 'b');
    EXPECT_EQ(pipe->TryWrite(big.data(), static_cast<uint32_t>(big.size())), TryWriteResult::NotWritten);
    pipe->Close();
    EXPECT_EQ(pipe->TryWrite(block.data(), 1), TryWriteResult::Failed);
    ::kill(pipe->ChildPid(), SIGKILL);
    EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
}

// ---- WakeReader: the reader comes out, the session stays ----

// Until the host's output holds bytes for the reader; the time-out is only a safety net.
bool WaitForOutput(const CLocalPipe& pipe) {
    pollfd readable{pipe.State().m_stdoutRead, POLLIN, 0};
    return ::poll(&readable, 1, 30000) == 1;
}

TEST_F(LocalPipeTest, WakeBringsABlockedReadOutAndANewReaderReadsOn) {
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    std::string seen;
    ASSERT_TRUE(ReadUntilText(*pipe, "Type /quit to end the session.\r\n", seen));

    auto read = testing::ReadOnThread(*pipe);
    EXPECT_EQ(read.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << "nothing was sent, the read must wait";
    pipe->WakeReader();
    const testing::ReadOutcome woken = testing::AwaitWokenRead(read, [&] { pipe->Close(); });
    EXPECT_FALSE(woken.ok);
    EXPECT_EQ(woken.lastError, kOperationAborted);
    EXPECT_EQ(woken.bytes, "");

    // The ends are open: the host reads on, and a new reader gets its answer.
    EXPECT_TRUE(WriteText(*pipe, "after\r"));
    auto next = testing::ReadOnThread(*pipe);
    ASSERT_EQ(next.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    std::string after = next.get().bytes;
    EXPECT_TRUE(ReadUntilText(*pipe, "after\r", after));
    EXPECT_EQ(after, "after\r");
    EXPECT_TRUE(WriteText(*pipe, "/quit\r"));
    EXPECT_EQ(ReadToEnd(*pipe), "/quit\r");
    EXPECT_TRUE(testing::WaitUntilReaped(pipe->ChildPid()));
    ASSERT_TRUE(RunOf("sorel"));
    EXPECT_EQ(RunOf("sorel")->received, "after\r/quit\r");
}

TEST_F(LocalPipeTest, OutputHeldBeforeAWakeStaysForTheNextRead) {
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    std::string seen;
    ASSERT_TRUE(ReadUntilText(*pipe, "Type /quit to end the session.\r\n", seen));
    EXPECT_TRUE(WriteText(*pipe, "held\r"));
    ASSERT_TRUE(WaitForOutput(*pipe));

    // Wakes that no Read took count as one, and it takes no byte.
    pipe->WakeReader();
    pipe->WakeReader();
    char buffer[64];
    uint32_t got = 7;
    EXPECT_FALSE(pipe->Read(buffer, sizeof buffer, got));
    EXPECT_EQ(pipe->LastError(), kOperationAborted);
    EXPECT_EQ(got, 0u);
    std::string held;
    ASSERT_TRUE(ReadUntilText(*pipe, "held\r", held));
    EXPECT_EQ(held, "held\r");
    EXPECT_TRUE(WriteText(*pipe, "/quit\r"));
    EXPECT_EQ(ReadToEnd(*pipe), "/quit\r");
}

TEST_F(LocalPipeTest, ReadersWokenAtAnyPointLoseNoByte) {
    std::unique_ptr<CLocalPipe> pipe = MakePipe();
    ASSERT_TRUE(pipe->Open(&m_owner));
    std::string seen;
    ASSERT_TRUE(ReadUntilText(*pipe, "Type /quit to end the session.\r\n", seen));
    const std::string sent = testing::EchoText(100000);
    const testing::WokenEchoRun run = testing::EchoThroughWokenReaders(*pipe, sent);
    EXPECT_FALSE(run.failed);
    EXPECT_GT(run.woken, 0);
    ASSERT_EQ(run.received.size(), sent.size());
    EXPECT_TRUE(run.received == sent) << "bytes were lost, doubled or reordered across the wakes";
    pipe->Close();
}

// A wake is for the reader of the ends it was given for: ends handed over by the detach record, or of a
// new start, begin without it.
TEST_F(LocalPipeTest, AWakeStaysWithThePipeThatHandsTheSessionOver) {
    std::unique_ptr<CLocalPipe> first = MakePipe();
    ASSERT_TRUE(first->Open(&m_owner));
    std::string seen;
    ASSERT_TRUE(ReadUntilText(*first, "Type /quit to end the session.\r\n", seen));
    EXPECT_FALSE(first->Offered());
    platform::UniqueFd detach = first->SaveState(false);
    ASSERT_TRUE(detach);
    EXPECT_TRUE(first->Offered());
    first->WakeReader();
    first.reset();

    CLocalPipe second;
    ASSERT_TRUE(second.LoadState(detach.Release(), 0, std::nullopt));
    EXPECT_TRUE(WriteText(second, "still here\r/quit\r"));
    EXPECT_EQ(ReadToEnd(second), "still here\r/quit\r");
}

TEST_F(LocalPipeTest, AppUserReachesTheOwner) {
    CLocalPipe pipe(&m_owner);
    pipe.SetAppUser(9, "host-pw");
    EXPECT_EQ(pipe.m_appUser, 9);
    EXPECT_EQ(pipe.m_appPassword.Str(), "host-pw");
    EXPECT_EQ(m_owner.m_appUser, 9);
    EXPECT_EQ(m_owner.m_appPassword, "host-pw");
}

// A pipe on the ends of a host started elsewhere; the test holds the host's ends.
class LocalPipeAttachTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int output[2];
        int input[2];
        ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
        m_hostWrite = platform::UniqueFd(output[1]);
        m_hostRead = platform::UniqueFd(input[0]);
        m_pipe.AttachEnds(platform::UniqueFd(input[1]), platform::UniqueFd(output[0]));
    }

    platform::UniqueFd m_hostWrite;
    platform::UniqueFd m_hostRead;
    CLocalPipe m_pipe;
};

// Ends of a host started elsewhere: the pipe reads its output, writes and try-writes keys to it, and a
// Close brings a waiting Read out.
TEST_F(LocalPipeAttachTest, ReadsAndWritesOnAttachedEnds) {
    ASSERT_EQ(::write(m_hostWrite.Get(), "screen", 6), 6);
    char buffer[16];
    uint32_t got = 0;
    ASSERT_TRUE(m_pipe.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "screen");

    EXPECT_TRUE(m_pipe.Write("ab", 2));
    EXPECT_EQ(m_pipe.TryWrite("c", 1), TryWriteResult::Written);
    char keys[3];
    ASSERT_EQ(::read(m_hostRead.Get(), keys, sizeof keys), 3);
    EXPECT_EQ(std::string(keys, 3), "abc");

    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_pipe.Close();
    });
    EXPECT_FALSE(m_pipe.Read(buffer, sizeof buffer, got));
    closer.join();
}

// The hook runs only when a Read is about to wait, before it waits: output that waits is read without it,
// and the host's next output, written from inside the hook, is what the waiting Read returns.
TEST_F(LocalPipeAttachTest, TheHookBeforeAWaitRunsOnlyWhenTheReadWaits) {
    ASSERT_TRUE(m_pipe.CallsBeforeReadWait());
    int calls = 0;
    m_pipe.SetBeforeReadWait([&] {
        if (++calls == 1) {
            EXPECT_EQ(::write(m_hostWrite.Get(), "next", 4), 4);
        }
    });

    ASSERT_EQ(::write(m_hostWrite.Get(), "ready", 5), 5);
    char buffer[16];
    uint32_t got = 0;
    ASSERT_TRUE(m_pipe.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "ready");
    EXPECT_EQ(calls, 0) << "the hook ran though output was waiting";

    ASSERT_TRUE(m_pipe.Read(buffer, sizeof buffer, got));
    EXPECT_EQ(std::string(buffer, got), "next");
    EXPECT_EQ(calls, 1);
}

// The window thread try-writes keys while a teardown closes the pipe: every block the try took is on the
// wire whole, none is cut by the close, and once a try has failed the pipe takes nothing more.
TEST_F(LocalPipeAttachTest, TryWritesRacingACloseLoseNoTakenBlock) {
    std::atomic<std::size_t> taken{0};
    std::atomic<bool> tookAfterFailing{false};
    std::thread keys([&] {
        bool failed = false;
        for (;;) {
            const TryWriteResult result = m_pipe.TryWrite("key", 3);
            if (result == TryWriteResult::Written) {
                tookAfterFailing = tookAfterFailing || failed;
                taken.fetch_add(1);
            } else if (result == TryWriteResult::Failed) {
                if (failed) {
                    return;  // a second look: still closed
                }
                failed = true;
            }
        }
    });
    std::string wire;
    char buffer[4096];
    while (wire.size() < 3000) {
        const ssize_t n = ::read(m_hostRead.Get(), buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        wire.append(buffer, static_cast<std::size_t>(n));
    }
    m_pipe.Close();
    keys.join();
    for (ssize_t n = 0; (n = ::read(m_hostRead.Get(), buffer, sizeof buffer)) > 0;) {
        wire.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_FALSE(tookAfterFailing.load());
    EXPECT_EQ(wire.size(), taken.load() * 3);
    std::string expected;
    for (std::size_t i = 0; i < taken.load(); ++i) {
        expected += "key";
    }
    EXPECT_EQ(wire, expected);
}

}  // namespace
}  // namespace hostlink
