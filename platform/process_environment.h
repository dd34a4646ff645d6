// Variables this process puts into its own environment for the programs it starts (the Windows
// SetEnvironmentVariable). setenv is unsafe once threads run, so they live in an overlay that Spawn,
// EnvironmentBlock::FromCurrentProcess and ExpandEnvironment consult over the real environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Sets `name` for every child started afterwards; safe from any thread.
void SetProcessVariable(std::string_view name, std::string_view value);
// The overlay's value for `name`, nullopt when the overlay does not hold it.
std::optional<std::string> ProcessVariable(std::string_view name);
// Every name and value of the overlay.
std::vector<std::pair<std::string, std::string>> ProcessVariables();
// Empties the overlay (tests).
void ClearProcessVariables();

}  // namespace platform
