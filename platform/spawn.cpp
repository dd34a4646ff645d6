// Starting child processes without a shell, and the Windows command-string rules the suite's command lines
// follow. Everything the child needs is built before the child exists: the child shares this process's
// memory until exec (a vfork-style clone, so a large parent's page tables are never copied) and only makes
// raw system calls, so it takes no lock and touches no sanitizer state of the parent.
#include "platform/spawn.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/known_folders.h"
#include "platform/process_environment.h"
#include "platform/win32_error.h"

extern char** environ;
// glibc's own name for clone: ThreadSanitizer intercepts clone and would treat the child as a fork of a
// threaded process, with its state reset in memory the child shares with us.
extern "C" int __clone(int (*fn)(void*), void* stack, int flags, void* arg, ...);

namespace platform {

namespace {

bool IsBlank(char ch) {
    return ch == ' ' || ch == '\t';
}

// The first token: a quote toggles quoting and is dropped, backslashes are plain characters, and the token
// ends at the first blank or tab outside quotes. Program names hold no quotes, so nothing is lost.
size_t SplitFirstToken(std::string_view line, std::string& out) {
    bool inQuotes = false;
    size_t i = 0;
    for (; i < line.size(); ++i) {
        char ch = line[i];
        if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && IsBlank(ch)) {
            return i + 1;
        } else {
            out.push_back(ch);
        }
    }
    return i;
}

}  // namespace

// The rules of the Visual C++ 2008 and later runtime (the first token as above, then the argument rules
// of the header). An empty string gives no arguments; a leading blank gives an empty first token, as the
// runtime does.
std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> argv;
    if (line.empty()) {
        return argv;
    }
    argv.emplace_back();
    size_t i = SplitFirstToken(line, argv.back());

    bool inQuotes = false;
    for (;;) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::string& arg = argv.emplace_back();
        for (;;) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++i;
                ++backslashes;
            }
            bool copy = true;
            if (i < line.size() && line[i] == '"') {
                if (backslashes % 2 == 0) {
                    if (inQuotes && i + 1 < line.size() && line[i + 1] == '"') {
                        ++i;  // "" inside quotes: one literal quote, still quoted
                    } else {
                        copy = false;
                        inQuotes = !inQuotes;
                    }
                }
                backslashes /= 2;
            }
            arg.append(backslashes, '\\');
            if (i >= line.size() || (!inQuotes && IsBlank(line[i]))) {
                break;
            }
            if (copy) {
                arg.push_back(line[i]);
            }
            ++i;
        }
    }
    return argv;
}

std::string QuoteArgument(std::string_view argument) {
    bool needsQuotes = argument.empty() || argument.find_first_of(" \t\"") != std::string_view::npos;
    if (!needsQuotes) {
        return std::string(argument);
    }
    std::string out = "\"";
    size_t backslashes = 0;
    for (char ch : argument) {
        if (ch == '\\') {
            ++backslashes;
            continue;
        }
        if (ch == '"') {
            // Backslashes before a quote are doubled, and the quote itself escaped.
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out.push_back(ch);
    }
    // Backslashes before the closing quote are doubled so that they stay backslashes.
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

std::string JoinCommandLine(const std::vector<std::string>& argv) {
    std::string out;
    for (size_t n = 0; n < argv.size(); ++n) {
        if (n == 0) {
            // The first token knows no escapes: a quote cannot be carried (program names hold none), so
            // quotes are dropped and blanks are grouped in quotes.
            std::string program;
            for (char ch : argv[0]) {
                if (ch != '"') {
                    program.push_back(ch);
                }
            }
            bool quote = program.empty() || program.find_first_of(" \t") != std::string::npos;
            out += quote ? "\"" + program + "\"" : program;
        } else {
            out.push_back(' ');
            out += QuoteArgument(argv[n]);
        }
    }
    return out;
}

EnvironmentBlock EnvironmentBlock::FromCurrentProcess() {
    EnvironmentBlock block;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        size_t eq = text.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            continue;
        }
        // The first definition wins, as getenv sees it.
        block.m_vars.emplace(std::string(text.substr(0, eq)), std::string(text.substr(eq + 1)));
    }
    for (auto& [name, value] : ProcessVariables()) {
        block.Set(name, value);
    }
    return block;
}

void EnvironmentBlock::Set(std::string_view name, std::string_view value) {
    auto it = m_vars.find(name);
    if (it != m_vars.end()) {
        it->second = std::string(value);
    } else {
        m_vars.emplace(std::string(name), std::string(value));
    }
}

void EnvironmentBlock::Unset(std::string_view name) {
    auto it = m_vars.find(name);
    if (it != m_vars.end()) {
        m_vars.erase(it);
    }
}

std::optional<std::string> EnvironmentBlock::Get(std::string_view name) const {
    auto it = m_vars.find(name);
    if (it == m_vars.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::vector<std::string> EnvironmentBlock::Entries() const {
    std::vector<std::string> entries;
    entries.reserve(m_vars.size());
    for (const auto& [name, value] : m_vars) {
        entries.push_back(name + "=" + value);
    }
    return entries;
}

namespace {

// What the child reports through the status pipe when it cannot reach exec.
// A detached start's middle process reports Started with the program's pid in `err`, or Session with errno.
enum class ChildStage : int32_t { Stdio = 1, Fds = 2, Chdir = 3, Exec = 4, Session = 5, Started = 6 };
struct ChildStatus {
    int32_t stage;
    int32_t err;
};

void Fail(int32_t* error, std::string* message, int32_t code, std::string text) {
    if (error != nullptr) {
        *error = code;
    }
    if (message != nullptr) {
        *message = std::move(text);
    }
}

std::string ErrnoText(int err) {
    return std::generic_category().message(err);
}

// A program file must be a regular file we may execute; EACCES tells "there but not runnable".
int CheckProgram(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EACCES;
    }
    if (::access(path.c_str(), X_OK) != 0) {
        return errno;
    }
    return 0;
}

// Resolves the program to the path exec is given; errno-style result.
int ResolveProgram(const std::string& program, std::string& path) {
    if (program.empty()) {
        return ENOENT;
    }
    if (program.find('/') != std::string::npos) {
        std::error_code ec;
        // Relative paths mean this process's working folder, not the child's.
        path = std::filesystem::absolute(program, ec).string();
        if (ec) {
            path = program;
        }
        return CheckProgram(path);
    }
    int firstDenied = 0;
    std::string deniedPath;
    auto tryFolder = [&](const std::string& folder) {
        std::string candidate = folder;
        if (candidate.back() != '/') {
            candidate.push_back('/');
        }
        candidate += program;
        int err = CheckProgram(candidate);
        if (err == 0) {
            path = std::move(candidate);
            return true;
        }
        if (err == EACCES && firstDenied == 0) {
            firstDenied = err;
            deniedPath = candidate;
        }
        return false;
    };
    std::string programFolder = ProgramFolder().string();
    if (!programFolder.empty() && tryFolder(programFolder)) {
        return 0;
    }
    const char* pathVar = ::getenv("PATH");
    std::string_view rest = pathVar != nullptr ? pathVar : "/usr/local/bin:/usr/bin:/bin";
    for (;;) {
        size_t colon = rest.find(':');
        std::string_view folder = rest.substr(0, colon);
        // Empty and relative entries would make the result depend on the working folder: skipped.
        if (!folder.empty() && folder.front() == '/' && tryFolder(std::string(folder))) {
            return 0;
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    if (firstDenied != 0) {
        path = deniedPath;
        return firstDenied;
    }
    return ENOENT;
}

int32_t ExecErrorCode(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENOEXEC:
        case ELOOP:
        case ENAMETOOLONG:
        case ELIBBAD:
            return win32::kFileNotFound;
        case EACCES:
        case EPERM:
        case ETXTBSY:
            return win32::kAccessDenied;
        case ENOMEM:
            return win32::kNotEnoughMemory;
        default:
            return win32::kFileNotFound;
    }
}

// Moves an fd above stdio so that the child's dup2 onto 0..2 can never overwrite another source.
bool LiftAboveStdio(UniqueFd& fd) {
    if (fd.Get() > 2) {
        return true;
    }
    int lifted = ::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 3);
    if (lifted < 0) {
        return false;
    }
    fd.Reset(lifted);
    return true;
}

bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return LiftAboveStdio(readEnd) && LiftAboveStdio(writeEnd);
}

// Child side, from the clone to exec. The child runs on this process's memory while the parent's thread
// is suspended, so it makes raw system calls only (the sanitizers intercept the libc wrappers), calls
// nothing instrumented, and writes nothing of the parent's but the suspended thread's errno.
#define CARROWLINE_CHILD_SIDE __attribute__((no_sanitize("address", "thread", "undefined")))

// The kernel's own sigaction record (not libc's): what rt_sigaction reads and writes.
struct KernelSigaction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    uint64_t mask;
};

CARROWLINE_CHILD_SIDE long Sys(long number, long a = 0, long b = 0, long c = 0, long d = 0) {
    return ::syscall(number, a, b, c, d);
}

[[noreturn]] CARROWLINE_CHILD_SIDE void ReportAndExit(int statusFd, ChildStage stage, long result) {
    ChildStatus status;
    status.stage = static_cast<int32_t>(stage);
    status.err = static_cast<int32_t>(-result);
    long written;
    do {
        written = Sys(SYS_write, statusFd, reinterpret_cast<long>(&status), sizeof status);
    } while (written == -EINTR);
    for (;;) {
        Sys(SYS_exit_group, 127);
    }
}

// The raw call's result with the error as a negative errno, as the kernel gives it.
CARROWLINE_CHILD_SIDE long Raw(long number, long a = 0, long b = 0, long c = 0, long d = 0) {
    const long result = Sys(number, a, b, c, d);
    return result == -1 ? -static_cast<long>(errno) : result;
}

CARROWLINE_CHILD_SIDE void CloseRange(unsigned first, unsigned last, int maxFd) {
    if (first > last) {
        return;
    }
    if (Raw(SYS_close_range, first, last, 0) == 0) {
        return;
    }
    // Kernels before 5.9: walk the numbers up to the descriptor limit.
    const unsigned end = last < static_cast<unsigned>(maxFd) ? last : static_cast<unsigned>(maxFd);
    for (unsigned fd = first; fd <= end; ++fd) {
        Raw(SYS_close, fd);
    }
}

struct ChildPlan {
    const char* path;
    char* const* argv;
    char* const* envp;
    const char* workingFolder;  // null: stay
    int stdioSource[3];         // -1: keep this process's own
    bool stderrToStdout;        // after the others: standard error becomes a copy of standard output
    const int* keepFds;         // sorted, status fd included
    size_t keepCount;
    const int* inheritFds;
    size_t inheritCount;
    int statusFd;
    int maxFd;
    sigset_t childMask;
    bool detached;
    bool newProcessGroup;
};

CARROWLINE_CHILD_SIDE void SetDefaultAction(long sig) {
    KernelSigaction action;
    action.handler = SIG_DFL;
    action.flags = 0;
    action.restorer = nullptr;
    action.mask = 0;
    Raw(SYS_rt_sigaction, sig, reinterpret_cast<long>(&action), 0, sizeof action.mask);
}

// Everything from the signals to exec; the caller came in with every signal blocked.
[[noreturn]] CARROWLINE_CHILD_SIDE void PrepareAndExec(const ChildPlan& plan) {
    // Handlers of the parent must not run in the child: they would run on the parent's memory.
    for (long sig = 1; sig < NSIG; ++sig) {
        KernelSigaction action;
        if (Raw(SYS_rt_sigaction, sig, 0, reinterpret_cast<long>(&action), sizeof action.mask) == 0 &&
            action.handler != SIG_IGN && action.handler != SIG_DFL) {
            SetDefaultAction(sig);
        }
    }
    SetDefaultAction(SIGPIPE);
    Raw(SYS_rt_sigprocmask, SIG_SETMASK, reinterpret_cast<long>(&plan.childMask), 0, sizeof(uint64_t));
    if (plan.newProcessGroup && !plan.detached) {
        if (const long result = Raw(SYS_setpgid, 0, 0); result < 0) {
            ReportAndExit(plan.statusFd, ChildStage::Session, result);
        }
    }

    for (int target = 0; target < 3; ++target) {
        int source = plan.stdioSource[target];
        if (source >= 0) {
            if (const long result = Raw(SYS_dup3, source, target, 0); result < 0) {
                ReportAndExit(plan.statusFd, ChildStage::Stdio, result);
            }
        }
    }
    if (plan.stderrToStdout) {
        if (const long result = Raw(SYS_dup3, 1, 2, 0); result < 0) {
            ReportAndExit(plan.statusFd, ChildStage::Stdio, result);
        }
    }
    // Everything above stdio goes except the inherited fds and the status pipe.
    unsigned next = 3;
    for (size_t n = 0; n < plan.keepCount; ++n) {
        unsigned keep = static_cast<unsigned>(plan.keepFds[n]);
        if (keep > next) {
            CloseRange(next, keep - 1, plan.maxFd);
        }
        next = keep + 1 > next ? keep + 1 : next;
    }
    CloseRange(next, UINT_MAX, plan.maxFd);
    for (size_t n = 0; n < plan.inheritCount; ++n) {
        int fd = plan.inheritFds[n];
        long flags = Raw(SYS_fcntl, fd, F_GETFD);
        if (flags >= 0) {
            flags = Raw(SYS_fcntl, fd, F_SETFD, flags & ~FD_CLOEXEC);
        }
        if (flags < 0) {
            ReportAndExit(plan.statusFd, ChildStage::Fds, flags);
        }
    }
    if (plan.workingFolder != nullptr) {
        if (const long result = Raw(SYS_chdir, reinterpret_cast<long>(plan.workingFolder)); result < 0) {
            ReportAndExit(plan.statusFd, ChildStage::Chdir, result);
        }
    }
    const long result = Raw(SYS_execve, reinterpret_cast<long>(plan.path), reinterpret_cast<long>(plan.argv),
                            reinterpret_cast<long>(plan.envp));
    ReportAndExit(plan.statusFd, ChildStage::Exec, result);
}

// The entry of the vfork-style clone.
CARROWLINE_CHILD_SIDE int RunSharedChild(void* plan) {
    PrepareAndExec(*static_cast<const ChildPlan*>(plan));
}

// A detached start forks (its middle process must outlive nothing of ours, and may fork itself): the middle
// process leaves the session, forks the program and ends; the parent reaps it at once.
[[noreturn]] void RunDetachedChild(const ChildPlan& plan) {
    if (::setsid() < 0) {
        ReportAndExit(plan.statusFd, ChildStage::Session, -errno);
    }
    const pid_t program = ::fork();
    if (program < 0) {
        ReportAndExit(plan.statusFd, ChildStage::Session, -errno);
    }
    if (program > 0) {
        ChildStatus started{static_cast<int32_t>(ChildStage::Started), static_cast<int32_t>(program)};
        ssize_t written;
        do {
            written = ::write(plan.statusFd, &started, sizeof started);
        } while (written < 0 && errno == EINTR);
        ::_exit(0);
    }
    PrepareAndExec(plan);
}

// The child's stack: the child never returns into this process's frames. A guard page below it turns an
// overflow into a fault of the child instead of a write into the parent's memory.
class ChildStack {
  public:
    static constexpr size_t kSize = 64 * 1024;
    ChildStack() {
        m_page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        void* base = ::mmap(nullptr, kSize + m_page, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (base == MAP_FAILED) {
            return;
        }
        m_base = static_cast<char*>(base);
        ::mprotect(m_base, m_page, PROT_NONE);
    }
    ~ChildStack() {
        if (m_base != nullptr) {
            ::munmap(m_base, kSize + m_page);
        }
    }
    ChildStack(const ChildStack&) = delete;
    ChildStack& operator=(const ChildStack&) = delete;
    bool Valid() const { return m_base != nullptr; }
    // Stacks grow down on every architecture we build for.
    void* Top() const { return m_base + m_page + kSize; }

  private:
    char* m_base = nullptr;
    size_t m_page = 0;
};

}  // namespace

std::optional<SpawnedProcess> Spawn(const SpawnOptions& options, int32_t* error, std::string* message) {
    std::string path;
    if (int err = ResolveProgram(options.program, path); err != 0) {
        Fail(error, message, ExecErrorCode(err),
             "Cannot start \"" + options.program + "\": " + ErrnoText(err) + ".");
        return std::nullopt;
    }
    if (options.detached && (options.pipeStdin || options.pipeStdout || options.pipeStderr)) {
        Fail(error, message, win32::kInvalidParameter,
             "A detached program cannot have pipes to this process.");
        return std::nullopt;
    }
    if (options.stderrToStdout && options.pipeStderr) {
        Fail(error, message, win32::kInvalidParameter,
             "Standard error cannot be both piped and joined to standard output.");
        return std::nullopt;
    }

    std::vector<std::string> argvText =
        options.argv.empty() ? std::vector<std::string>{options.program} : options.argv;
    std::vector<char*> argv;
    for (std::string& arg : argvText) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> envText;
    std::vector<char*> envp;
    // Variables the process set for its children travel with an inherited environment too.
    std::optional<EnvironmentBlock> inherited;
    if (!options.environment && !ProcessVariables().empty()) {
        inherited = EnvironmentBlock::FromCurrentProcess();
    }
    const std::optional<EnvironmentBlock>& environment =
        options.environment ? options.environment : inherited;
    if (environment) {
        envText = environment->Entries();
        for (std::string& entry : envText) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
    }

    std::vector<int> inherit = options.inheritFds;
    std::sort(inherit.begin(), inherit.end());
    inherit.erase(std::unique(inherit.begin(), inherit.end()), inherit.end());
    for (int fd : inherit) {
        if (fd <= 2 || ::fcntl(fd, F_GETFD) < 0) {
            Fail(error, message, fd <= 2 ? win32::kInvalidParameter : win32::kInvalidHandle,
                 "Cannot hand fd " + std::to_string(fd) + " to a child.");
            return std::nullopt;
        }
    }

    SpawnedProcess result;
    UniqueFd childStdin, childStdout, childStderr, devNull;
    bool ok = true;
    if (options.pipeStdin) {
        ok = ok && MakePipe(childStdin, result.stdinWrite);
    }
    if (options.pipeStdout) {
        ok = ok && MakePipe(result.stdoutRead, childStdout);
    }
    if (options.pipeStderr) {
        ok = ok && MakePipe(result.stderrRead, childStderr);
    }
    const bool stderrPlaced = options.pipeStderr || options.stderrToStdout;
    if (ok && options.nullStdio && !(options.pipeStdin && options.pipeStdout && stderrPlaced)) {
        devNull.Reset(::open("/dev/null", O_RDWR | O_CLOEXEC));
        ok = devNull.Valid() && LiftAboveStdio(devNull);
    }
    UniqueFd statusRead, statusWrite;
    ok = ok && MakePipe(statusRead, statusWrite);
    if (!ok) {
        int err = errno;
        Fail(error, message, win32::FromErrno(err),
             "Cannot create the child's pipes: " + ErrnoText(err) + ".");
        return std::nullopt;
    }

    std::string workingFolder = options.workingFolder.string();
    std::vector<int> keep = inherit;
    keep.push_back(statusWrite.Get());
    std::sort(keep.begin(), keep.end());

    ChildPlan plan{};
    plan.path = path.c_str();
    plan.argv = argv.data();
    plan.envp = environment ? envp.data() : environ;
    plan.workingFolder = workingFolder.empty() ? nullptr : workingFolder.c_str();
    auto source = [&](const UniqueFd& piped) { return piped.Valid() ? piped.Get() : devNull.Get(); };
    plan.stdioSource[0] = source(childStdin);
    plan.stdioSource[1] = source(childStdout);
    plan.stdioSource[2] = options.stderrToStdout ? -1 : source(childStderr);
    plan.stderrToStdout = options.stderrToStdout;
    plan.keepFds = keep.data();
    plan.keepCount = keep.size();
    plan.inheritFds = inherit.data();
    plan.inheritCount = inherit.size();
    plan.statusFd = statusWrite.Get();
    long openMax = ::sysconf(_SC_OPEN_MAX);
    plan.maxFd = openMax > 0 && openMax < INT_MAX ? static_cast<int>(openMax) : 65536;
    sigemptyset(&plan.childMask);
    plan.detached = options.detached;
    plan.newProcessGroup = options.newProcessGroup;

    std::optional<ChildStack> stack;
    if (!options.detached && !stack.emplace().Valid()) {
        const int err = errno;
        Fail(error, message, win32::FromErrno(err),
             "Cannot start \"" + options.program + "\": " + ErrnoText(err) + ".");
        return std::nullopt;
    }
    // The child starts with every signal blocked, so no handler of ours can run in it before it resets
    // them; the parent's thread is suspended until the child has called exec or ended.
    sigset_t all, previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid_t pid;
    if (options.detached) {
        pid = ::fork();
        if (pid == 0) {
            RunDetachedChild(plan);
        }
    } else {
        pid = __clone(RunSharedChild, stack->Top(), CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
    }
    int forkErr = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (pid < 0) {
        Fail(error, message, win32::FromErrno(forkErr),
             "Cannot start \"" + options.program + "\": " + ErrnoText(forkErr) + ".");
        return std::nullopt;
    }

    statusWrite.Reset();
    childStdin.Reset();
    childStdout.Reset();
    childStderr.Reset();
    devNull.Reset();

    // Records are whole (8 bytes, below PIPE_BUF). A detached start sends its Started record and perhaps a
    // failure of the program's own exec, in either order.
    auto readRecord = [&](ChildStatus& record) {
        size_t got = 0;
        while (got < sizeof record) {
            ssize_t n = ::read(statusRead.Get(), reinterpret_cast<char*>(&record) + got, sizeof record - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        return got;
    };
    ChildStatus status{};
    size_t got = readRecord(status);
    pid_t programPid = pid;
    if (options.detached) {
        WaitForExit(pid);
        if (got == sizeof status && status.stage == static_cast<int32_t>(ChildStage::Started)) {
            programPid = static_cast<pid_t>(status.err);
            status = {};
            got = readRecord(status);
        } else if (got == 0) {
            got = 1;  // the middle process died without a word
        }
    }
    if (got == 0) {
        result.pid = programPid;
        return result;  // exec closed the status pipe: the program runs
    }
    if (!options.detached) {
        WaitForExit(pid);
    }
    int err = got == sizeof status ? status.err : EIO;
    int32_t code = ExecErrorCode(err);
    std::string what = "Cannot start \"" + options.program + "\": ";
    switch (static_cast<ChildStage>(status.stage)) {
        case ChildStage::Chdir:
            code = win32::kPathNotFound;
            what += "the working folder \"" + workingFolder + "\" cannot be entered: ";
            break;
        case ChildStage::Stdio:
        case ChildStage::Fds:
        case ChildStage::Session:
            code = win32::FromErrno(err);
            break;
        case ChildStage::Exec:
        case ChildStage::Started:
            break;
    }
    Fail(error, message, code, what + ErrnoText(err) + ".");
    return std::nullopt;
}

namespace {

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

}  // namespace

int WaitForExit(pid_t pid) {
    if (pid <= 0) {
        return -1;
    }
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    return got == pid ? ExitCodeOf(status) : -1;
}

// An error (no such child, already reaped) is reported as -1, the same as WaitForExit.
std::optional<int> PollExit(pid_t pid) {
    if (pid <= 0) {
        return -1;
    }
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got == 0) {
        return std::nullopt;
    }
    return got == pid ? ExitCodeOf(status) : -1;
}

}  // namespace platform
