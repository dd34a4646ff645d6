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
#include "testsupport/reporting_server.h"

namespace testsupport {

inline constexpr const char* kXvfb = "/usr/bin/Xvfb";

// Why Xvfb cannot run here, or nullopt when it can.
inline std::optional<std::string> XvfbMissing() {
    if (::access(kXvfb, X_OK) != 0) {
        return std::string("Xvfb is not installed (") + kXvfb + "; Debian package xvfb)";
    }
    return std::nullopt;
}

class XvfbServer : public ReportingServer {
  public:
    XvfbServer() = default;

    // Starts the server with one screen of the given size; false with `error` set when it did not come up
    // within ten seconds.
    bool Start(std::string& error, const std::string& screen = "1280x1024x24") {
        const bool started = Launch(
            [&](int fd) {
                return std::vector<std::string>{kXvfb,       "-displayfd", std::to_string(fd),
                                                "-screen",   "0",          screen,
                                                "-nolisten", "tcp",        "-noreset"};
            },
            "Xvfb", error);
        if (started)
            m_report = ":" + m_report;
        return started;
    }

    // ":N", the value for DISPLAY; empty while not running.
    const std::string& Display() const { return m_report; }
};

}  // namespace testsupport
