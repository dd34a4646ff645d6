// The real korrin: conversion with no display, the embedded flag, and the single-instance guard per
// display, also after its holder was killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/spawn.h"
#include "practice/prac_file.h"
#include "testsupport/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kLegacyText = "First\n/data/1\n1\nhost1\n/progs1\n4\n";

class KorrinProgramTest : public testsupport::RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_run = m_temp.Path() / "run";
        fs::create_directories(m_run);
        ::chmod(m_run.c_str(), 0700);
        m_env.Set("XDG_RUNTIME_DIR", m_run.string());
    }
    void TearDown() override {
        for (pid_t pid : m_started)
            if (!platform::PollExit(pid)) {
                ::kill(pid, SIGKILL);
                platform::WaitForExit(pid);
            }
        RegistryTest::TearDown();
    }
    pid_t Start(std::vector<std::string> args, const std::string& display = {}) {
        platform::SpawnOptions options;
        options.program = KORRIN_PROGRAM;
        options.argv = {KORRIN_PROGRAM};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.environment = platform::EnvironmentBlock::FromCurrentProcess();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_ID"})
            options.environment->Unset(name);
        if (!display.empty())
            options.environment->Set("DISPLAY", display);
        options.nullStdio = true;
        std::optional<platform::SpawnedProcess> child = platform::Spawn(options);
        EXPECT_TRUE(child);
        if (!child)
            return -1;
        m_started.push_back(child->pid);
        return child->pid;
    }
    int Run(std::vector<std::string> args, const std::string& display = {}) {
        return platform::WaitForExit(Start(std::move(args), display));
    }
    fs::path Socket(const std::string& display) {
        return m_run / ("korrin-" + std::to_string(::getuid()) + "-" + display);
    }
    // A start on a loaded machine gets 30 s.
    bool WaitListening(const std::string& display) {
        for (int i = 0; i < 1200; ++i) {
            if (fs::exists(Socket(display)))
                return true;
            std::this_thread::sleep_for(25ms);
        }
        return false;
    }
    // Until `pid` holds the display's guard: the lock file names its holder on its first line.
    bool WaitHolding(const std::string& display, pid_t pid) {
        fs::path lock = Socket(display);
        lock += ".lock";
        for (int i = 0; i < 1200; ++i) {
            const std::string text = testsupport::ReadFile(lock);
            if (text.substr(0, text.find('\n')) == std::to_string(pid))
                return true;
            std::this_thread::sleep_for(25ms);
        }
        return false;
    }
    fs::path MachineXml() { return practice::MachinePracticeFolder() / "practice.xml"; }

    fs::path m_run;
    std::vector<pid_t> m_started;
};

TEST_F(KorrinProgramTest, ConvertsWithNoDisplayAlsoWhileASelectorRuns) {
    const pid_t selector = Start({"-platform", "offscreen"}, ":5");
    ASSERT_TRUE(WaitListening(":5"));
    const fs::path lst = m_temp.Path() / "old.lst";
    testsupport::WriteFile(lst, kLegacyText);
    EXPECT_EQ(Run({"-CONVERTPRACTICE", lst.string()}), 0);
    EXPECT_NE(testsupport::ReadFile(MachineXml()).find("First"), std::string::npos);
    EXPECT_FALSE(platform::PollExit(selector));
}

TEST_F(KorrinProgramTest, DamagedFileExitsNonZeroAndKeepsItsBytes) {
    const fs::path bad = m_temp.Path() / "bad.xml";
    const std::string bytes =
        "<?xml version=\"1.0\"?>\n<PracticeFile>\n<SchemaVersion>6</SchemaVersion>\n<Pr";
    testsupport::WriteFile(bad, bytes);
    EXPECT_NE(Run({"/convertpractice", bad.string()}), 0);
    EXPECT_EQ(testsupport::ReadFile(bad), bytes);
    EXPECT_FALSE(fs::exists(MachineXml()));
}

TEST_F(KorrinProgramTest, EmbeddingEndsWithNoWindow) {
    EXPECT_EQ(Run({"-Embedding"}), 0);
}

TEST_F(KorrinProgramTest, OnePerDisplayAndAKilledHolderFreesIt) {
    const pid_t first = Start({"-platform", "offscreen"}, ":7.0");
    ASSERT_TRUE(WaitListening(":7"));
    EXPECT_EQ(Run({"-platform", "offscreen"}, ":7.1"), 0);
    EXPECT_FALSE(platform::PollExit(first));

    const pid_t other = Start({"-platform", "offscreen"}, ":8");
    ASSERT_TRUE(WaitListening(":8"));
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(platform::PollExit(other));

    ::kill(first, SIGKILL);
    platform::WaitForExit(first);
    const pid_t next = Start({"-platform", "offscreen"}, ":7");
    EXPECT_TRUE(WaitHolding(":7", next));
    EXPECT_FALSE(platform::PollExit(next));
}

}  // namespace
