// From the selector's start decision to a live session: the real brantor, linked into the practice's
// programs folder, runs a custom menu item on the stand-in host and ends with it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "container/tests/e2e_session.h"
#include "hostlink/tests/local_standin.h"
#include "selector/container_start.h"
#include "testsupport/test_support.h"

namespace selector {
namespace {

namespace fs = std::filesystem;

// Starts as the selector does but keeps the child, so the test can wait for its end.
class KeepingSpawner : public Spawner {
  public:
    bool Start(const platform::SpawnOptions& options, std::string& message) override {
        std::optional<platform::SpawnedProcess> child = platform::Spawn(options, nullptr, &message);
        if (child)
            pid = child->pid;
        return child.has_value();
    }
    pid_t pid = -1;
};

std::optional<int> WaitForProgram(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (const std::optional<int> code = platform::PollExit(pid))
            return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    platform::WaitForExit(pid);
    return std::nullopt;
}

TEST(KorrinE2eTest, UnchainedCustomItemRunsItsCommandOnTheHostInThePracticesDataFolder) {
    container::e2e::SessionTree tree;
    std::string why;
    ASSERT_TRUE(tree.Prepare(&why)) << why;
    fs::create_symlink(CARROWLINE_BRANTOR, tree.Folder("progs") / "brantor");
    ASSERT_TRUE(
        tree.WriteScript("send \\e[2J\\e[H\\e[%Direct\\x01O\n"
                         "send Ran the command\\r\\n\n"
                         "exit 0\n"));
    // The selector's own environment is what brantor gets.
    testsupport::ScopedEnv env;
    for (const auto& [name, value] : tree.Variables())
        env.Set(name, value);

    practice::CPractice practice;
    practice.m_Name = "Clinic";
    practice.m_SorelProgs = tree.Folder("progs").string();
    practice.m_SorelData = tree.Folder("data").string();
    practice.m_TerminalNumber = 7;
    practice.m_PrinterNumber = 3;
    // "C&hain Command" unchecked: RunCommand 1. Custom items always start simple.
    bool simple = true;
    KeepingSpawner spawner;
    const StartResult result =
        StartContainer(&practice, {std::string("sorel -t%T -p%P"), 1}, simple, spawner);
    ASSERT_EQ(result.outcome, StartOutcome::Started) << result.message;

    const std::optional<int> code = WaitForProgram(spawner.pid);
    ASSERT_TRUE(code) << "brantor did not end with the host";
    EXPECT_EQ(*code, 0);
    const auto runs = hostlink::testing::ReadStandinRecord(tree.Record());
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].Program(), "sorel");
    EXPECT_EQ(runs[0].Arguments(), (std::vector<std::string>{"-t7", "-p3"}));
    EXPECT_EQ(runs[0].cwd, tree.Folder("data").string());
    EXPECT_EQ(runs[0].exitCode, 0);
}

}  // namespace
}  // namespace selector
