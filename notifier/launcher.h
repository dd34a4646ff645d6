// The launcher's work: end the running notifier (only the same user's, through a pidfd), wait, copy the
// new program over the old one safely and start it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace notifier {

// The process is this user's and runs the Execute path or a program named pipwell.
bool IsNotifierProcess(pid_t pid, const std::filesystem::path& executePath);

// SIGTERM to the notifier, then waits for its exit; SIGKILL once killAfter passed. False when pid is not
// the notifier (nothing is signalled) or it could not be ended.
bool CloseNotifierProcess(pid_t pid, const std::filesystem::path& executePath,
                          std::chrono::milliseconds killAfter = std::chrono::seconds(10));

// Copies from over to through a temporary file renamed into place; an existing target keeps its mode, a
// new one gets the source's.
std::error_code CopyNotifierProgram(const std::filesystem::path& from, const std::filesystem::path& to);

// Waits for the CopyFrom and Execute settings (500 ms steps), copies and starts the Execute path.
// False when the start failed.
bool RelaunchNotifier();

// The whole program: args are the words after the program name.
int LauncherMain(const std::vector<std::string>& args);

}  // namespace notifier
