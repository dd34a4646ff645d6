// Running a program to its end in a test: its standard output and error together, and its exit status.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/spawn.h"

namespace testsupport {

struct ProgramRun {
    int status = -1;
    std::string output;
};

// `program` with `args`; with `stopAt`, the program is ended (SIGTERM) once its output holds that text,
// for one that would wait for a user.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             std::optional<platform::EnvironmentBlock> env = std::nullopt,
                             const std::string& stopAt = {}) {
    platform::SpawnOptions options;
    options.program = program;
    options.argv = {program};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.environment = std::move(env);
    options.pipeStdout = true;
    options.stderrToStdout = true;
    std::string message;
    auto child = platform::Spawn(options, nullptr, &message);
    ProgramRun run;
    if (!child) {
        ADD_FAILURE() << message;
        return run;
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(child->stdoutRead.Get(), buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<size_t>(got));
        if (!stopAt.empty() && run.output.find(stopAt) != std::string::npos) {
            ::kill(child->pid, SIGTERM);
            break;
        }
    }
    run.status = platform::WaitForExit(child->pid);
    return run;
}

}  // namespace testsupport
