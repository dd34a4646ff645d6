// The real lumetra program on a private session bus, created by ProgID from a temporary class registry:
// its members across the bus, deletions it refuses, release with the password dialog open, self-
// registration, and the message when the bus cannot be reached.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
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
#include "testsupport/xvfb_server.h"
#include "viewer/lumetra_doc.h"
#include "viewer/lumetra_log.h"
#include "viewer/qt/lumetra_app.h"
#include "viewer/registration.h"
#include "viewer/tests/qt/wait_for.h"

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

// The test's own connection to the private X server: it finds the viewer's window, asks it to close as a
// window manager would, and, holding the root window's redirect, receives the activation requests that
// only a window manager gets.
class X11Session {
  public:
    explicit X11Session(const std::string& display) : m_connection(xcb_connect(display.c_str(), nullptr)) {
        if (!xcb_connection_has_error(m_connection)) {
            m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        }
    }
    ~X11Session() { xcb_disconnect(m_connection); }
    bool Ok() const { return m_root != 0; }

    xcb_atom_t Atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr);
        const xcb_atom_t atom = reply ? reply->atom : 0;
        std::free(reply);
        return atom;
    }
    // Takes the window manager's place; false when another holds it.
    bool Redirect() {
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        xcb_generic_error_t* error = xcb_request_check(
            m_connection,
            xcb_change_window_attributes_checked(m_connection, m_root, XCB_CW_EVENT_MASK, &mask));
        std::free(error);
        return error == nullptr;
    }
    // A window of the test's own, standing for the client's.
    xcb_window_t MakeWindow() {
        const xcb_window_t window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 0, 100, 100, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_flush(m_connection);
        return window;
    }
    // What closing the window's title bar sends.
    void AskToClose(xcb_window_t window) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = Atom("WM_PROTOCOLS");
        event.data.data32[0] = Atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
    }
    // The windows that activation requests named since the last `ClearRequests`, as the window manager
    // received them; windows asking to be mapped are mapped, as a window manager would.
    std::vector<uint32_t> ActivationRequests() {
        const xcb_atom_t active = Atom("_NET_ACTIVE_WINDOW");
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const uint8_t type = event->response_type & 0x7F;
            if (type == XCB_CLIENT_MESSAGE) {
                auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
                if (message->type == active) {
                    m_requests.push_back(message->window);
                }
            } else if (type == XCB_MAP_REQUEST) {
                xcb_map_window(m_connection, reinterpret_cast<xcb_map_request_event_t*>(event)->window);
                xcb_flush(m_connection);
            }
            std::free(event);
        }
        return m_requests;
    }
    void ClearRequests() {
        ActivationRequests();
        m_requests.clear();
    }

  private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root = 0;
    std::vector<uint32_t> m_requests;
};

class LumetraX11Test : public LumetraServerTest {
  protected:
    void SetUp() override {
        LumetraServerTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (auto why = testsupport::XvfbMissing()) {
            GTEST_SKIP() << *why;
        }
        std::string error;
        ASSERT_TRUE(m_x.Start(error)) << error;
        m_env.Set("DISPLAY", m_x.Display());
        m_env.Set("QT_QPA_PLATFORM", "xcb");
        m_session = std::make_unique<X11Session>(m_x.Display());
        ASSERT_TRUE(m_session->Ok());
    }
    void TearDown() override {
        m_session.reset();
        LumetraServerTest::TearDown();
    }
    static bool Released(const testsupport::RecordingClientWindow& window, int32_t id) {
        for (const auto& post : window.posts) {
            if (post.message == WM_OBJECT_RELEASE && post.wParam == 1 && post.lParam == id) {
                return true;
            }
        }
        return false;
    }
    static bool ViewerOnTheBus() {
        const QStringList names = QDBusConnection::sessionBus().interface()->registeredServiceNames().value();
        for (const QString& name : names) {
            if (name.startsWith(QString::fromLatin1(kLumetraBusName) + QStringLiteral(".p"))) {
                return true;
            }
        }
        return false;
    }

    testsupport::XvfbServer m_x;
    std::unique_ptr<X11Session> m_session;
};

TEST_F(LumetraX11Test, ClosingTheWindowClosesTheDocumentAndEndsTheViewer) {
    auto doc = Create();
    ASSERT_NE(doc, nullptr);
    auto window = std::make_shared<testsupport::RecordingClientWindow>();
    testsupport::CallForText(*doc, "RegisterSorelIDs",
                             {Variant::I4(0), Variant::I4(7), Variant::Dispatch(window)});
    EXPECT_EQ(testsupport::CallForText(*doc, "SetCaption", "Closing letter"), "0");
    EXPECT_EQ(testsupport::CallForText(*doc, "SetVisible", "1"), "0");
    std::string found;
    ASSERT_TRUE(WaitFor([&] {
        const auto run = testsupport::RunProgram("/usr/bin/xdotool", {"search", "--name", "^Closing letter"});
        found = run.status == 0 ? run.output : std::string();
        return !found.empty();
    })) << "the viewer's window did not appear";
    ASSERT_TRUE(ViewerOnTheBus());

    m_session->AskToClose(static_cast<xcb_window_t>(std::stoul(found)));
    EXPECT_TRUE(WaitFor([&] { return Released(*window, 7); })) << "no release reached the client";
    EXPECT_TRUE(WaitFor([] { return !ViewerOnTheBus(); })) << "the viewer did not end";
    // The object is gone with its process: once the process has ended, a call fails at once.
    automation::DISPID id = 0;
    EXPECT_TRUE(WaitFor([&] { return doc->GetIDOfName("SetCaption", id) != automation::S_OK; }, 10s));
    EXPECT_NE(LogText().find("Lumetra is closing down"), std::string::npos);
}

TEST_F(LumetraX11Test, ReleaseRaisesTheClientWindowOnX11Only) {
    ASSERT_TRUE(m_session->Redirect()) << "another window manager holds the private display";
    const xcb_window_t client = m_session->MakeWindow();
    for (const char* platform : {"xcb", "offscreen"}) {
        SCOPED_TRACE(platform);
        m_env.Set("QT_QPA_PLATFORM", platform);
        m_session->ClearRequests();
        auto doc = Create();
        ASSERT_NE(doc, nullptr);
        auto window = std::make_shared<testsupport::RecordingClientWindow>();
        testsupport::CallForText(
            *doc, "RegisterSorelIDs",
            {Variant::I4(static_cast<int32_t>(client)), Variant::I4(3), Variant::Dispatch(window)});
        EXPECT_TRUE(m_session->ActivationRequests().empty());
        doc.reset();
        // The raise goes out before the viewer ends.
        ASSERT_TRUE(WaitFor([] { return !ViewerOnTheBus(); }));
        const std::vector<uint32_t> expected =
            std::string_view(platform) == "xcb" ? std::vector<uint32_t>{client} : std::vector<uint32_t>{};
        WaitFor([&] { return !m_session->ActivationRequests().empty(); }, expected.empty() ? 500ms : 10s);
        EXPECT_EQ(m_session->ActivationRequests(), expected);
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
