// The window exports under a private Xvfb, bare and with a small EWMH window manager, against windows of a
// small test program: counting, stopping the owners by caption and closing the server's window.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>

#include "installsupport/dorvik.h"
#include "installsupport/window_list.h"
#include "platform/spawn.h"
#include "testsupport/test_support.h"
#include "testsupport/xvfb_server.h"

namespace {

using testsupport::ReadFile;

class DorvikWindows : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        if (auto why = testsupport::XvfbMissing()) {
            GTEST_SKIP() << *why;
        }
        std::string error;
        ASSERT_TRUE(m_xvfb.Start(error)) << error;
        m_env.Set("DISPLAY", m_xvfb.Display());
        m_tmp = m_temp.Path() / "tmp";
        std::filesystem::create_directories(m_tmp);
        m_env.Set("TMPDIR", m_tmp.string());
        if (GetParam()) {
            StartWindowManager();
        }
    }
    void TearDown() override {
        for (pid_t pid : m_children) {
            kill(pid, SIGKILL);
            platform::WaitForExit(pid);
        }
    }

    void StartWindowManager() {
        platform::SpawnOptions options;
        options.program = "matchbox-window-manager";
        options.argv = {"matchbox-window-manager", "-use_titlebar", "no"};
        options.nullStdio = true;
        auto wm = platform::Spawn(options);
        if (!wm) {
            GTEST_SKIP() << "matchbox-window-manager is not installed";
        }
        m_children.push_back(wm->pid);
        // Ready once it has announced itself on the root window.
        xcb_connection_t* c = xcb_connect(nullptr, nullptr);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 24, "_NET_SUPPORTING_WM_CHECK"), nullptr);
        bool ready = false;
        for (int i = 0; i < 2500 && !ready; ++i) {
            auto* reply = xcb_get_property_reply(
                c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
            ready = reply && xcb_get_property_value_length(reply) > 0;
            std::free(reply);
            if (!ready) {
                usleep(2000);
            }
        }
        std::free(atom);
        xcb_disconnect(c);
        ASSERT_TRUE(ready) << "the window manager did not start";
    }

    // Starts the window program with these arguments and waits until each caption is listed.
    pid_t Windows(const std::vector<std::string>& args, const std::vector<std::string>& captions) {
        platform::SpawnOptions options;
        options.program = DORVIK_WINDOW_PROGRAM;
        options.argv = {DORVIK_WINDOW_PROGRAM};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.pipeStdout = true;
        auto child = platform::Spawn(options);
        if (!child) {
            ADD_FAILURE() << "cannot start the window program";
            return -1;
        }
        m_children.push_back(child->pid);
        char ready[6] = {};
        EXPECT_EQ(read(child->stdoutRead.Get(), ready, sizeof ready), 6);
        for (const auto& caption : captions) {
            EXPECT_TRUE(WaitForCaption(caption, true)) << caption;
        }
        return child->pid;
    }

    static bool WaitForCaption(const std::string& caption, bool present) {
        for (int i = 0; i < 1000; ++i) {
            dorvik::Display display;
            bool found = false;
            for (const auto& w : display.TopLevelWindows()) {
                found = found || w.caption == caption;
            }
            if (found == present) {
                return true;
            }
            usleep(5000);
        }
        return false;
    }

    int Reap(pid_t pid) {
        std::erase(m_children, pid);
        return platform::WaitForExit(pid);
    }
    static bool Running(pid_t pid) { return !platform::PollExit(pid); }
    std::string Log() const { return ReadFile(m_tmp / "DorvikLog.txt"); }

    testsupport::XvfbServer m_xvfb;
    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    std::filesystem::path m_tmp;
    std::vector<pid_t> m_children;
};

TEST_P(DorvikWindows, CountsCaptionsContainingThePattern) {
    Windows({"T-a x", "T-b x"}, {"T-a x", "T-b x"});
    Windows({"-hidden", "T-b y"}, {"T-b y"});
    Windows({"-wmname", "T-c \xE9"}, {"T-c \xC3\xA9"});  // WM_NAME in Latin-1
    struct Case {
        std::string pattern;
        BOOL result;
    };
    const Case cases[] = {
        {"T-none", 1}, {"T-a", 1}, {"T-b", 0}, {"T-", 0}, {"T-c \xC3\xA9", 1}, {"legacy", 1},
    };
    for (const auto& c : cases) {
        // Asked twice: an earlier call never decides a later one.
        EXPECT_EQ(CountMatchingCaptions(c.pattern.c_str()), c.result) << c.pattern;
        EXPECT_EQ(CountMatchingCaptions(c.pattern.c_str()), c.result) << c.pattern;
    }
    EXPECT_EQ(CountMatchingCaptions(""), 1);
    EXPECT_EQ(Log(), "An empty caption matches no window.\n");
    EXPECT_EQ(CountMatchingCaptions(nullptr), 1);
    EXPECT_EQ(StopProcMatchingCaption(""), 0);
    const std::string longPattern(2000, 'T');
    EXPECT_EQ(CountMatchingCaptions(longPattern.c_str()), 1);
}

TEST_P(DorvikWindows, StopByCaptionEndsExactlyTheOwnersOnce) {
    const pid_t owner = Windows({"S-a 1", "S-a 2"}, {"S-a 1", "S-a 2"});
    const pid_t unknown = Windows({"-nopid", "S-a 3"}, {"S-a 3"});
    const pid_t remote = Windows({"-host", "elsewhere.example", "S-a 4"}, {"S-a 4"});
    const pid_t other = Windows({"S-other"}, {"S-other"});

    // A window of the caller itself.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t mine = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, mine, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, mine, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 8, "S-a self");
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, mine, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(std::strlen(host)), host);
    auto* pidAtom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), nullptr);
    const uint32_t self = static_cast<uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, mine, pidAtom->atom, XCB_ATOM_CARDINAL, 32, 1, &self);
    std::free(pidAtom);
    xcb_map_window(c, mine);
    xcb_flush(c);
    ASSERT_TRUE(WaitForCaption("S-a self", true));

    EXPECT_EQ(StopProcMatchingCaption("S-a"), 1);
    EXPECT_EQ(Reap(owner), 128 + SIGTERM);
    EXPECT_TRUE(Running(unknown));
    EXPECT_TRUE(Running(remote));
    EXPECT_TRUE(Running(other));
    // A line each for the window without a pid and the other host's; the owner was signalled once (a
    // second signal to the ended process would have logged a warning), the caller never.
    EXPECT_EQ(Log(), "Invalid Process ID!\nInvalid Process ID!\n");
    xcb_disconnect(c);
}

TEST_P(DorvikWindows, StopWithCaptionClosesOnlyTheServersWindow) {
    const pid_t honours = Windows({"Corvane Server main"}, {"Corvane Server main"});
    const pid_t ignores = Windows({"-ignoreclose", "Corvane Server stubborn"}, {"Corvane Server stubborn"});
    const pid_t plain = Windows({"Plain window"}, {"Plain window"});

    StopProcWithCaption("Corvane Server main");
    EXPECT_EQ(Reap(honours), 0);  // closed by itself, not ended by a signal
    StopProcWithCaption("Plain window");
    StopProcWithCaption("Corvane Server");  // no window has exactly this caption
    EXPECT_TRUE(Running(plain));
    StopProcWithCaption("Corvane Server stubborn");
    EXPECT_TRUE(Running(ignores));
    EXPECT_TRUE(WaitForCaption("Corvane Server stubborn", true));
}

TEST_P(DorvikWindows, AScreenTheServerLacksIsRefused) {
    m_env.Set("DISPLAY", m_xvfb.Display() + ".7");
    EXPECT_EQ(CountMatchingCaptions("anything"), 1);
    EXPECT_NE(Log(), "");
    EXPECT_EQ(StopProcMatchingCaption("anything"), 0);
    EXPECT_NE(Log(), "");
}

INSTANTIATE_TEST_SUITE_P(WindowManager, DorvikWindows, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Matchbox" : "Bare"; });

TEST(DorvikNoDisplay, WindowExportsSayWhy) {
    testsupport::TempFolder temp;
    testsupport::ScopedEnv env;
    env.Set("TMPDIR", temp.Path().string());
    env.Set("DISPLAY", "");
    EXPECT_EQ(CountMatchingCaptions("anything"), 1);
    EXPECT_NE(ReadFile(temp.Path() / "DorvikLog.txt").find("no X display"), std::string::npos);
    EXPECT_EQ(StopProcMatchingCaption("anything"), 0);
    EXPECT_NE(ReadFile(temp.Path() / "DorvikLog.txt").find("no X display"), std::string::npos);
}

}  // namespace
