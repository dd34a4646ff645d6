// The display check before a program's QApplication: which platform Qt would use, whether it answers, and
// the suite's programs ending with one plain line and status 1, not Qt's abort, when it does not.
#include "suite/qt/display_reach.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testsupport/program_run.h"
#include "testsupport/test_support.h"
#include "testsupport/xvfb_server.h"

namespace suite::qt {
namespace {

// A display number nothing serves: no socket and no lock file for it.
std::string UnusedDisplay() {
    for (int n = 97; n < 400; ++n) {
        const std::string number = std::to_string(n);
        std::error_code error;
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + number, error) &&
            !std::filesystem::exists("/tmp/.X" + number + "-lock", error))
            return ":" + number;
    }
    return ":399";
}

struct Args {
    std::vector<std::string> text;
    std::vector<char*> argv;
    explicit Args(std::vector<std::string> given) : text(std::move(given)) {
        text.insert(text.begin(), "program");
        for (std::string& arg : text)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(text.size()); }
};

class DisplayReachTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_env.Set("DISPLAY", m_unused);
        m_env.Unset("WAYLAND_DISPLAY");
        m_env.Unset("QT_QPA_PLATFORM");
    }
    bool Reachable(std::vector<std::string> given, std::string* message = nullptr) {
        Args args(std::move(given));
        std::string text;
        const bool reachable = DisplayReachable(args.argc(), args.argv.data(), text);
        if (message)
            *message = text;
        return reachable;
    }

    std::string m_unused = UnusedDisplay();
    testsupport::ScopedEnv m_env;
};

TEST_F(DisplayReachTest, PlatformComesFromTheArgumentThenTheEnvironment) {
    struct Case {
        const char* qpaPlatform;  // nullptr: unset
        std::vector<std::string> args;
        std::vector<std::string> expected;
    } cases[] = {
        {nullptr, {}, {"xcb", "wayland"}},
        {"offscreen", {}, {"offscreen"}},
        {"wayland;xcb", {}, {"wayland", "xcb"}},
        {"xcb:nograb", {}, {"xcb"}},
        {"offscreen", {"-platform", "xcb"}, {"xcb"}},
        {nullptr, {"--platform", "minimal"}, {"minimal"}},
        {nullptr, {"-platform", "xcb", "file.txt", "-platform", "vnc"}, {"vnc"}},
        {"", {}, {"xcb", "wayland"}},
        {nullptr, {"-platform"}, {"xcb", "wayland"}},  // no value: Qt ignores it as well
    };
    for (const Case& c : cases) {
        if (c.qpaPlatform)
            m_env.Set("QT_QPA_PLATFORM", c.qpaPlatform);
        else
            m_env.Unset("QT_QPA_PLATFORM");
        Args args(c.args);
        EXPECT_EQ(PlatformCandidates(args.argc(), args.argv.data()), c.expected)
            << (c.qpaPlatform ? c.qpaPlatform : "(unset)") << " " << ::testing::PrintToString(c.args);
    }
}

TEST_F(DisplayReachTest, AbsentWindowSystemIsReportedWithDisplaysValue) {
    std::string message;
    EXPECT_FALSE(Reachable({}, &message));
    EXPECT_EQ(message, "cannot reach a display (DISPLAY is \"" + m_unused + "\")");

    m_env.Unset("DISPLAY");
    EXPECT_FALSE(Reachable({}, &message));
    EXPECT_EQ(message, "cannot reach a display (DISPLAY is not set)");

    m_env.Set("WAYLAND_DISPLAY", "wayland-nobody-serves");
    m_env.Set("XDG_RUNTIME_DIR", "/nonexistent");
    EXPECT_FALSE(Reachable({})) << "a Wayland name with no socket behind it";
}

TEST_F(DisplayReachTest, NonWindowPlatformsAreLeftToQt) {
    EXPECT_TRUE(Reachable({"-platform", "offscreen"}));
    m_env.Set("QT_QPA_PLATFORM", "offscreen");
    EXPECT_TRUE(Reachable({}));
    EXPECT_TRUE(Reachable({"-display", m_unused}));
    m_env.Set("QT_QPA_PLATFORM", "xcb;offscreen");
    EXPECT_TRUE(Reachable({})) << "the fallback starts";
    EXPECT_FALSE(Reachable({"-platform", "xcb"})) << "the argument wins over the environment";
}

TEST_F(DisplayReachTest, RunningXServerAnswersThroughDisplayOrTheArgument) {
    testsupport::XvfbServer xvfb;
    std::string error;
    ASSERT_TRUE(xvfb.Start(error)) << error;
    EXPECT_FALSE(Reachable({}));
    EXPECT_TRUE(Reachable({"-display", xvfb.Display()}));
    m_env.Set("DISPLAY", xvfb.Display());
    EXPECT_TRUE(Reachable({}));
    std::string message;
    EXPECT_FALSE(Reachable({"-display", m_unused}, &message)) << "the argument names the display Qt opens";
    EXPECT_NE(message.find(m_unused), std::string::npos) << message;
}

// The suite's programs, run for real without a display.
class ProgramsWithoutDisplayTest : public testsupport::RegistryTest {
  protected:
    platform::EnvironmentBlock NoDisplay() {
        auto env = platform::EnvironmentBlock::FromCurrentProcess();
        env.Set("DISPLAY", m_unused);
        env.Unset("WAYLAND_DISPLAY");
        env.Unset("QT_QPA_PLATFORM");
        return env;
    }
    std::string m_unused = UnusedDisplay();
};

TEST_F(ProgramsWithoutDisplayTest, WindowedProgramsSayTheyCannotReachADisplay) {
    struct Case {
        const char* name;
        const char* program;
        std::vector<std::string> args;
    } cases[] = {
        {"brantor", CARROWLINE_BRANTOR, {}}, {"korrin", CARROWLINE_KORRIN, {}},
        {"lumetra", CARROWLINE_LUMETRA, {}}, {"lumetra", CARROWLINE_LUMETRA, {"-Embedding"}},
        {"pipwell", CARROWLINE_PIPWELL, {}},
    };
    for (const Case& c : cases) {
        const auto run = testsupport::RunProgram(c.program, c.args, NoDisplay());
        EXPECT_EQ(run.status, 1) << c.name << ": " << run.output;
        EXPECT_EQ(run.output,
                  std::string(c.name) + ": cannot reach a display (DISPLAY is \"" + m_unused + "\")\n");
    }
}

TEST_F(ProgramsWithoutDisplayTest, DisplayFreePathsStillRun) {
    const auto embedded = testsupport::RunProgram(CARROWLINE_KORRIN, {"-Embedding"}, NoDisplay());
    EXPECT_EQ(embedded.status, 0) << embedded.output;
    const auto registered = testsupport::RunProgram(CARROWLINE_LUMETRA, {"-RegServer"}, NoDisplay());
    EXPECT_EQ(registered.status, 0) << registered.output;
    EXPECT_EQ(registered.output.find("display"), std::string::npos) << registered.output;
}

}  // namespace
}  // namespace suite::qt
