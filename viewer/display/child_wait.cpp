// Child waits without blocking signals or threads: the exit is polled in short steps, which is cheap next to
// a document conversion and needs nothing of the kernel beyond waitpid.
#include "viewer/display/child_wait.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/spawn.h"

namespace display {

namespace {
constexpr auto kStep = std::chrono::milliseconds(10);
}

std::optional<int> WaitForChild(pid_t pid, Clock::time_point deadline, int wakeFd) {
    for (;;) {
        if (const auto status = platform::PollExit(pid)) {
            return status;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return std::nullopt;
        }
        const auto slice = std::min<Clock::duration>(kStep, deadline - now);
        pollfd wake{wakeFd, POLLIN, 0};
        const int ready =
            ::poll(&wake, wakeFd >= 0 ? 1 : 0,
                   static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count()));
        if (ready > 0 && (wake.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            return platform::PollExit(pid);
        }
    }
}

int StopChild(pid_t pid, bool group, std::chrono::milliseconds grace) {
    const pid_t target = group ? -pid : pid;
    ::kill(target, SIGTERM);
    if (const auto status = WaitForChild(pid, Clock::now() + grace)) {
        if (group) {
            ::kill(target, SIGKILL);  // what the leader started may outlive it
        }
        return *status;
    }
    ::kill(target, SIGKILL);
    return platform::WaitForExit(pid);
}

bool RemoveStaleTarget(const std::filesystem::path& target, std::string& why) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return true;
        }
        why = "\"" + target.string() + "\" cannot be examined: " + std::strerror(errno) + ".";
        return false;
    }
    if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
        why = "\"" + target.string() + "\" is not a regular file and is not replaced.";
        return false;
    }
    if (::unlink(target.c_str()) != 0 && errno != ENOENT) {
        why = "\"" + target.string() + "\" cannot be deleted: " + std::strerror(errno) + ".";
        return false;
    }
    return true;
}

}  // namespace display
