// Starting a private server that reports one line once it accepts clients (Xvfb its display number,
// dbus-daemon its address) on a pipe whose descriptor it is given on its command line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/spawn.h"

namespace testsupport {

// `argv` makes the command line from the pipe's write descriptor. The line without its newline, with `pid`
// set; or nullopt with `error` set and the server ended when it did not report within ten seconds.
inline std::optional<std::string> StartReportingServer(
    const std::function<std::vector<std::string>(int fd)>& argv, const std::string& name, pid_t& pid,
    std::string& error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return std::nullopt;
    }
    platform::UniqueFd readEnd(fds[0]);
    platform::UniqueFd writeEnd(fds[1]);
    platform::SpawnOptions options;
    options.argv = argv(writeEnd.Get());
    options.program = options.argv.at(0);
    options.inheritFds = {writeEnd.Get()};
    options.nullStdio = true;
    std::string message;
    auto child = platform::Spawn(options, nullptr, &message);
    if (!child) {
        error = message;
        return std::nullopt;
    }
    pid = child->pid;
    writeEnd.Reset();
    const auto fail = [&](const std::string& why) {
        error = name + " " + why;
        ::kill(pid, SIGTERM);
        platform::WaitForExit(pid);
        pid = -1;
        return std::nullopt;
    };
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{readEnd.Get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return fail("did not report within ten seconds");
        char buffer[256];
        const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (n <= 0)
            return fail("ended before it reported");
        line.append(buffer, static_cast<size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}

}  // namespace testsupport
