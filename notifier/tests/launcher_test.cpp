// Tests of the launcher: which processes it ends and how, the safe copy, and the real program run against
// temporary hives with a stand-in notifier process (a copy of sleep named pipwell).
#include "notifier/launcher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "notifier/ipc_protocol.h"
#include "notifier/tests/process_test.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "testsupport/test_support.h"

namespace notifier {
namespace {

using namespace std::chrono_literals;

bool Alive(pid_t pid) {
    return !platform::PollExit(pid).has_value();
}

using testing::WaitUntil;

class LauncherTest : public testing::ProcessTest {
  protected:
    void SetUp() override {
        ProcessTest::SetUp();
        m_bin = m_temp.Path() / "bin";
        std::filesystem::create_directories(m_bin);
        m_execute = m_bin / "pipwell";
        m_copyFrom = m_temp.Path() / "new-pipwell";
        m_marker = m_temp.Path() / "started";
        std::filesystem::copy_file("/bin/sleep", m_execute);
        ::chmod(m_execute.c_str(), 0750);
        testsupport::WriteFile(m_copyFrom, "#!/bin/sh\necho \"$0\" > '" + m_marker.string() + "'\n");
        ::chmod(m_copyFrom.c_str(), 0755);
    }
    void SetChildPaths() {
        SetChildSetting(kCopyFromPathValue, m_copyFrom.string());
        SetChildSetting(kExecutePathValue, m_execute.string());
    }
    int RunLauncher(std::vector<std::string> args) {
        const pid_t pid = Start(PIPWELLLAUNCHER_PATH, std::move(args));
        return Reap(pid);
    }

    std::filesystem::path m_bin, m_execute, m_copyFrom, m_marker;
};

TEST_F(LauncherTest, EndsOnlyTheNotifier) {
    const pid_t notifierPid = Start(m_execute, {"60"});
    const pid_t otherPid = Start("/bin/sleep", {"60"});
    ASSERT_TRUE(WaitUntil([&] { return IsNotifierProcess(notifierPid, m_execute); }));
    EXPECT_FALSE(IsNotifierProcess(otherPid, m_execute));
    EXPECT_FALSE(IsNotifierProcess(0, m_execute));

    EXPECT_FALSE(CloseNotifierProcess(otherPid, m_execute));
    EXPECT_TRUE(Alive(otherPid));
    EXPECT_TRUE(CloseNotifierProcess(notifierPid, m_execute));
    EXPECT_EQ(Reap(notifierPid), 128 + SIGTERM);
    // Its pid is gone now: nothing to close.
    EXPECT_FALSE(CloseNotifierProcess(notifierPid, m_execute));
}

TEST_F(LauncherTest, ExecutePathMatchesUnderAnotherNameAndAfterDeletion) {
    const auto renamed = m_bin / "notifier-program";
    std::filesystem::rename(m_execute, renamed);
    const pid_t pid = Start(renamed, {"60"});
    ASSERT_TRUE(WaitUntil([&] { return IsNotifierProcess(pid, renamed); }));
    EXPECT_FALSE(IsNotifierProcess(pid, m_bin / "elsewhere"));
    std::filesystem::remove(renamed);
    EXPECT_TRUE(IsNotifierProcess(pid, renamed));
}

TEST_F(LauncherTest, KillsANotifierThatIgnoresTerm) {
    const auto shell = m_bin / "pipwell-sh";
    std::filesystem::copy_file("/bin/sh", shell);
    ::chmod(shell.c_str(), 0755);
    const auto named = m_bin / "pipwell";
    std::filesystem::remove(named);
    std::filesystem::rename(shell, named);
    const pid_t pid = Start(named, {"-c", "trap '' TERM; while :; do sleep 1; done"});
    ASSERT_TRUE(WaitUntil([&] { return IsNotifierProcess(pid, named); }));
    std::this_thread::sleep_for(100ms);  // let the trap be set
    EXPECT_TRUE(CloseNotifierProcess(pid, named, 200ms));
    EXPECT_EQ(Reap(pid), 128 + SIGKILL);
}

TEST_F(LauncherTest, CopyKeepsTheTargetModeOrTakesTheSources) {
    EXPECT_FALSE(CopyNotifierProgram(m_copyFrom, m_execute));
    EXPECT_EQ(testsupport::ReadFile(m_execute), testsupport::ReadFile(m_copyFrom));
    struct stat st {};
    ASSERT_EQ(::stat(m_execute.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);

    const auto fresh = m_bin / "fresh";
    EXPECT_FALSE(CopyNotifierProgram(m_copyFrom, fresh));
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);

    const std::string before = testsupport::ReadFile(m_execute);
    EXPECT_TRUE(CopyNotifierProgram(m_temp.Path() / "missing", m_execute));
    EXPECT_EQ(testsupport::ReadFile(m_execute), before);
}

TEST_F(LauncherTest, CopyOverARunningProgram) {
    const pid_t pid = Start(m_execute, {"60"});
    ASSERT_TRUE(WaitUntil([&] { return IsNotifierProcess(pid, m_execute); }));
    // Writing in place would fail with ETXTBSY; the rename does not.
    EXPECT_FALSE(CopyNotifierProgram(m_copyFrom, m_execute));
    EXPECT_EQ(testsupport::ReadFile(m_execute), testsupport::ReadFile(m_copyFrom));
}

TEST_F(LauncherTest, ProgramClosesCopiesAndStarts) {
    SetChildPaths();
    const pid_t notifierPid = Start(m_execute, {"60"});
    ASSERT_TRUE(WaitUntil([&] { return IsNotifierProcess(notifierPid, m_execute); }));
    const auto begin = std::chrono::steady_clock::now();
    // The pid and delay arrive as one argument holding a blank, too.
    EXPECT_EQ(RunLauncher({std::to_string(notifierPid) + " 300"}), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 300ms);
    EXPECT_EQ(Reap(notifierPid), 128 + SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_marker); }));
    EXPECT_EQ(testsupport::ReadFile(m_marker), m_execute.string() + "\n");
    EXPECT_EQ(testsupport::ReadFile(m_execute), testsupport::ReadFile(m_copyFrom));
}

TEST_F(LauncherTest, ProgramWithoutArgumentsOrWithAStrangersPidStillCopiesAndStarts) {
    SetChildPaths();
    const pid_t otherPid = Start("/bin/sleep", {"60"});
    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {std::to_string(otherPid)}}) {
        std::filesystem::remove(m_marker);
        EXPECT_EQ(RunLauncher(args), 0);
        ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_marker); }));
        EXPECT_TRUE(Alive(otherPid));
    }
}

TEST_F(LauncherTest, ProgramWaitsForItsSettings) {
    const pid_t launcher = Start(PIPWELLLAUNCHER_PATH, {});
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(Alive(launcher));
    SetChildPaths();
    EXPECT_EQ(Reap(launcher), 0);
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_marker); }));
}

TEST_F(LauncherTest, FailedCopyStartsTheOldProgram) {
    SetChildSetting(kCopyFromPathValue, (m_temp.Path() / "missing").string());
    const auto old = m_bin / "old";
    testsupport::WriteFile(old, "#!/bin/sh\necho old > '" + m_marker.string() + "'\n");
    ::chmod(old.c_str(), 0755);
    SetChildSetting(kExecutePathValue, old.string());
    EXPECT_EQ(RunLauncher({}), 0);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_marker); }));
    EXPECT_EQ(testsupport::ReadFile(m_marker), "old\n");
}

}  // namespace
}  // namespace notifier
