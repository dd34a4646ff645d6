// The installer's command line, its systemd unit and the steps that install, remove, start and stop the
// service through systemctl.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace installer {

enum class Action { Install, Remove, Stop, Start, Debug, Service };

struct CommandLine {
    std::vector<Action> actions;  // in the order given
    std::optional<std::filesystem::path> socketPath;
    bool showUsage = false;  // fewer than two arguments
};

inline constexpr std::string_view kTitle = "Carrowline Installer";
inline constexpr std::string_view kUnitName = "carrowline-installer.service";

// Words after '-' or '/', any case; other arguments are ignored.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

// The unit that runs `program` with "/service".
std::string UnitText(const std::filesystem::path& program);
std::filesystem::path UnitPath();

// Each answers 0 on success, else the failed step's exit code (or 1 when it could not be run).
int InstallService(const std::filesystem::path& program);
int RemoveService();
int StartService();
int StopService();

}  // namespace installer
