// The object manager creating the real document viewer from a temporary class registry on a private
// session bus: the host's answers for its calls and release, a deletion of a file it was not given, and,
// under a private X server, a password typed into the viewer's "Approve" dialog reaching the host.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <array>
#include <chrono>
#include <deque>
#include <fstream>
#include <thread>

#include "platform/automation/bus/local_server.h"
#include "platform/automation/class_registry.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "terminal/objects/object_manager.h"
#include "testsupport/child_hives.h"
#include "testsupport/session_bus_environment.h"
#include "testsupport/test_support.h"
#include "testsupport/xvfb_server.h"

namespace terminal {
namespace {

namespace automation = platform::automation;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr automation::Guid kViewerClsid =
    automation::Guid::FromLiteral("{6D91C147-3D7F-4F4D-B570-F4E69B8D09C0}");

// Records what reaches the host; posted tasks run when the test pumps.
class RecordingHost : public ObjectHost {
  public:
    void WriteChannel0(std::string_view bytes) override { written.emplace_back(bytes); }
    std::string ConnectionText() override { return "local"; }
    int32_t WindowHandle() override { return 0; }
    bool PostToOwner(std::function<void()> task) override {
        tasks.push_back(std::move(task));
        return true;
    }
    void Pump() {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        while (!tasks.empty()) {
            auto task = std::move(tasks.front());
            tasks.pop_front();
            task();
        }
    }
    std::string Last() { return written.empty() ? std::string() : written.back(); }

    std::vector<std::string> written;
    std::deque<std::function<void()>> tasks;
};

class LumetraEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto why = testsupport::SessionBusEnvironment::Missing()) {
            GTEST_SKIP() << *why;
        }
        m_hives = std::make_unique<testsupport::ChildHives>(m_dir, m_env);
        automation::ClassRegistration viewer{kViewerClsid, "Lumetra.Document", "Lumetr Document",
                                             "",           "Apartment",        {}};
        viewer.kind = automation::ServerKind::LocalServer;
        viewer.programPath = CARROWLINE_LUMETRA;
        viewer.busName = "com.carrowline.Lumetra";
        ASSERT_EQ(automation::RegisterClass(viewer, automation::RegistrationScope::User), automation::S_OK);
        automation::bus::InstallLocalServerActivator();
        m_manager = std::make_unique<CObjectManager>(m_host);
    }
    void TearDown() override {
        m_manager.reset();
        automation::SetLocalServerActivator(nullptr);
        m_hives.reset();
    }

    std::string Call(std::string_view member, std::string_view argument) {
        m_manager->OnCallRequest("0\x02" + std::string(member) + "\x02" + std::string(argument));
        return m_host.Last();
    }
    bool WaitForWrite(const std::string& bytes, std::chrono::seconds deadline = 30s) {
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (std::find(m_host.written.begin(), m_host.written.end(), bytes) == m_host.written.end()) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            m_host.Pump();
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_dir = m_temp.Path();
    const fs::path m_home = m_dir / "home";
    std::unique_ptr<testsupport::ChildHives> m_hives;
    RecordingHost m_host;
    std::unique_ptr<CObjectManager> m_manager;
};

TEST_F(LumetraEndToEndTest, HostCreatesCallsAndReleasesTheViewer) {
    m_manager->OnCreateRequest("Lumetra.Document");
    ASSERT_EQ(m_host.Last(), "\x1b\\0\x01");
    std::ofstream(m_home / "not-given.txt") << "x";
    // The host's answers: ESC \ 0 0x01 result 0x01 for a call, ESC \ 1 0x01 for an unknown member.
    const std::string result = "\x1b\\0\x01";
    const std::vector<std::array<std::string, 3>> calls{
        {"SetCaption", "Letter", result + "0\x01"},
        {"EnableButton", "all", result + "0\x01"},
        {"OpenFile", "C:\\missing.pdf", result + "1\x01"},
        {"FileDelete", "C:\\not-given.txt", result + "0\x01"},
        {"NoSuchMember", "", "\x1b\\1\x01"},
    };
    for (const auto& [member, argument, answer] : calls) {
        EXPECT_EQ(Call(member, argument), answer) << member;
    }
    EXPECT_FALSE(fs::exists(m_home / "not-given.txt"));
    EXPECT_EQ(Call("NoSuchMember", ""), "\x1b\\1\x01");
    m_manager->OnReleaseRequest(0, 0);
    EXPECT_EQ(m_host.Last(), "\x1b\\1\x01");
    EXPECT_FALSE(m_manager->SlotInUse(0));
}

TEST_F(LumetraEndToEndTest, PasswordTypedIntoApproveReachesTheHost) {
    if (auto why = testsupport::XvfbMissing()) {
        GTEST_SKIP() << *why;
    }
    if (::access("/usr/bin/xdotool", X_OK) != 0) {
        GTEST_SKIP() << "xdotool is not installed (Debian package xdotool)";
    }
    testsupport::XvfbServer x;
    std::string error;
    ASSERT_TRUE(x.Start(error)) << error;
    m_env.Set("DISPLAY", x.Display());
    m_env.Set("QT_QPA_PLATFORM", "xcb");

    m_manager->OnCreateRequest("Lumetra.Document");
    ASSERT_EQ(m_host.Last(), "\x1b\\0\x01");
    auto xdotool = [&](std::vector<std::string> args) {
        platform::SpawnOptions options;
        options.program = "/usr/bin/xdotool";
        options.argv = {options.program};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.nullStdio = true;
        auto child = platform::Spawn(options);
        return child ? platform::WaitForExit(child->pid) : -1;
    };
    for (const char* typed : {"pw s3cret", ""}) {
        SCOPED_TRACE(typed);
        ASSERT_EQ(Call("GetPassword", ""),
                  "\x1b\\0\x01"
                  "0\x01");
        // The dialog opens once the call has returned; no window manager runs, so focus is set directly.
        const auto end = std::chrono::steady_clock::now() + 30s;
        while (xdotool({"search", "--onlyvisible", "--name", "^Approve$"}) != 0) {
            ASSERT_LT(std::chrono::steady_clock::now(), end) << "the Approve dialog did not appear";
            m_host.Pump();
            std::this_thread::sleep_for(50ms);
        }
        // Typed through XTEST to the focused window: events sent to a named window are marked synthetic.
        ASSERT_EQ(xdotool({"search", "--onlyvisible", "--name", "^Approve$", "windowfocus", "--sync"}), 0);
        if (*typed) {
            ASSERT_EQ(xdotool({"type", "--delay", "20", typed}), 0);
        }
        ASSERT_EQ(xdotool({"key", *typed ? "Return" : "Escape"}), 0);
        EXPECT_TRUE(WaitForWrite(std::string("\x1b[*0 ") + typed + "\n"));
        m_host.written.clear();
    }
    m_manager->OnReleaseRequest(1, 0);
    EXPECT_FALSE(m_manager->SlotInUse(0));
}

}  // namespace
}  // namespace terminal
