// A private D-Bus session bus for one test: dbus-daemon with the session configuration, its address read
// from the pipe it prints it to, ended by its pid. Never the user's bus.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/spawn.h"
#include "testsupport/reporting_server.h"

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
        Stop();
        const auto address = StartReportingServer(
            [](int fd) {
                return std::vector<std::string>{kDBusDaemon, "--session", "--nofork", "--nopidfile",
                                                "--print-address=" + std::to_string(fd)};
            },
            "dbus-daemon", m_pid, error);
        if (!address)
            return false;
        m_address = *address;
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
