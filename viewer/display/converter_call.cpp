// Runs mardle without a window or inherited descriptors, keeps the first lines of what it says, and trusts
// its success only with the target on disk.
#include "viewer/display/converter_call.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/poll_wait.h"
#include "platform/spawn.h"
#include "viewer/display/child_wait.h"

namespace display {
namespace {

constexpr size_t kMessageLimit = 4096;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Reads what is waiting on its standard error, for at most until `until`; false once it has closed. What
// goes past the limit is dropped.
bool ReadMessage(int fd, Clock::time_point until, std::string& text) {
    char buffer[1024];
    platform::FdWait wait;
    wait.fd = fd;
    wait.events = POLLIN;
    wait.deadline = until;
    if (platform::WaitForFd(wait) != platform::WaitResult::Ready) {
        return true;
    }
    ssize_t got;
    do {
        got = ::read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        return got < 0 && errno == EAGAIN;
    }
    text.append(buffer,
                std::min(static_cast<size_t>(got), kMessageLimit - std::min(kMessageLimit, text.size())));
    return true;
}

// Its exit status, or nothing at the deadline, reading its messages meanwhile. A descendant that keeps the
// pipe open cannot hold the wait past mardle's own exit.
std::optional<int> WaitCollecting(pid_t pid, int fd, Clock::time_point deadline, std::string& text) {
    bool open = true;
    for (;;) {
        if (const auto status = platform::PollExit(pid)) {
            const auto drainUntil = std::min(deadline, Clock::now() + std::chrono::milliseconds(200));
            while (open && Clock::now() < drainUntil) {
                open = ReadMessage(fd, drainUntil, text);
            }
            return status;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return std::nullopt;
        }
        if (!open) {
            return WaitForChild(pid, deadline);
        }
        open = ReadMessage(fd, std::min(deadline, now + std::chrono::milliseconds(20)), text);
    }
}

}  // namespace

ConvertResult ConvertDocument(const ConverterCall& call, const std::filesystem::path& source,
                              const std::filesystem::path& target) {
    ConvertResult result;
    if (!RemoveStaleTarget(target, result.message)) {
        result.status = ConvertStatus::TargetInUse;
        return result;
    }
    platform::SpawnOptions options;
    options.program = call.program;
    options.argv = {call.program, source.string(), target.string()};
    options.nullStdio = true;
    options.pipeStderr = true;
    int32_t error = 0;
    auto child = platform::Spawn(options, &error, &result.message);
    if (!child) {
        result.status = ConvertStatus::NotFound;
        return result;
    }
    auto status =
        WaitCollecting(child->pid, child->stderrRead.Get(), Clock::now() + call.timeout, result.message);
    result.message = Trimmed(std::move(result.message));
    if (!status) {
        StopChild(child->pid, false, call.grace);
        // A target that appeared while it was being stopped is not trusted.
        std::string ignored;
        RemoveStaleTarget(target, ignored);
        result.status = ConvertStatus::TimedOut;
        if (!result.message.empty()) {
            result.message += " ";
        }
        result.message += "The converter did not finish within " + std::to_string(call.timeout.count()) +
                          " ms and was stopped.";
        return result;
    }
    result.exitCode = *status;
    if (*status == static_cast<int>(MardleExit::ConverterMissing)) {
        // Without the office suite there is no converter, whatever mardle itself is.
        result.status = ConvertStatus::NotFound;
        return result;
    }
    if (*status != 0) {
        result.status = ConvertStatus::Failed;
        if (result.message.empty()) {
            result.message = "The converter failed with exit code " + std::to_string(*status) + ".";
        }
        return result;
    }
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.status = ConvertStatus::NothingWritten;
        result.message = "The converter reported success but wrote no \"" + target.string() + "\".";
        return result;
    }
    result.status = ConvertStatus::Converted;
    return result;
}

}  // namespace display
