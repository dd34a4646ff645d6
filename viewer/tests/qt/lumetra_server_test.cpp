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
#include "testsupport/child_hives.h"
#include "testsupport/dispatch_calls.h"
#include "testsupport/program_run.h"
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

class LumetraServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto why = testsupport::SessionBusEnvironment::Missing()) {
            GTEST_SKIP() << *why;
        }
        m_hives = std::make_unique<testsupport::ChildHives>(m_dir, m_env);
        m_registry = &m_hives->Reg();
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
        m_hives.reset();
    }

    std::shared_ptr<automation::IDispatch> Create() {
        std::shared_ptr<automation::IDispatch> object;
        std::string message;
        EXPECT_EQ(automation::CreateByProgID("Lumetra.Document", object, &message), automation::S_OK)
            << message;
        return object;
    }
    std::string LogText() const { return testsupport::ReadFile(m_log); }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_dir = m_temp.Path();
    const fs::path m_home = m_dir / "home";
    const fs::path m_log = m_dir / "lumetra.log";
    std::unique_ptr<testsupport::ChildHives> m_hives;
    platform::Registry* m_registry = nullptr;
};

TEST_F(LumetraServerTest, MembersAnswerAcrossTheBus) {
    auto doc = Create();
    ASSERT_NE(doc, nullptr);
    std::ofstream(m_home / "given.txt") << "x";
    std::ofstream(m_home / "target.txt") << "x";
    fs::create_symlink(m_home / "target.txt", m_home / "link.txt");

    EXPECT_EQ(testsupport::CallForText(*doc, "SetCaption", "Letter \xE9"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "EnableButton", "all"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\style.xslt"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "OpenFile", "C:\\missing.pdf"), "1");
    EXPECT_EQ(testsupport::CallForText(*doc, "FileDelete", "C:\\given.txt"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "FileDelete", "C:\\link.txt"), "1");
    EXPECT_EQ(testsupport::CallForText(*doc, "FileDelete", "C:\\..\\outside.txt"), "1");
    EXPECT_EQ(testsupport::CallForText(*doc, "SafeToNotify", "1"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "InvokeMacro", "Macro1 two words"), "1");
    EXPECT_EQ(testsupport::CallForText(*doc, "GetNotifyMessage"), "");
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
    auto window = std::make_shared<testsupport::RecordingClientWindow>();
    testsupport::CallForText(*doc, "RegisterSorelIDs",
                             {Variant::I4(0), Variant::I4(5), Variant::Dispatch(window)});
    EXPECT_EQ(testsupport::CallForText(*doc, "GetPassword", ""), "0");
    // The dialog opens once the call has returned; give it the time to be open.
    EXPECT_EQ(testsupport::CallForText(*doc, "SetCaption", "still answering"), "0");
    std::this_thread::sleep_for(300ms);
    const auto before = std::chrono::steady_clock::now();
    doc.reset();
    // Well inside the grace after which a released server is killed.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 9s);
    EXPECT_NE(LogText().find("Lumetra is closing down"), std::string::npos);
    QCoreApplication::processEvents();
    for (const auto& post : window->posts) {
        const uint32_t message = post.message;
        EXPECT_NE(message, WM_OBJECT_NOTIFY);  // no password text was queued
    }
}

TEST_F(LumetraServerTest, RegServerRegistersAndEndsWithoutAWindow) {
    ASSERT_EQ(automation::UnregisterClass(kLumetraClsid, kLumetraProgId, automation::RegistrationScope::User),
              automation::S_OK);
    const auto run = testsupport::RunProgram(CARROWLINE_LUMETRA, {"/RegServer"});
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
    // The message box waits for a user nobody plays.
    const auto run = testsupport::RunProgram(CARROWLINE_LUMETRA, {"-Embedding"}, env, kOleInitFailed);
    EXPECT_NE(run.output.find(kOleInitFailed), std::string::npos) << run.output;
}

}  // namespace
}  // namespace viewer
