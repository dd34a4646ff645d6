// A folder tree in which a real brantor runs a local session: its own registry hives with the control
// registered in them, the local host program linked to the stand-in, and the environment that points
// everything there. Shared by the container's end-to-end tests and its start-up benchmark.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/spawn.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"

namespace container::e2e {

namespace fs = std::filesystem;

// The stand-in's title report and greeting, as it sends them when it plays no script.
inline constexpr std::string_view kStandinTitle = "Carrowline stand-in host";
inline constexpr std::string_view kStandinGreeting = "Carrowline stand-in host program";

// The folder is removed with the object.
class SessionTree {
  public:
    SessionTree() {
        std::string pattern = (fs::temp_directory_path() / "carrowline-brantor-e2e-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_root = pattern;
        }
    }
    ~SessionTree() {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }
    SessionTree(const SessionTree&) = delete;
    SessionTree& operator=(const SessionTree&) = delete;

    const fs::path& Root() const { return m_root; }
    fs::path Record() const { return m_root / "record.txt"; }
    fs::path Script() const { return m_root / "script.txt"; }
    fs::path Folder(std::string_view name) const { return m_root / name; }

    // Folders, the machine hive naming the data and program folders, the host program link and the
    // control's registration; false with the reason.
    bool Prepare(std::string* why) {
        if (m_root.empty()) {
            *why = "no temporary folder";
            return false;
        }
        std::error_code ec;
        for (const char* name :
             {"home", "tmp", "config", "state", "run", "progs", "data", "root/etc/carrowline"}) {
            fs::create_directories(m_root / name, ec);
        }
        // The runtime folder must be private, as the session's own would be.
        ::chmod((m_root / "run").c_str(), 0700);
        fs::create_symlink(CARROWLINE_STANDIN_SOREL, m_root / "progs" / "sorel", ec);
        if (ec) {
            *why = "cannot link the host program: " + ec.message();
            return false;
        }
        std::ofstream hive(m_root / "root/etc/carrowline/machine.reg", std::ios::binary);
        hive << "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\"
             << suite::ServerKey(suite::ClientMode::Local) << "]\n\"SorelData\"=\""
             << (m_root / "data").string() << "\"\n\"SorelProgs\"=\"" << (m_root / "progs").string()
             << "\"\n";
        hive.close();
        if (!hive) {
            *why = "cannot write the machine hive";
            return false;
        }
        const int registered = Run({CARROWLINE_REGISTER_COMPONENT, CARROWLINE_QUILLET_LIBRARY});
        if (registered != 0) {
            *why = "register-component ended with " + std::to_string(registered);
            return false;
        }
        return true;
    }

    // The session script every stand-in started from this tree plays; without one it greets and echoes.
    bool WriteScript(std::string_view text) const {
        std::ofstream file(Script(), std::ios::binary | std::ios::trunc);
        file << text;
        file.close();
        return static_cast<bool>(file);
    }

    // The variables that relocate every path the programs use into the tree, offscreen.
    std::vector<std::pair<std::string, std::string>> Variables() const {
        std::vector<std::pair<std::string, std::string>> vars = {
            {"HOME", (m_root / "home").string()},
            {"TMPDIR", (m_root / "tmp").string()},
            {"XDG_CONFIG_HOME", (m_root / "config").string()},
            {"XDG_STATE_HOME", (m_root / "state").string()},
            {"XDG_RUNTIME_DIR", (m_root / "run").string()},
            {"CARROWLINE_ROOT", (m_root / "root").string()},
            {"CARROWLINE_STANDIN_RECORD", Record().string()},
            {"CARROWLINE_STANDIN_SCRIPT", fs::exists(Script()) ? Script().string() : std::string()},
            {"QT_QPA_PLATFORM", "offscreen"},
        };
        return vars;
    }

    platform::EnvironmentBlock Environment() const {
        platform::EnvironmentBlock environment = platform::EnvironmentBlock::FromCurrentProcess();
        for (const auto& [name, value] : Variables()) {
            environment.Set(name, value);
        }
        return environment;
    }

    // Starts brantor (or another program) in the tree's data folder, as the demo does.
    std::optional<platform::SpawnedProcess> Start(std::vector<std::string> argv, std::string* message,
                                                  bool pipeStdout = false) const {
        platform::SpawnOptions options;
        options.program = argv.front();
        options.argv = std::move(argv);
        options.environment = Environment();
        options.workingFolder = m_root / "data";
        options.pipeStdout = pipeStdout;
        options.nullStdio = true;
        return platform::Spawn(options, nullptr, message);
    }
    std::optional<platform::SpawnedProcess> StartBrantor(std::vector<std::string> arguments,
                                                         std::string* message) const {
        arguments.insert(arguments.begin(), CARROWLINE_BRANTOR);
        return Start(std::move(arguments), message);
    }

    // Runs a program to its end; its exit status, or -1 when it could not start.
    int Run(std::vector<std::string> argv) const {
        std::string message;
        const auto child = Start(std::move(argv), &message);
        return child ? platform::WaitForExit(child->pid) : -1;
    }

  private:
    fs::path m_root;
};

}  // namespace container::e2e
