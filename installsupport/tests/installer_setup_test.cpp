// The installer's command line, the unit it installs and the systemctl steps, run through a recording
// systemctl placed first on PATH.
#include "installsupport/installer_setup.h"

#include <gtest/gtest.h>

#include "platform/spawn.h"
#include "testsupport/test_support.h"

namespace {

using installer::Action;
using testsupport::ReadFile;
using testsupport::WriteFile;

TEST(InstallerCommandLine, WordsAfterDashOrSlashInAnyCase) {
    struct Case {
        std::vector<std::string> args;
        std::vector<Action> actions;
        bool usage;
        std::string socket;
    };
    const Case cases[] = {
        {{"installer"}, {}, true, ""},
        {{"installer", "/INSTALL"}, {Action::Install}, false, ""},
        {{"installer", "-Remove", "/start"}, {Action::Remove, Action::Start}, false, ""},
        {{"installer", "install", "stop"}, {}, false, ""},
        {{"installer", "/stopp", "/", "-"}, {}, false, ""},
        {{"installer", "/debug", "/socket:/tmp/s x"}, {Action::Debug}, false, "/tmp/s x"},
        {{"installer", "-SERVICE", "/Socket:rel"}, {Action::Service}, false, "rel"},
        {{"installer", "/socket:"}, {}, false, ""},
    };
    for (const auto& c : cases) {
        const auto line = installer::ParseCommandLine(c.args);
        EXPECT_EQ(line.actions, c.actions) << c.args.back();
        EXPECT_EQ(line.showUsage, c.usage) << c.args.back();
        EXPECT_EQ(line.socketPath.value_or("").string(), c.socket) << c.args.back();
    }
}

class InstallerSetup : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_bin = m_temp.Path() / "bin";
        m_record = m_temp.Path() / "systemctl.log";
        // Records each call's arguments on a line; fails the word named in the fail file.
        WriteFile(m_bin / "systemctl", "#!/bin/sh\necho \"$*\" >> '" + m_record.string() + "'\n" +
                                           "fail=$(cat '" + (m_temp.Path() / "fail").string() +
                                           "' 2>/dev/null)\n" + "[ \"$1\" = \"$fail\" ] && exit 4\nexit 0\n");
        std::filesystem::permissions(m_bin / "systemctl", std::filesystem::perms::owner_all);
    }

    int Run(const std::string& word, const std::string& program = INSTALLER_PROGRAM) {
        platform::SpawnOptions options;
        options.program = program;
        options.argv = {program, word};
        auto env = platform::EnvironmentBlock::FromCurrentProcess();
        env.Set("PATH", m_bin.string() + ":" + env.Get("PATH").value_or("/usr/bin:/bin"));
        options.environment = env;
        options.nullStdio = true;
        auto child = platform::Spawn(options);
        return child ? platform::WaitForExit(child->pid) : -1;
    }

    std::filesystem::path Unit() const {
        return m_temp.Path() / "root/etc/systemd/system/carrowline-installer.service";
    }

    // systemd's own check of the unit written; empty when it passes or systemd-analyze is missing.
    std::string Verify() const {
        platform::SpawnOptions verify;
        verify.program = "systemd-analyze";
        verify.argv = {"systemd-analyze", "verify", Unit().string()};
        verify.pipeStdout = true;
        verify.stderrToStdout = true;
        auto child = platform::Spawn(verify);
        if (!child) {
            return {};
        }
        std::string out;
        char buffer[4096];
        ssize_t n;
        while ((n = read(child->stdoutRead.Get(), buffer, sizeof buffer)) > 0) {
            out.append(buffer, static_cast<size_t>(n));
        }
        const int rc = platform::WaitForExit(child->pid);
        return rc == 0 ? std::string() : "exit " + std::to_string(rc) + ": " + out;
    }

    std::filesystem::path m_bin;
    std::filesystem::path m_record;
};

TEST_F(InstallerSetup, InstallWritesAVerifiedUnitAndEnablesIt) {
    ASSERT_EQ(Run("/install"), 0);
    const std::string unit = ReadFile(Unit());
    EXPECT_NE(unit.find("ExecStart=" + std::string(INSTALLER_PROGRAM) + " /service\n"), std::string::npos);
    EXPECT_NE(unit.find("Type=notify\n"), std::string::npos);
    EXPECT_NE(unit.find("KillMode=process\n"), std::string::npos);
    EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);
    EXPECT_NE(unit.find("WorkingDirectory=" + (m_temp.Path() / "root/var/lib/carrowline").string() + "\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(m_record), "daemon-reload\nenable carrowline-installer.service\n");

    EXPECT_EQ(Verify(), "");
}

TEST_F(InstallerSetup, ProgramPathsAreWrittenAsSystemdReadsThem) {
    // Blanks, a specifier and a variable reference in the program's path: quoted and escaped.
    const auto odd = m_temp.Path() / "set up %i $HOME";
    std::filesystem::create_directories(odd);
    std::filesystem::copy_file(INSTALLER_PROGRAM, odd / "installer");
    std::filesystem::permissions(odd / "installer", std::filesystem::perms::owner_all);
    ASSERT_EQ(Run("/install", (odd / "installer").string()), 0);
    const std::string quoted = "\"" + (m_temp.Path() / "set up %%i $HOME/installer").string() + "\"";
    EXPECT_NE(ReadFile(Unit()).find("ExecStart=" + quoted + " /service\n"), std::string::npos)
        << ReadFile(Unit());
    EXPECT_EQ(Verify(), "");

    // A line break in it would split the unit: nothing is written and systemctl is not asked.
    std::filesystem::remove(Unit());
    std::filesystem::remove(m_record);
    const auto broken = m_temp.Path() / "line\nbreak";
    std::filesystem::create_directories(broken);
    std::filesystem::copy_file(INSTALLER_PROGRAM, broken / "installer");
    std::filesystem::permissions(broken / "installer", std::filesystem::perms::owner_all);
    EXPECT_EQ(Run("/install", (broken / "installer").string()), 1);
    EXPECT_FALSE(std::filesystem::exists(Unit()));
    EXPECT_FALSE(std::filesystem::exists(m_record));
}

TEST_F(InstallerSetup, StepsCallSystemctlAndReportItsFailure) {
    struct Case {
        std::string word;
        std::string fail;
        int rc;
        std::string calls;
    };
    const Case cases[] = {
        {"/start", "", 0, "start carrowline-installer.service\n"},
        {"/stop", "", 0, "stop carrowline-installer.service\n"},
        {"/stop", "stop", 4, "stop carrowline-installer.service\n"},
        {"/remove", "", 0, "disable carrowline-installer.service\ndaemon-reload\n"},
        {"/install", "enable", 4, "daemon-reload\nenable carrowline-installer.service\ndaemon-reload\n"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(m_record);
        WriteFile(m_temp.Path() / "fail", c.fail);
        EXPECT_EQ(Run(c.word), c.rc) << c.word;
        EXPECT_EQ(ReadFile(m_record), c.calls) << c.word;
    }
    // The failed enable left no unit behind; a removal takes the installed one away.
    EXPECT_FALSE(std::filesystem::exists(Unit()));
    WriteFile(m_temp.Path() / "fail", "");
    ASSERT_EQ(Run("/install"), 0);
    ASSERT_TRUE(std::filesystem::exists(Unit()));
    ASSERT_EQ(Run("/remove"), 0);
    EXPECT_FALSE(std::filesystem::exists(Unit()));
}

TEST_F(InstallerSetup, NoArgumentsShowsTheUsage) {
    platform::SpawnOptions options;
    options.program = INSTALLER_PROGRAM;
    options.pipeStderr = true;
    auto child = platform::Spawn(options);
    ASSERT_TRUE(child);
    std::string err;
    char buffer[4096];
    ssize_t n;
    while ((n = read(child->stderrRead.Get(), buffer, sizeof buffer)) > 0) {
        err.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(platform::WaitForExit(child->pid), 0);
    EXPECT_NE(err.find("Carrowline Installer Usage: installer [/install]"), std::string::npos) << err;
}

}  // namespace
