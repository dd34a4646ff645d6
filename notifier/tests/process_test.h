// The notifier's tests that run real programs against temporary hives: starting children (ended when the
// test ends), the settings as those children read them, and waiting for what they do with a generous
// deadline for loaded machines.
#pragma once

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/known_folders.h"
#include "platform/registry.h"
#include "platform/spawn.h"
#include "testsupport/test_support.h"

namespace notifier::testing {

inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

class ProcessTest : public testsupport::RegistryTest {
  protected:
    void TearDown() override {
        for (pid_t pid : m_children) {
            ::kill(pid, SIGKILL);
            platform::WaitForExit(pid);
        }
        RegistryTest::TearDown();
    }
    pid_t Start(const std::string& program, std::vector<std::string> args = {}) {
        platform::SpawnOptions options;
        options.program = program;
        args.insert(args.begin(), program);
        options.argv = args;
        auto child = platform::Spawn(options);
        EXPECT_TRUE(child);
        if (!child)
            return -1;
        m_children.push_back(child->pid);
        return child->pid;
    }
    // Ends a child started here and returns its wait status.
    int Stop(pid_t pid) {
        ::kill(pid, SIGTERM);
        return Reap(pid);
    }
    // Waits for a child started here to end by itself.
    int Reap(pid_t pid) {
        std::erase(m_children, pid);
        return platform::WaitForExit(pid);
    }
    // In the hives a child's environment names, where it reads them.
    void SetChildSetting(std::string_view name, const std::string& value) {
        platform::Registry hives({platform::MachineHivePath(), platform::UserHivePath()});
        ASSERT_EQ(hives.SetValue(platform::HKey::CurrentUser, "SOFTWARE\\Carrowline Corporation\\Pipwell",
                                 name, platform::RegValue::String(value)),
                  0);
    }

    std::vector<pid_t> m_children;
};

}  // namespace notifier::testing
