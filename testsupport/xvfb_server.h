// A private X server for one test or test program: Xvfb on the first free display, started
// with -displayfd so the number it took is known, ended by its pid. Never the user's display.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/spawn.h"

namespace testsupport {

inline constexpr const char* kXvfb = "/usr/bin/Xvfb";

// Why Xvfb cannot run here, or nullopt when it can.
inline std::optional<std::string> XvfbMissing() {
    if (::access(kXvfb, X_OK) != 0) {
        return std::string("Xvfb is not installed (") + kXvfb + "; Debian package xvfb)";
    }
    return std::nullopt;
}

class XvfbServer {
  public:
    XvfbServer() = default;
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer() { Stop(); }

    // Starts the server with one screen of the given size; false with `error` set when it did not come up
    // within ten seconds.
    bool Start(std::string& error, const std::string& screen = "1280x1024x24") {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error = "pipe failed";
            return false;
        }
        platform::UniqueFd readEnd(fds[0]);
        platform::UniqueFd writeEnd(fds[1]);
        platform::SpawnOptions options;
        options.program = kXvfb;
        options.argv = {kXvfb,       "-displayfd", std::to_string(writeEnd.Get()),
                        "-screen",   "0",          screen,
                        "-nolisten", "tcp",        "-noreset"};
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
        // Xvfb writes the display number and a newline once it accepts clients.
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (number.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{readEnd.Get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                error = "Xvfb did not report a display within ten seconds";
                Stop();
                return false;
            }
            char buffer[32];
            const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
            if (n <= 0) {
                error = "Xvfb ended before it reported a display";
                Stop();
                return false;
            }
            number.append(buffer, static_cast<size_t>(n));
        }
        m_display = ":" + number.substr(0, number.find('\n'));
        return true;
    }

    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            platform::WaitForExit(m_pid);
            m_pid = -1;
        }
        m_display.clear();
    }

    // ":N", the value for DISPLAY; empty while not running.
    const std::string& Display() const { return m_display; }
    pid_t Pid() const { return m_pid; }

  private:
    pid_t m_pid = -1;
    std::string m_display;
};

}  // namespace testsupport
