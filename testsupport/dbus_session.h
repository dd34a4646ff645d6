// A private D-Bus session bus for one test: dbus-daemon with the session configuration, its address read
// from the pipe it prints it to, ended by its pid. Never the user's bus.
#pragma once

#include <unistd.h>

#include <optional>
#include <string>

#include "testsupport/reporting_server.h"

namespace testsupport {

inline constexpr const char* kDBusDaemon = "/usr/bin/dbus-daemon";

// Why a private bus cannot run here, or nullopt when it can.
inline std::optional<std::string> DBusDaemonMissing() {
    if (::access(kDBusDaemon, X_OK) != 0)
        return std::string("dbus-daemon is not installed (") + kDBusDaemon + "; Debian package dbus-daemon)";
    return std::nullopt;
}

class DBusSession : public ReportingServer {
  public:
    DBusSession() = default;

    // False with `error` set when the bus did not come up within ten seconds.
    bool Start(std::string& error) {
        return Launch(
            [](int fd) {
                return std::vector<std::string>{kDBusDaemon, "--session", "--nofork", "--nopidfile",
                                                "--print-address=" + std::to_string(fd)};
            },
            "dbus-daemon", error);
    }

    // The value for DBUS_SESSION_BUS_ADDRESS; empty while not running.
    const std::string& Address() const { return m_report; }
};

}  // namespace testsupport
