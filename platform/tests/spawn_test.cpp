// Command-string splitting and quoting, and real children: inherited fds by number, closed fds, exact
// environment, working folder, program lookup and start failures reported by Spawn itself.
#include "platform/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/expand_environment.h"
#include "platform/process_environment.h"
#include "platform/shared_mapping.h"
#include "platform/win32_error.h"
#include "testsupport/test_support.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct SplitCase {
    const char* line;
    std::vector<std::string> argv;
};

TEST(SplitCommandLine, FollowsTheRuntimeRules) {
    const SplitCase cases[] = {
        {"", {}},
        {"prog", {"prog"}},
        {"prog a\tb", {"prog", "a", "b"}},
        {"prog   a  b  ", {"prog", "a", "b"}},
        {R"(prog "a b" c)", {"prog", "a b", "c"}},
        {R"(prog a"b c"d)", {"prog", "ab cd"}},
        {R"(prog "" x "")", {"prog", "", "x", ""}},
        {R"(prog "open ended)", {"prog", "open ended"}},
        // Backslashes are literal unless a quote follows.
        {R"(prog a\\b \\server\share c:\dir\)", {"prog", R"(a\\b)", R"(\\server\share)", R"(c:\dir\)"}},
        {R"(prog a\"b)", {"prog", R"(a"b)"}},
        {R"(prog a\\"b c")", {"prog", R"(a\b c)"}},
        {R"(prog a\\\"b)", {"prog", R"(a\"b)"}},
        {R"(prog a\\\\"b")", {"prog", R"(a\\b)"}},
        {R"(prog "c:\dir\\" x)", {"prog", R"(c:\dir\)", "x"}},
        // "" inside quotes is one quote and quoting goes on.
        {R"(prog "a""b c")", {"prog", R"(a"b c)"}},
        {R"(prog """")", {"prog", R"(")"}},
        // The first token: quotes group and vanish, backslashes never escape.
        {R"("C:\Program Files\x.exe" -a)", {R"(C:\Program Files\x.exe)", "-a"}},
        {R"("C:\dir\" a)", {R"(C:\dir\)", "a"}},
        {R"(C:\dir\"x y" z)", {R"(C:\dir\x y)", "z"}},
        {R"(a"b"c d)", {"abc", "d"}},
        {" prog a", {"", "prog", "a"}},
        {"sorel  -p3", {"sorel", "-p3"}},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(SplitCommandLine(c.line), c.argv) << "line: " << c.line;
    }
}

TEST(SplitCommandLine, JoinedArgumentsComeBackUnchanged) {
    const std::vector<std::string> args = {
        "",
        "plain",
        "a b",
        "tab\there",
        R"(a\)",
        R"(a\\ b)",
        R"(")",
        R"(\")",
        R"(a\\"b)",
        R"(\\server\share)",
        R"(c:\dir with space\)",
        "\"\"",
        "end\\\\",
    };
    for (const std::string& arg : args) {
        std::vector<std::string> argv = {"prog", arg, "next"};
        std::string line = JoinCommandLine(argv);
        EXPECT_EQ(SplitCommandLine(line), argv) << "argument: [" << arg << "] line: " << line;
    }
    std::vector<std::string> withBlanks = {R"(C:\Program Files\tool\)", "x"};
    EXPECT_EQ(SplitCommandLine(JoinCommandLine(withBlanks)), withBlanks);
    EXPECT_EQ(QuoteArgument("plain"), "plain");
    EXPECT_EQ(QuoteArgument(R"(a b\)"), R"("a b\\")");
}

TEST(EnvironmentBlock, SetGetUnsetAndSortedEntries) {
    EnvironmentBlock env;
    env.Set("ZED", "1");
    env.Set("ALPHA", "x=y");
    env.Set("ZED", "2");
    env.Set("alpha", "lower");  // names are exact: a different variable
    EXPECT_EQ(env.Get("ZED"), "2");
    EXPECT_EQ(env.Get("Zed"), std::nullopt);
    EXPECT_THAT(env.Entries(), ElementsAre("ALPHA=x=y", "ZED=2", "alpha=lower"));
    env.Unset("ZED");
    env.Unset("MISSING");
    EXPECT_THAT(env.Entries(), ElementsAre("ALPHA=x=y", "alpha=lower"));
}

// Reads until EOF; gives up after a few seconds so that a leaked write end fails the test, not hangs it.
std::string ReadAll(const UniqueFd& fd) {
    std::string out;
    char buffer[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
        pollfd p{fd.Get(), POLLIN, 0};
        int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count());
        if (left <= 0 || ::poll(&p, 1, left) <= 0) {
            ADD_FAILURE() << "no EOF on the child's output";
            return out;
        }
        ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return out;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool IsCloseOnExec(int fd) {
    return (::fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0;
}

class SpawnTest : public ::testing::Test {
  protected:
    // Runs the test child with stdout piped and returns what it printed and its exit code.
    std::pair<std::string, int> RunChild(SpawnOptions options) {
        options.pipeStdout = true;
        int32_t error = 0;
        std::string message;
        auto child = Spawn(options, &error, &message);
        if (!child) {
            ADD_FAILURE() << "spawn failed: " << error << " " << message;
            return {"", -1};
        }
        std::string out = ReadAll(child->stdoutRead);
        return {out, WaitForExit(child->pid)};
    }

    static SpawnOptions ChildOptions(std::vector<std::string> args) {
        SpawnOptions options;
        options.program = CARROWLINE_TEST_CHILD;
        options.argv = {"platform_test_child"};
        options.argv.insert(options.argv.end(), args.begin(), args.end());
        return options;
    }

    fs::path WriteProgram(const std::string& name, const std::string& content, fs::perms perms) {
        fs::path path = m_folder / name;
        std::ofstream(path, std::ios::binary) << content;
        fs::permissions(path, perms);
        return path;
    }

    testsupport::TempFolder m_temp;
    testsupport::ScopedEnv m_env;
    const fs::path m_folder = m_temp.Path();
};

TEST_F(SpawnTest, ChildReadsAnInheritedMappingByNumber) {
    auto mapping = SharedMapping::Create(4096);
    ASSERT_TRUE(mapping);
    std::strcpy(reinterpret_cast<char*>(mapping->Data()), "hello from the parent");
    // The fd is close-on-exec here; only the child made for it gets it without the flag.
    EXPECT_TRUE(IsCloseOnExec(mapping->Fd()));

    SpawnOptions options = ChildOptions({"mapping", std::to_string(mapping->Fd()), "4096"});
    options.inheritFds = {mapping->Fd()};
    auto [out, code] = RunChild(options);
    EXPECT_EQ(out, "hello from the parent\n");
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(mapping->Data()) + 22, "child was here");
    EXPECT_TRUE(IsCloseOnExec(mapping->Fd()));
}

TEST_F(SpawnTest, MappingNotHandedOverIsNotInTheChild) {
    auto mapping = SharedMapping::Create(4096);
    ASSERT_TRUE(mapping);
    auto [out, code] = RunChild(ChildOptions({"mapping", std::to_string(mapping->Fd()), "4096"}));
    EXPECT_THAT(out, ::testing::StartsWith("error:"));
    EXPECT_EQ(code, 3);
}

TEST_F(SpawnTest, EveryFdButTheInheritedOnesIsClosedInTheChild) {
    // Fds without close-on-exec, as a careless library would leave them.
    UniqueFd leaky(::open("/dev/null", O_RDONLY));
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd pipeRead(fds[0]), pipeWrite(fds[1]);
    UniqueFd high(::fcntl(leaky.Get(), F_DUPFD, 200));
    ASSERT_TRUE(leaky && high);
    auto first = SharedMapping::Create(64);
    auto second = SharedMapping::Create(64);
    ASSERT_TRUE(first && second);

    SpawnOptions options = ChildOptions({"fds"});
    options.inheritFds = {second->Fd(), first->Fd()};
    auto [out, code] = RunChild(options);
    EXPECT_EQ(code, 0);
    std::set<int> seen;
    for (const std::string& line : Lines(out)) {
        seen.insert(std::stoi(line));
    }
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2, first->Fd(), second->Fd()}));
}

TEST_F(SpawnTest, EnvironmentIsPassedExactly) {
    EnvironmentBlock env;
    env.Set("CARROWLINE_A", "1");
    env.Set("WITH_BLANKS", " x  y ");
    env.Set("EMPTY", "");
    env.Set("EQUALS", "a=b=c");
    SpawnOptions options = ChildOptions({"env"});
    options.environment = env;
    auto [out, code] = RunChild(options);
    EXPECT_EQ(code, 0);
    EXPECT_THAT(Lines(out), ElementsAreArray(env.Entries()));

    options.environment = EnvironmentBlock{};
    auto [none, noneCode] = RunChild(options);
    EXPECT_EQ(none, "");
    EXPECT_EQ(noneCode, 0);
}

// Variables the process set for its children reach a child that inherits the environment, and the
// expansion of %NAME%, without touching the real environment.
TEST_F(SpawnTest, ProcessVariablesReachInheritingChildren) {
    ClearProcessVariables();
    SetProcessVariable("CARROWLINE_OVERLAY", "(*)alpha");
    SetProcessVariable("CARROWLINE_OVERLAY", "(*)beta");
    auto [out, code] = RunChild(ChildOptions({"env"}));
    EXPECT_EQ(code, 0);
    EXPECT_THAT(Lines(out), Contains("CARROWLINE_OVERLAY=(*)beta"));
    EXPECT_EQ(std::getenv("CARROWLINE_OVERLAY"), nullptr);
    EXPECT_EQ(ExpandEnvironment("x%CARROWLINE_OVERLAY%y"), "x(*)betay");

    SpawnOptions explicitEnv = ChildOptions({"env"});
    explicitEnv.environment = EnvironmentBlock{};
    EXPECT_EQ(RunChild(explicitEnv).first, "");
    ClearProcessVariables();
}

TEST_F(SpawnTest, ArgumentsAndWorkingFolderReachTheChild) {
    SpawnOptions options = ChildOptions({"argv", "a b", R"(q"uote)", "", "\\"});
    options.argv[0] = "another name";
    auto [out, code] = RunChild(options);
    EXPECT_EQ(code, 0);
    EXPECT_THAT(Lines(out), ElementsAre("another name", "argv", "a b", R"(q"uote)", "", "\\"));

    SpawnOptions inFolder = ChildOptions({"cwd"});
    inFolder.workingFolder = m_folder;
    auto [cwd, cwdCode] = RunChild(inFolder);
    EXPECT_EQ(cwdCode, 0);
    EXPECT_EQ(cwd, fs::canonical(m_folder).string() + "\n");
}

TEST_F(SpawnTest, StartFailuresAreReportedBySpawn) {
    fs::path notExecutable =
        WriteProgram("plain.txt", "text", fs::perms::owner_read | fs::perms::owner_write);
    // These pass the look-up and fail in the child's exec; the status pipe carries the reason back.
    fs::path junk = WriteProgram("junk", std::string("\x01\x02\x03\x04junk", 8), fs::perms::owner_all);
    fs::path noInterpreter = WriteProgram("script", "#!/nonexistent/interpreter\n", fs::perms::owner_all);
    struct Case {
        std::string program;
        fs::path workingFolder;
        int32_t error;
    };
    const Case cases[] = {
        {"/nonexistent/program", {}, win32::kFileNotFound},
        {"carrowline-no-such-program", {}, win32::kFileNotFound},
        {"", {}, win32::kFileNotFound},
        {m_folder.string(), {}, win32::kAccessDenied},
        {notExecutable.string(), {}, win32::kAccessDenied},
        {junk.string(), {}, win32::kFileNotFound},
        {noInterpreter.string(), {}, win32::kFileNotFound},
        {CARROWLINE_TEST_CHILD, m_folder / "missing", win32::kPathNotFound},
    };
    for (const Case& c : cases) {
        SpawnOptions options;
        options.program = c.program;
        options.workingFolder = c.workingFolder;
        int32_t error = 0;
        std::string message;
        EXPECT_FALSE(Spawn(options, &error, &message)) << c.program;
        EXPECT_EQ(error, c.error) << c.program << ": " << message;
        EXPECT_FALSE(message.empty());
    }
    SpawnOptions badFd = ChildOptions({"exit", "0"});
    badFd.inheritFds = {987};
    int32_t error = 0;
    EXPECT_FALSE(Spawn(badFd, &error));
    EXPECT_EQ(error, win32::kInvalidHandle);
}

TEST_F(SpawnTest, DetachedProgramRunsInItsOwnSessionAndIsNotOurChild) {
    const fs::path report = m_folder / "session";
    SpawnOptions options = ChildOptions({"session", report.string()});
    options.detached = true;
    int32_t error = 0;
    std::string message;
    auto child = Spawn(options, &error, &message);
    ASSERT_TRUE(child) << message;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(report) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(report);
    int pid = 0, sid = 0;
    ASSERT_TRUE(in >> pid >> sid) << "the detached program wrote no report";
    EXPECT_EQ(pid, child->pid);
    EXPECT_NE(sid, ::getsid(0));
    // The middle process was reaped by Spawn and the program is not ours to wait for.
    EXPECT_EQ(::waitpid(child->pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    struct Case {
        std::string program;
        fs::path workingFolder;
        int32_t error;
    };
    const Case failures[] = {
        {"/nonexistent/program", {}, win32::kFileNotFound},
        {CARROWLINE_TEST_CHILD, m_folder / "missing", win32::kPathNotFound},
    };
    for (const Case& c : failures) {
        SpawnOptions bad;
        bad.program = c.program;
        bad.workingFolder = c.workingFolder;
        bad.detached = true;
        EXPECT_FALSE(Spawn(bad, &error, &message)) << c.program;
        EXPECT_EQ(error, c.error) << c.program << ": " << message;
    }
    SpawnOptions piped = ChildOptions({"exit", "0"});
    piped.detached = true;
    piped.pipeStdout = true;
    EXPECT_FALSE(Spawn(piped, &error));
    EXPECT_EQ(error, win32::kInvalidParameter);
}

TEST_F(SpawnTest, BareNameIsLookedUpInTheProgramFolderThenPath) {
    // The test child sits beside this test program, so a bare name finds it before a PATH copy.
    fs::path decoy = WriteProgram("platform_test_child", "#!/bin/sh\nexit 42\n", fs::perms::owner_all);
    WriteProgram("carrowline-path-only", "#!/bin/sh\nexit 43\n", fs::perms::owner_all);
    m_env.Set("PATH", "relative:" + m_folder.string());

    SpawnOptions options;
    options.program = "platform_test_child";
    options.argv = {"platform_test_child", "exit", "7"};
    auto child = Spawn(options);
    ASSERT_TRUE(child);
    EXPECT_EQ(WaitForExit(child->pid), 7);

    options.program = "carrowline-path-only";
    options.argv.clear();
    child = Spawn(options);
    ASSERT_TRUE(child);
    EXPECT_EQ(WaitForExit(child->pid), 43);
}

TEST_F(SpawnTest, PipesExitCodesAndSignals) {
    SpawnOptions options = ChildOptions({"hold"});
    options.pipeStdin = true;
    options.pipeStderr = true;
    auto child = Spawn(options);
    ASSERT_TRUE(child);
    EXPECT_TRUE(IsCloseOnExec(child->stdinWrite.Get()));
    EXPECT_TRUE(IsCloseOnExec(child->stderrRead.Get()));
    EXPECT_FALSE(child->stdoutRead.Valid());
    EXPECT_EQ(PollExit(child->pid), std::nullopt);
    child->stdinWrite.Reset();  // EOF ends the child
    EXPECT_EQ(WaitForExit(child->pid), 0);

    auto killed = Spawn(options);
    ASSERT_TRUE(killed);
    ::kill(killed->pid, SIGTERM);
    EXPECT_EQ(WaitForExit(killed->pid), 128 + SIGTERM);
    EXPECT_EQ(WaitForExit(killed->pid), -1);  // already reaped

    auto exits = Spawn(ChildOptions({"exit", "5"}));
    ASSERT_TRUE(exits);
    std::optional<int> code;
    while (!(code = PollExit(exits->pid))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(*code, 5);
}

// The child starts with nothing blocked, whatever the spawning thread blocks, and with SIGPIPE at its
// default (this process ignores it); what else this process ignores stays ignored, as a shell's nohup
// relies on.
TEST_F(SpawnTest, ChildStartsWithAnEmptyMaskAndDefaultSigpipe) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction handle {};
    handle.sa_handler = [](int) {};
    struct sigaction oldPipe {
    }, oldHup{}, oldUsr1{};
    ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &oldPipe), 0);
    ASSERT_EQ(::sigaction(SIGHUP, &ignore, &oldHup), 0);
    ASSERT_EQ(::sigaction(SIGUSR1, &handle, &oldUsr1), 0);
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);

    auto [out, code] = RunChild(ChildOptions({"signals"}));

    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::sigaction(SIGHUP, &oldHup, nullptr);
    ::sigaction(SIGUSR1, &oldUsr1, nullptr);

    EXPECT_EQ(code, 0);
    const std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 2u) << out;
    const auto bits = [](const std::string& line) {
        return std::stoull(line.substr(line.find(':') + 1), nullptr, 16);
    };
    const auto bit = [](int sig) { return 1ull << (sig - 1); };
    EXPECT_EQ(bits(lines[0]), 0u) << lines[0];
    const unsigned long long ignored = bits(lines[1]);
    EXPECT_EQ(ignored & bit(SIGPIPE), 0u) << lines[1];
    EXPECT_EQ(ignored & bit(SIGUSR1), 0u) << lines[1];
    EXPECT_NE(ignored & bit(SIGHUP), 0u) << lines[1];
}

// A converter and whatever it starts must be stoppable as one: the group is the child's own, not ours.
TEST_F(SpawnTest, ANewProcessGroupIsLedByTheChild) {
    for (const bool own : {false, true}) {
        SCOPED_TRACE(own);
        SpawnOptions options = ChildOptions({"hold"});
        options.pipeStdin = true;
        options.newProcessGroup = own;
        auto child = Spawn(options);
        ASSERT_TRUE(child);
        EXPECT_EQ(::getpgid(child->pid), own ? child->pid : ::getpgrp());
        if (own) {
            ::kill(-child->pid, SIGTERM);
            EXPECT_EQ(WaitForExit(child->pid), 128 + SIGTERM);
        } else {
            child->stdinWrite.Reset();
            EXPECT_EQ(WaitForExit(child->pid), 0);
        }
    }
}

// A host program's output and its error messages share one pipe, in the order they were written.
TEST_F(SpawnTest, StandardErrorJoinsTheStdoutPipe) {
    fs::path script = WriteProgram("both", "#!/bin/sh\necho one\necho two >&2\necho three\necho four >&2\n",
                                   fs::perms::owner_all);
    SpawnOptions options;
    options.program = script.string();
    options.pipeStdout = true;
    options.stderrToStdout = true;
    options.nullStdio = true;
    auto child = Spawn(options);
    ASSERT_TRUE(child);
    EXPECT_FALSE(child->stderrRead.Valid());
    EXPECT_EQ(ReadAll(child->stdoutRead), "one\ntwo\nthree\nfour\n");
    EXPECT_EQ(WaitForExit(child->pid), 0);

    options.pipeStderr = true;
    int32_t error = 0;
    EXPECT_FALSE(Spawn(options, &error));
    EXPECT_EQ(error, win32::kInvalidParameter);
}

TEST_F(SpawnTest, ConcurrentSpawnsDoNotLeakPipesIntoEachOther) {
    // A long-lived child that inherited a sibling's stdout write end would keep that reader from EOF.
    std::vector<SpawnedProcess> holders;
    std::mutex holdersMutex;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < 8; ++n) {
                if (t == 0) {
                    SpawnOptions hold = ChildOptions({"hold"});
                    hold.pipeStdin = true;
                    auto child = Spawn(hold);
                    ASSERT_TRUE(child);
                    std::lock_guard lock(holdersMutex);
                    holders.push_back(std::move(*child));
                    continue;
                }
                SpawnOptions options = ChildOptions({"argv", std::to_string(t)});
                options.pipeStdout = true;
                auto child = Spawn(options);
                ASSERT_TRUE(child);
                EXPECT_EQ(ReadAll(child->stdoutRead),
                          "platform_test_child\nargv\n" + std::to_string(t) + "\n");
                EXPECT_EQ(WaitForExit(child->pid), 0);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (SpawnedProcess& holder : holders) {
        holder.stdinWrite.Reset();
        EXPECT_EQ(WaitForExit(holder.pid), 0);
    }
}

}  // namespace
}  // namespace platform
