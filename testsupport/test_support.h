// Test scaffolding every folder's tests share: a temporary folder, environment variables set for one test, a
// registry on temporary hives with every per-user and machine-wide folder inside it, and a body run in a
// forked child.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "suite/client_mode.h"

namespace testsupport {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "carrowline-term-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        m_path = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

// Sets variables for the life of the object and puts the old values back.
class ScopedEnv {
  public:
    ScopedEnv() = default;
    ~ScopedEnv() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }
    void Set(const std::string& name, const std::string& value) {
        Save(name);
        setenv(name.c_str(), value.c_str(), 1);
    }
    void Unset(const std::string& name) {
        Save(name);
        unsetenv(name.c_str());
    }

  private:
    void Save(const std::string& name) {
        const char* old = std::getenv(name.c_str());
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What fd `fd` of this process is open on ("/memfd:name (deleted)", "socket:[n]"...); empty when closed.
inline std::string FdTarget(int fd) {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error).string();
}

// How many fds this process holds open whose target begins with `prefix` (every fd for an empty one).
inline int OpenFdsOn(std::string_view prefix = {}) {
    int count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(entry.path(), linkError).string();
        count += !linkError && target.starts_with(prefix) ? 1 : 0;
    }
    return count;
}

// The shared mappings of the hand-over blocks.
inline constexpr std::string_view kMappingFdPrefix = "/memfd:carrowline-mapping";

// A registry on hives inside a temporary folder, every per-user and machine-wide folder pointed there too,
// and the client mode reset to local.
class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_home = m_temp.Path() / "home";
        m_tmp = m_temp.Path() / "tmp";
        std::filesystem::create_directories(m_home);
        std::filesystem::create_directories(m_tmp);
        m_env.Set("HOME", m_home.string());
        m_env.Set("TMPDIR", m_tmp.string());
        m_env.Set("XDG_CONFIG_HOME", (m_temp.Path() / "config").string());
        m_env.Set("XDG_STATE_HOME", (m_temp.Path() / "state").string());
        m_env.Set("CARROWLINE_ROOT", (m_temp.Path() / "root").string());
        m_registry = std::make_unique<platform::Registry>(
            platform::Registry::Paths{m_temp.Path() / "machine.reg", m_temp.Path() / "user.reg"});
        platform::Registry::OverrideDefault(m_registry.get());
        suite::SetClientMode(suite::ClientMode::Local);
    }
    void TearDown() override {
        platform::Registry::OverrideDefault(nullptr);
        suite::SetClientMode(suite::ClientMode::Local);
    }

    platform::Registry& Reg() { return *m_registry; }

    TempFolder m_temp;
    ScopedEnv m_env;
    std::filesystem::path m_home;
    std::filesystem::path m_tmp;
    std::unique_ptr<platform::Registry> m_registry;
};

// Runs `body` in a forked child and returns its wait status. A gtest failure inside the child makes it exit
// with 1; the child never returns into the test runner.
inline int RunInChild(const std::function<void()>& body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        std::fflush(stdout);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        ADD_FAILURE() << "fork or wait failed";
        return -1;
    }
    return status;
}

inline bool ExitedCleanly(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace testsupport
