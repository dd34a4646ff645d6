// The start-up rules: command lines and installed modes to the log-in call, the installed-mode probe, the
// saved window state and the title by program mode.
#include "container/startup.h"

#include <gtest/gtest.h>

#include "container/tests/container_test_support.h"
#include "suite/registry_settings.h"

namespace container {
namespace {

using platform::HKey;

struct DecisionCase {
    const char* name;
    std::string commandLine;
    InstalledModes modes;
    StartupDecision expected;
};

StartupDecision Login(int16_t type, std::string text) {
    StartupDecision d;
    d.action = StartupAction::Login;
    d.loginType = type;
    d.loginText = std::move(text);
    return d;
}

StartupDecision Auto(int32_t handle, int32_t pid) {
    StartupDecision d;
    d.action = StartupAction::AutoLogin;
    d.pipeHandle = handle;
    d.processId = pid;
    return d;
}

StartupDecision Only(StartupAction action) {
    StartupDecision d;
    d.action = action;
    return d;
}

constexpr InstalledModes kNone{false, false};
constexpr InstalledModes kLocal{false, true};
constexpr InstalledModes kRemote{true, false};
constexpr InstalledModes kBoth{true, true};

TEST(StartupDecisionTest, CommandLinesAndInstalledModes) {
    const DecisionCase cases[] = {
        {"nothing installed", "", kNone, Login(3, "")},
        {"only local installed", "", kLocal, Login(3, "-l")},
        {"only remote installed", "", kRemote, Login(2, "-h")},
        {"both installed", "", kBoth, Only(StartupAction::BothInstalled)},
        {"blanks only count as empty", "  \t ", kRemote, Login(2, "-h")},
        {"a switch overrides both installed", "-l", kBoth, Login(3, "-l")},
        {"selector start", "-X 12 -simple", kBoth, Login(1, "-X 12 -simple")},
        {"default remote", "-h", kNone, Login(2, "-h")},
        {"switches without -h", "-t3 -p2", kNone, Login(3, "-t3 -p2")},
        {"-h with a run command", "-h -rls -l /tmp", kNone, Login(2, "-h -rls -l /tmp")},
        {"-X before -r, -h after", "-X 7 -r cmd -h", kNone, Login(1, "-X 7 -r cmd -h")},
        {"-X only after -r", "-l -r prog -X", kNone, Login(3, "-l -r prog -X")},
        {"-h only after -r", "-t1 -r run -h", kNone, Login(3, "-t1 -r run -h")},
        {"-X inside a password", "-#12 se-Xcret", kNone, Login(3, "-#12 se-Xcret")},
        {"-h inside a password", "-#7 a-hb -t2", kNone, Login(3, "-#7 a-hb -t2")},
        {"-r inside a password", "-#7 x-ry -h", kNone, Login(2, "-#7 x-ry -h")},
        {"-X after the password counts", "-#7 pw -X 4", kNone, Login(1, "-#7 pw -X 4")},
        {"password word after a tab", "-#7\ta-Xb", kNone, Login(3, "-#7\ta-Xb")},
        {"-x is not -X", "-x 7", kNone, Login(3, "-x 7")},
        {"-x with -h is remote", "-h -x7", kNone, Login(2, "-h -x7")},
        {"new window", "/h:1234 /p:567", kBoth, Auto(1234, 567)},
        {"new window, order swapped", "/p:9 /h:3", kNone, Auto(3, 9)},
        {"/h: without /p:", "/h:1234", kNone, Login(3, "/h:1234")},
        {"no digits", "/h:abc /p:9", kNone, Auto(0, 9)},
        {"digits then text", "/h:12x /p:9", kNone, Auto(12, 9)},
        {"too large for a handle", "/h:99999999999 /p:1", kNone, Auto(0, 1)},
        {"a run command naming an .exe", "-h -r report.exe", kNone, Login(2, "-h -r report.exe")},
        {"a run command naming brantor", "-l -r brantor -X", kNone, Login(3, "-l -r brantor -X")},
        {"quoted new window", "\"/h:1\" /p:2", kNone, Auto(1, 2)},
        {"question mark", "?", kNone, Only(StartupAction::Usage)},
        {"question mark anywhere", "-h -#1 pass?", kNone, Only(StartupAction::Usage)},
    };
    for (const DecisionCase& c : cases) {
        EXPECT_EQ(DecideStartup(c.commandLine, c.modes), c.expected) << c.name;
    }
}

TEST(StartupDecisionTest, ArgumentTextQuotesWhatTheSplitterWouldSplit) {
    const char* argv[] = {"brantor", "-#5", "my pass", "-h"};
    EXPECT_EQ(ArgumentText(4, argv), "-#5 \"my pass\" -h");
    const char* alone[] = {"brantor"};
    EXPECT_EQ(ArgumentText(1, alone), "");
}

class StartupRegistryTest : public testing::ContainerTest {};

TEST_F(StartupRegistryTest, InstalledModesNeedTwoCharacters) {
    EXPECT_EQ(ReadInstalledModes(), (InstalledModes{false, false}));
    SetText(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Server", "RemoteDataSet",
            "x");
    SetText(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Ostrel\\1.0\\Server", "SorelData", "ab");
    EXPECT_EQ(ReadInstalledModes(), (InstalledModes{false, true}));
    SetText(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Server", "RemoteDataSet",
            "db");
    EXPECT_EQ(ReadInstalledModes(), (InstalledModes{true, true}));
    // A user's value does not make a mode installed on the machine.
    Reg().DeleteValue(HKey::LocalMachine, "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Server",
                      "RemoteDataSet");
    SetText(HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\Varnel\\1.0\\Server", "RemoteDataSet",
            "db");
    EXPECT_EQ(ReadInstalledModes(), (InstalledModes{false, true}));
}

TEST_F(StartupRegistryTest, WindowStateRoundTripsAndDefaults) {
    EXPECT_EQ(ReadWindowSize(), (WindowRect{20, 20, 750, 478}));
    EXPECT_EQ(ReadWindowSize().Width(), 730);
    EXPECT_EQ(ReadWindowSize().Height(), 458);
    EXPECT_FALSE(ReadZoomMode().has_value());

    ASSERT_TRUE(SaveWindowState(true, WindowRect{-5, 10, 795, 610}));
    EXPECT_EQ(ReadWindowSize(), (WindowRect{-5, 10, 795, 610}));
    EXPECT_EQ(ReadZoomMode(), std::optional<bool>(true));
    platform::RegValue stored;
    ASSERT_EQ(Reg().QueryValue(HKey::CurrentUser, suite::kCompanyKey, "WindowSize", stored), 0);
    EXPECT_EQ(stored.type, platform::RegType::Binary);
    EXPECT_EQ(stored.data.size(), 16u);
    EXPECT_TRUE(m_recorder.Texts().empty());
}

TEST_F(StartupRegistryTest, DamagedWindowSizeFallsBackToTheDefault) {
    const std::vector<std::vector<uint8_t>> damaged = {
        {1, 2, 3, 4, 5, 6, 7, 8},  // too short
        // right left of left
        {100, 0, 0, 0, 10, 0, 0, 0, 50, 0, 0, 0, 200, 0, 0, 0},
        // wider than any screen: 0x7FFFFFFF - (-0x80000000)
        {0, 0, 0, 0x80, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 100, 0, 0, 0},
    };
    for (const auto& bytes : damaged) {
        ASSERT_EQ(Reg().SetValue(HKey::CurrentUser, suite::kCompanyKey, "WindowSize",
                                 platform::RegValue::Binary(bytes)),
                  0);
        EXPECT_EQ(ReadWindowSize(), WindowRect{});
    }
}

TEST_F(StartupRegistryTest, TitleFollowsTheProgramMode) {
    EXPECT_EQ(ProgramModeTitle(), "Ostrel");
    SetDword(HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", 2);
    EXPECT_EQ(ProgramModeTitle(), "Varnel");
    SetDword(HKey::CurrentUser, suite::kCompanyKey, "PROGRAM", 1);
    EXPECT_EQ(ProgramModeTitle(), "Ostrel");
}

}  // namespace
}  // namespace container
