// End-to-end tests of the real pipwell under a private Xvfb with temporary hives: a prompt answered by a
// key press lands in the answer file, a second notifier exits, and a restart through the real launcher
// leaves one notifier running from the new program file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "notifier/tests/pipwell_fixture.h"

namespace notifier {
namespace {

using namespace std::chrono_literals;
using testing::PipwellTest;
using testing::ProcessesOf;
using testing::WaitUntil;

TEST_F(PipwellTest, PromptAnsweredByKeyAndSecondNotifierExits) {
    const pid_t pid = Start(PIPWELL_PATH);
    ASSERT_TRUE(WaitUntil([&] { return !FindWindow("PelloryTray").empty(); }));
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_read); }));
    const pid_t second = Start(PIPWELL_PATH);
    EXPECT_EQ(Reap(second), 1);

    Append("prompt|Title|Question?|MB_YESNO\r\n");
    std::string window;
    ASSERT_TRUE(WaitUntil([&] { return !(window = FindWindow("Title")).empty(); }));
    std::this_thread::sleep_for(300ms);
    Xdotool({"windowfocus", "--sync", window});
    Xdotool({"key", "--window", window, "Return"});
    ASSERT_TRUE(WaitUntil([&] { return testsupport::ReadFile(m_write) == "YES\r\n"; }))
        << testsupport::ReadFile(m_write);

    Append("instruction|close\r\n");
    EXPECT_EQ(Reap(pid), 0);
}

TEST_F(PipwellTest, RestartThroughTheLauncherRunsTheNewProgram) {
    const auto bin = m_temp.Path() / "bin";
    std::filesystem::create_directories(bin);
    m_execute = bin / "pipwell";
    const auto copyFrom = m_temp.Path() / "pipwell.new";
    std::filesystem::copy_file(PIPWELL_PATH, m_execute);
    std::filesystem::copy_file(PIPWELL_PATH, copyFrom);
    // One byte more marks the new program file apart from the old one.
    { std::ofstream(copyFrom, std::ios::binary | std::ios::app) << '\0'; }
    SetChildSetting(kLauncherPathValue, PIPWELLLAUNCHER_PATH);
    SetChildSetting(kCopyFromPathValue, copyFrom.string());
    SetChildSetting(kExecutePathValue, m_execute.string());

    const pid_t pid = Start(m_execute.string());
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(m_read); }));
    std::this_thread::sleep_for(200ms);
    Append("instruction|restart|300\r\n");
    EXPECT_EQ(Reap(pid), 0);
    ASSERT_TRUE(WaitUntil([&] { return ProcessesOf(m_execute).size() == 1; }));
    EXPECT_EQ(std::filesystem::file_size(m_execute), std::filesystem::file_size(copyFrom));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(ProcessesOf(m_execute).size(), 1u);
}

}  // namespace
}  // namespace notifier
