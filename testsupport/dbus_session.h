// A private D-Bus session bus for one test: dbus-daemon with the session configuration, its address read
// from the pipe it prints it to, ended by its pid. Never the user's bus.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "platform/spawn.h"

namespace testsupport {

inline constexpr const char* kDBusDaemon = "/usr/bin/dbus-daemon";

// Why a private bus cannot run here, or nullopt when it can.
inline std::optional<std::string> DBusDaemonMissing() {
    if (::access(kDBusDaemon, X_OK) != 0)
        return std::string("dbus-daemon is not installed (") + kDBusDaemon + "; Debian package dbus-daemon)";
    return std::nullopt;
}

class DBusSession {
  public:
    DBusSession() = default;
    DBusSession(const DBusSession&) = delete;
    DBusSession& operator=(const DBusSession&) = delete;
    ~DBusSession() { Stop(); }

    // False with `error` set when the bus did not come up within ten seconds.
    bool Start(std::string& error) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error = "pipe failed";
            return false;
        }
        platform::UniqueFd readEnd(fds[0]);
        platform::UniqueFd writeEnd(fds[1]);
        platform::SpawnOptions options;
        options.program = kDBusDaemon;
        options.argv = {kDBusDaemon, "--session", "--nofork", "--nopidfile",
                        "--print-address=" + std::to_string(writeEnd.Get())};
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
        std::string address;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (address.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd pfd{readEnd.Get(), POLLIN, 0};
            if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) {
                error = "dbus-daemon did not report an address within ten seconds";
                Stop();
                return false;
            }
            char buffer[256];
            const ssize_t n = ::read(readEnd.Get(), buffer, sizeof buffer);
            if (n <= 0) {
                error = "dbus-daemon ended before it reported an address";
                Stop();
                return false;
            }
            address.append(buffer, static_cast<size_t>(n));
        }
        m_address = address.substr(0, address.find('\n'));
        return true;
    }

    void Stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            platform::WaitForExit(m_pid);
            m_pid = -1;
        }
        m_address.clear();
    }

    // The value for DBUS_SESSION_BUS_ADDRESS; empty while not running.
    const std::string& Address() const { return m_address; }

  private:
    pid_t m_pid = -1;
    std::string m_address;
};

}  // namespace testsupport
