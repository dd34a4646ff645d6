// The real pipwell under a private Xvfb with temporary hives, for the end-to-end and tray tests: starting
// programs, appending command lines, finding windows by title and pressing keys through xdotool.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "notifier/ipc_protocol.h"
#include "notifier/tests/process_test.h"
#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "testsupport/test_support.h"
#include "testsupport/xvfb_server.h"

namespace notifier::testing {

using namespace std::chrono_literals;

// Pids of processes running that program file (not a deleted one).
inline std::vector<pid_t> ProcessesOf(const std::filesystem::path& program) {
    std::vector<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", ec);
        if (!ec && exe == program)
            pids.push_back(std::stoi(name));
    }
    return pids;
}

class PipwellTest : public ProcessTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        if (auto missing = testsupport::XvfbMissing())
            GTEST_SKIP() << *missing;
        std::string error;
        ASSERT_TRUE(m_xvfb.Start(error)) << error;
        const auto runtime = m_temp.Path() / "runtime";
        std::filesystem::create_directories(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        m_env.Set("XDG_RUNTIME_DIR", runtime.string());
        m_env.Set("DISPLAY", m_xvfb.Display());
        m_env.Set("QT_QPA_PLATFORM", "xcb");
        // Never the user's own session bus; the tests that need one start their own.
        m_env.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (m_temp.Path() / "no-bus").string());
        SetChildSetting(kIpcReadPathValue, m_read.string());
        SetChildSetting(kIpcWritePathValue, m_write.string());
    }
    void TearDown() override {
        if (!m_execute.empty())
            for (pid_t pid : ProcessesOf(m_execute))
                ::kill(pid, SIGKILL);
        ProcessTest::TearDown();
    }
    void Append(std::string_view text) {
        std::ofstream out(m_read, std::ios::binary | std::ios::app);
        out << text;
    }
    // The window id of the first window with that exact title (of a mapped one when `visible`), empty when
    // none.
    std::string FindWindow(const std::string& title, bool visible = false) {
        platform::SpawnOptions options;
        options.program = "xdotool";
        options.argv = {"xdotool", "search", "--name", "^" + title + "$"};
        if (visible)
            options.argv.insert(options.argv.begin() + 2, "--onlyvisible");
        options.pipeStdout = true;
        auto child = platform::Spawn(options);
        if (!child)
            return {};
        std::string out;
        char buffer[256];
        ssize_t n;
        while ((n = ::read(child->stdoutRead.Get(), buffer, sizeof buffer)) > 0)
            out.append(buffer, n);
        platform::WaitForExit(child->pid);
        return out.substr(0, out.find('\n'));
    }
    int Xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        platform::SpawnOptions options;
        options.program = "xdotool";
        options.argv = args;
        auto child = platform::Spawn(options);
        return child ? platform::WaitForExit(child->pid) : -1;
    }

    testsupport::XvfbServer m_xvfb;
    std::filesystem::path m_read = m_temp.Path() / "commands.txt";
    std::filesystem::path m_write = m_temp.Path() / "answers.txt";
    std::filesystem::path m_execute;
};

}  // namespace notifier::testing
