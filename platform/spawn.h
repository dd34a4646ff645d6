// Starting child processes without a shell: Windows command-string splitting, explicit argv and environment,
// stdio pipes, an explicit list of inherited fds and a working folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

// Splits a command string as the Windows C runtime does (blanks and tabs separate; double quotes group;
// backslashes are literal unless they precede a double quote: 2n backslashes + quote give n backslashes and
// toggle quoting, 2n+1 give n backslashes and a literal quote; "" inside quotes gives a literal quote).
// These are the rules of the Visual C++ 2008 and later runtime: after "" inside quotes, quoting goes on.
// The first token (the program) follows the runtime's own rule: it ends at the first blank or tab outside
// quotes, every double quote toggles quoting and is dropped, and backslashes are always literal, so
// "C:\dir" stays C:\dir\. A leading blank gives an empty first token; an empty string gives no tokens.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);
// Quotes one argument (not the first) so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view argument);
// The first element is quoted by the first-token rule (a double quote in it cannot be carried and is
// dropped); the others by QuoteArgument.
std::string JoinCommandLine(const std::vector<std::string>& argv);

// An environment built explicitly for a child (never setenv in this process). Names compare exactly.
class EnvironmentBlock {
  public:
    EnvironmentBlock() = default;
    static EnvironmentBlock FromCurrentProcess();
    void Set(std::string_view name, std::string_view value);
    void Unset(std::string_view name);
    std::optional<std::string> Get(std::string_view name) const;
    // "NAME=value" entries, sorted by name.
    std::vector<std::string> Entries() const;

  private:
    std::map<std::string, std::string, std::less<>> m_vars;
};

struct SpawnOptions {
    // The program: a path with a "/" is used as given; a bare name is looked up in the program folder first,
    // then in PATH.
    std::string program;
    // The full argument vector, argv[0] included. Empty means { program }.
    std::vector<std::string> argv;
    // The child's environment; nullopt inherits this process's.
    std::optional<EnvironmentBlock> environment;
    // Empty means this process's working folder.
    std::filesystem::path workingFolder;
    // Fds the child keeps at the same numbers (their close-on-exec flag is cleared in the child only).
    // Every other fd above 2 is closed in the child.
    std::vector<int> inheritFds;
    bool pipeStdin = false;
    bool pipeStdout = false;
    bool pipeStderr = false;
    // Standard error goes wherever standard output goes (with pipeStdout, into the same pipe, so a reader
    // sees both in the order they were written). Cannot be combined with pipeStderr.
    bool stderrToStdout = false;
    // Stdio that is not piped goes to /dev/null when set, else it is this process's own.
    bool nullStdio = false;
    // The program runs in a session of its own (setsid) as a grandchild that outlives this process and is
    // never its child: nothing is left to reap. Start errors are still reported. No pipes with it.
    bool detached = false;
    // The child leads a process group of its own (its pid is the group's id), so that it and whatever it
    // starts can be signalled together with kill(-pid, ...).
    bool newProcessGroup = false;
};

struct SpawnedProcess {
    pid_t pid = -1;
    UniqueFd stdinWrite;  // write end of the child's stdin, when piped
    UniqueFd stdoutRead;  // read end of the child's stdout, when piped
    UniqueFd stderrRead;  // read end of the child's stderr, when piped
};

// Starts the child (with `detached`, the returned pid is the program's, which is not this process's child).
// On failure returns nullopt with a Win32 code in `error` (kFileNotFound when the program
// cannot be found or executed) and a sentence in `message`. Failure to exec is reported here, not as a
// child that exits at once.
std::optional<SpawnedProcess> Spawn(const SpawnOptions& options, int32_t* error = nullptr,
                                    std::string* message = nullptr);

// Waits for the child and returns its exit status (128 + signal number when it was killed); -1 on error.
int WaitForExit(pid_t pid);
// Non-blocking check: nullopt while it runs.
std::optional<int> PollExit(pid_t pid);

}  // namespace platform
