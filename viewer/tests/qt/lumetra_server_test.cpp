// The real lumetra program on a private session bus, created by ProgID from a temporary class registry:
// its members across the bus, deletions it refuses, release with the password dialog open, self-
// registration, and the message when the bus cannot be reached.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/automation/bus/local_server.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch_object.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "testsupport/session_bus_environment.h"
#include "testsupport/test_support.h"
#include "viewer/lumetra_doc.h"
#include "viewer/lumetra_log.h"
#include "viewer/qt/lumetra_app.h"
#include "viewer/registration.h"

namespace viewer {
namespace {

namespace automation = platform::automation;
namespace fs = std::filesystem;
using automation::Variant;
using automation::VarType;
using namespace std::chrono_literals;

class PostRecorder : public automation::DispatchObject {
  public:
    PostRecorder() {
        Table().Method("PostMessage", 1, {VarType::I4, VarType::I4, VarType::I4}, VarType::Bool,
                       [this](std::span<const Variant> args) {
                           posts.push_back(static_cast<uint32_t>(args[0].AsI4()));
                           return Variant::Bool(true);
                       });
    }
    std::vector<uint32_t> posts;
};

class LumetraServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto why = testsupport::SessionBusEnvironment::Missing()) {
            GTEST_SKIP() << *why;
        }
        // The hives the started viewer finds through the environment, made before the registry is.
        m_env.Set("CARROWLINE_ROOT", (m_dir / "root").string());
        m_env.Set("XDG_CONFIG_HOME", (m_dir / "config").string());
        m_env.Set("XDG_STATE_HOME", (m_dir / "state").string());
        m_env.Set("HOME", m_home.string());
        m_env.Set("TMPDIR", m_dir.string());
        m_env.Unset(automation::kRegisterScopeVariable);
        fs::create_directories(m_home);
        m_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{platform::MachineHivePath(), platform::UserHivePath()});
        platform::Registry::OverrideDefault(m_registry.get());
        ASSERT_EQ(automation::RegisterClass(LumetraRegistration(CARROWLINE_LUMETRA),
                                            automation::RegistrationScope::User),
                  automation::S_OK);
        ASSERT_EQ(m_registry->SetValue(platform::HKey::LocalMachine, kTranscriptionKey, kLogFilePathValue,
                                       platform::RegValue::String(m_log.string())),
                  0);
        automation::bus::InstallLocalServerActivator();
    }
    void TearDown() override {
        automation::SetLocalServerActivator(nullptr);
        platform::Registry::OverrideDefault(nullptr);
    }

    std::shared_ptr<automation::IDispatch> Create() {
        std::shared_ptr<automation::IDispatch> object;
        std::string message;
        EXPECT_EQ(automation::CreateByProgID("Lumetra.Document", object, &message), automation::S_OK)
            << message;
        return object;
    }
    static std::string Call(automation::IDispatch& doc, std::string_view name,
                            std::vector<Variant> args = {}) {
        automation::DISPID id = automation::DISPID_UNKNOWN;
        EXPECT_EQ(doc.GetIDOfName(name, id), automation::S_OK) << name;
        Variant result;
        EXPECT_EQ(doc.Invoke(id, automation::InvokeKind::Method, args, &result, nullptr), automation::S_OK)
            << name;
        return result.AsBstr();
    }
    static std::string Call1(automation::IDispatch& doc, std::string_view name, std::string arg) {
        return Call(doc, name, {Variant::Bstr(std::move(arg))});
    }
    std::string LogText() const {
        std::ifstream in(m_log);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_dir = m_temp.Path();
    const fs::path m_home = m_dir / "home";
    const fs::path m_log = m_dir / "lumetra.log";
    std::unique_ptr<platform::Registry> m_registry;
};

TEST_F(LumetraServerTest, MembersAnswerAcrossTheBus) {
    auto doc = Create();
    ASSERT_NE(doc, nullptr);
    std::ofstream(m_home / "given.txt") << "x";
    std::ofstream(m_home / "target.txt") << "x";
    fs::create_symlink(m_home / "target.txt", m_home / "link.txt");

    EXPECT_EQ(Call1(*doc, "SetCaption", "Letter \xE9"), "0");
    EXPECT_EQ(Call1(*doc, "EnableButton", "all"), "0");
    EXPECT_EQ(Call1(*doc, "OpenFile", "C:\\style.xslt"), "0");
    EXPECT_EQ(Call1(*doc, "OpenFile", "C:\\missing.pdf"), "1");
    EXPECT_EQ(Call1(*doc, "FileDelete", "C:\\given.txt"), "0");
    EXPECT_EQ(Call1(*doc, "FileDelete", "C:\\link.txt"), "1");
    EXPECT_EQ(Call1(*doc, "FileDelete", "C:\\..\\outside.txt"), "1");
    EXPECT_EQ(Call1(*doc, "SafeToNotify", "1"), "0");
    EXPECT_EQ(Call1(*doc, "InvokeMacro", "Macro1 two words"), "1");
    EXPECT_EQ(Call(*doc, "GetNotifyMessage"), "");
    automation::DISPID id = 0;
    EXPECT_EQ(doc->GetIDOfName("NoSuchMember", id), automation::DISP_E_UNKNOWNNAME);
    EXPECT_FALSE(fs::exists(m_home / "given.txt"));
    EXPECT_TRUE(fs::exists(m_home / "target.txt"));

    doc.reset();
    const std::string log = LogText();
    EXPECT_NE(log.find("Lumetra is being started in EMBEDDED mode"), std::string::npos) << log;
    EXPECT_NE(log.find("Lumetra is being asked to open the file named C:\\missing.pdf"), std::string::npos);
    EXPECT_NE(log.find("Lumetra is closing down"), std::string::npos) << log;
}

TEST_F(LumetraServerTest, ReleaseWithThePasswordDialogOpenEndsTheViewerCleanly) {
    auto doc = Create();
    ASSERT_NE(doc, nullptr);
    auto window = std::make_shared<PostRecorder>();
    Call(*doc, "RegisterSorelIDs", {Variant::I4(0), Variant::I4(5), Variant::Dispatch(window)});
    EXPECT_EQ(Call1(*doc, "GetPassword", ""), "0");
    // The dialog opens once the call has returned; give it the time to be open.
    EXPECT_EQ(Call1(*doc, "SetCaption", "still answering"), "0");
    std::this_thread::sleep_for(300ms);
    const auto before = std::chrono::steady_clock::now();
    doc.reset();
    // Well inside the grace after which a released server is killed.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 9s);
    EXPECT_NE(LogText().find("Lumetra is closing down"), std::string::npos);
    QCoreApplication::processEvents();
    for (uint32_t message : window->posts) {
        EXPECT_NE(message, WM_OBJECT_NOTIFY);  // no password text was queued
    }
}

struct ViewerRun {
    int status = -1;
    std::string output;
};

ViewerRun RunViewer(std::vector<std::string> args,
                    std::optional<platform::EnvironmentBlock> env = std::nullopt,
                    const std::string& stopAt = {}) {
    platform::SpawnOptions options;
    options.program = CARROWLINE_LUMETRA;
    options.argv = {options.program};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.environment = std::move(env);
    options.pipeStdout = true;
    options.stderrToStdout = true;
    std::string message;
    auto child = platform::Spawn(options, nullptr, &message);
    ViewerRun run;
    if (!child) {
        ADD_FAILURE() << message;
        return run;
    }
    char buffer[1024];
    ssize_t got = 0;
    while ((got = ::read(child->stdoutRead.Get(), buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<size_t>(got));
        if (!stopAt.empty() && run.output.find(stopAt) != std::string::npos) {
            // The message box waits for a user nobody plays.
            ::kill(child->pid, SIGTERM);
            break;
        }
    }
    run.status = platform::WaitForExit(child->pid);
    return run;
}

TEST_F(LumetraServerTest, RegServerRegistersAndEndsWithoutAWindow) {
    ASSERT_EQ(automation::UnregisterClass(kLumetraClsid, kLumetraProgId, automation::RegistrationScope::User),
              automation::S_OK);
    const ViewerRun run = RunViewer({"/RegServer"});
    EXPECT_EQ(run.status, 0) << run.output;
    automation::LocalServer server;
    ASSERT_EQ(automation::LocalServerOf(kLumetraClsid, server), automation::S_OK);
    EXPECT_EQ(fs::canonical(server.command.front()), fs::canonical(CARROWLINE_LUMETRA));
    EXPECT_EQ(server.busName, kLumetraBusName);
    EXPECT_NE(LogText().find("Lumetra is being started in STANDALONE mode"), std::string::npos);
}

TEST_F(LumetraServerTest, UnreachableBusShowsString100) {
    platform::EnvironmentBlock env = platform::EnvironmentBlock::FromCurrentProcess();
    env.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (m_dir / "no-bus").string());
    const ViewerRun run = RunViewer({"-Embedding"}, env, kOleInitFailed);
    EXPECT_NE(run.output.find(kOleInitFailed), std::string::npos) << run.output;
}

}  // namespace
}  // namespace viewer
