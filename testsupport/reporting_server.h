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

// What the private servers share: one child, started with a pipe it reports on and ended by its pid.
class ReportingServer {
  public:
    ReportingServer(const ReportingServer&) = delete;
    ReportingServer& operator=(const ReportingServer&) = delete;
    ~ReportingServer() { Stop(); }

    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            platform::WaitForExit(m_pid);
            m_pid = -1;
        }
        m_report.clear();
    }
    pid_t Pid() const { return m_pid; }

  protected:
    ReportingServer() = default;

    // `argv` makes the command line from the pipe's write descriptor. True with the line (without its
    // newline) in m_report; false with `error` set and the server ended when it did not report within ten
    // seconds.
    bool Launch(const std::function<std::vector<std::string>(int fd)>& argv, const std::string& name,
                std::string& error) {
        Stop();
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error = "pipe failed";
            return false;
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
            return false;
        }
        m_pid = child->pid;
        writeEnd.Reset();
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{readEnd.Get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                error = name + " did not report within ten seconds";
                Stop();
                return false;
            }
            char buffer[256];
            const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
            if (n <= 0) {
                error = name + " ended before it reported";
                Stop();
                return false;
            }
            line.append(buffer, static_cast<size_t>(n));
        }
        m_report = line.substr(0, line.find('\n'));
        return true;
    }

    pid_t m_pid = -1;
    std::string m_report;
};

}  // namespace testsupport
