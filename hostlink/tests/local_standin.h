// The stand-in local host program as the local pipe's tests use it: a temporary program folder with links
// named like the host programs, its record file read back per process, and its script files.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "standins/escapes.h"

namespace hostlink::testing {

// What one stand-in process was given and did, from its "<pid> <key> <escaped value>" lines.
struct StandinRun {
    pid_t pid = -1;
    std::vector<std::string> argv;
    std::map<std::string, std::string> env;
    std::string cwd;
    std::vector<int> fds;
    std::string received;                 // every byte read from its standard input
    std::vector<std::string> loginLines;  // the download tool's login lines it accepted
    std::string login;                    // "accepted", "sync only" or empty
    std::string refused;                  // the text of its error report
    std::optional<int> exitCode;

    std::string Program() const {
        if (argv.empty()) {
            return {};
        }
        return std::filesystem::path(argv.front()).filename().string();
    }
    std::vector<std::string> Arguments() const {
        return argv.empty() ? argv : std::vector<std::string>(argv.begin() + 1, argv.end());
    }
    std::optional<std::string> Env(const std::string& name) const {
        auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
};

// Every process that wrote to the record, in the order each first wrote.
inline std::vector<StandinRun> ReadStandinRecord(const std::filesystem::path& path) {
    std::vector<StandinRun> runs;
    std::ifstream in(path, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos) {
            ADD_FAILURE() << "bad record line: " << line;
            continue;
        }
        const pid_t pid = std::stoi(line.substr(0, first));
        const std::string key = line.substr(first + 1, second - first - 1);
        std::string why;
        const std::optional<std::string> decoded = standins::DecodeEscapes(line.substr(second + 1), &why);
        if (!decoded) {
            ADD_FAILURE() << "bad record line (" << why << "): " << line;
            continue;
        }
        const std::string& value = *decoded;
        auto run =
            std::find_if(runs.begin(), runs.end(), [pid](const StandinRun& r) { return r.pid == pid; });
        if (run == runs.end()) {
            runs.push_back(StandinRun{});
            run = runs.end() - 1;
            run->pid = pid;
        }
        if (key == "argv") {
            run->argv.push_back(value);
        } else if (key == "env") {
            const std::size_t eq = value.find('=');
            run->env[value.substr(0, eq)] = eq == std::string::npos ? "" : value.substr(eq + 1);
        } else if (key == "cwd") {
            run->cwd = value;
        } else if (key == "fd") {
            run->fds.push_back(std::stoi(value));
        } else if (key == "recv") {
            run->received += value;
        } else if (key == "login") {
            run->login = value;
        } else if (key.starts_with("login-")) {
            run->loginLines.push_back(value);
        } else if (key == "refused") {
            run->refused = value;
        } else if (key == "exit") {
            run->exitCode = std::stoi(value);
        }
    }
    return runs;
}

// Waits until `done` holds for the record: for a stand-in that is not our child (the container stand-in
// a new window starts). The time-out is only a safety net.
inline std::vector<StandinRun> WaitForStandinRecord(
    const std::filesystem::path& path, const std::function<bool(const std::vector<StandinRun>&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        std::vector<StandinRun> runs = ReadStandinRecord(path);
        if (done(runs) || std::chrono::steady_clock::now() > deadline) {
            return runs;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// True once process `pid` is gone and reaped (no zombie left); false after the safety time-out.
inline bool WaitUntilReaped(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (::kill(pid, 0) != 0 && errno == ESRCH) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

}  // namespace hostlink::testing
