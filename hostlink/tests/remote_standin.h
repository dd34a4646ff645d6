// The stand-in TCP host as a child process of a test: started with its options, its port read from its
// first output line, ended by closing its standard input. Also the reader of its login record file.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/poll_wait.h"
#include "platform/spawn.h"

#ifndef STANDIN_TCPHOST
#error "STANDIN_TCPHOST must name the stand-in host program"
#endif

namespace hostlink::testing {

class StandinHost {
  public:
    explicit StandinHost(std::vector<std::string> args) {
        platform::SpawnOptions options;
        options.program = STANDIN_TCPHOST;
        options.argv = {STANDIN_TCPHOST};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        options.pipeStdin = true;
        options.pipeStdout = true;
        std::string why;
        auto child = platform::Spawn(options, nullptr, &why);
        if (!child) {
            ADD_FAILURE() << "cannot start the stand-in host: " << why;
            return;
        }
        m_child = std::move(*child);
        const std::optional<std::string> line = ReadLine(m_child.stdoutRead.Get(), std::chrono::seconds(20));
        if (!line || line->empty()) {
            ADD_FAILURE() << "the stand-in host did not report its port";
            return;
        }
        m_port = static_cast<uint16_t>(std::stoi(*line));
    }
    ~StandinHost() {
        if (m_child.pid > 0) {
            m_child.stdinWrite.Reset();  // the host ends when its input closes
            platform::WaitForExit(m_child.pid);
        }
    }
    StandinHost(const StandinHost&) = delete;
    StandinHost& operator=(const StandinHost&) = delete;

    uint16_t Port() const { return m_port; }
    pid_t Pid() const { return m_child.pid; }

  private:
    static std::optional<std::string> ReadLine(int fd, std::chrono::seconds limit) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (platform::WaitForFd({.fd = fd, .events = POLLIN, .deadline = deadline}) !=
                platform::WaitResult::Ready) {
                return std::nullopt;
            }
            char c = 0;
            if (::read(fd, &c, 1) != 1) {
                return std::nullopt;
            }
            if (c == '\n') {
                return line;
            }
            line.push_back(c);
        }
    }

    platform::SpawnedProcess m_child;
    uint16_t m_port = 0;
};

// The lines the host recorded for its connection `number`; nullopt when it recorded none.
inline std::optional<std::vector<std::string>> RecordedLines(const std::filesystem::path& file,
                                                             int number = 1) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::string header = "# connection " + std::to_string(number);
    std::optional<std::vector<std::string>> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("# connection ")) {
            if (lines) {
                break;
            }
            if (line == header) {
                lines.emplace();
            }
            continue;
        }
        if (lines) {
            lines->push_back(line);
        }
    }
    return lines;
}

}  // namespace hostlink::testing
