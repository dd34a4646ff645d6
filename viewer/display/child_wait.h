// What mardle and its caller share: waiting for a child with a deadline (and an optional wake-up descriptor),
// stopping it, and clearing the target a conversion is about to write.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace display {

using Clock = std::chrono::steady_clock;

// The child's exit status (128 + signal when killed), or nothing when the deadline passed or `wakeFd`
// became readable first.
std::optional<int> WaitForChild(pid_t pid, Clock::time_point deadline, int wakeFd = -1);

// SIGTERM to the process (or, with `group`, its whole process group), then SIGKILL once `grace` has passed;
// always reaps it. Returns its exit status.
int StopChild(pid_t pid, bool group, std::chrono::milliseconds grace);

// Deletes what stands at `target` so that a failed conversion can never leave an old file there: a regular
// file or a symbolic link (the link, never what it names) goes; nothing there is fine; anything else (a
// folder, a device) is refused. False with the reason in `why` when the target is still there.
bool RemoveStaleTarget(const std::filesystem::path& target, std::string& why);

}  // namespace display
