// The launcher's work: end the running notifier, wait, copy the new program into place and start it.
#include "notifier/launcher.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "notifier/ipc_protocol.h"
#include "platform/atomic_file.h"

namespace notifier {
namespace {

int PidfdOpen(pid_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

bool PidfdSignal(int pidfd, int signal) {
    return ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

// True once the process has ended (a zombie counts).
bool WaitPidfd(int pidfd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{pidfd, POLLIN, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (n > 0)
            return true;
        if (n == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

std::filesystem::path ProcessExe(pid_t pid) {
    std::error_code ec;
    std::string exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec).string();
    if (ec)
        return {};
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() && exe.ends_with(kDeleted))
        exe.resize(exe.size() - kDeleted.size());
    return exe;
}

}  // namespace

bool IsNotifierProcess(pid_t pid, const std::filesystem::path& executePath) {
    if (pid <= 0)
        return false;
    struct stat st {};
    if (::stat(("/proc/" + std::to_string(pid)).c_str(), &st) != 0 || st.st_uid != ::geteuid())
        return false;
    const std::filesystem::path exe = ProcessExe(pid);
    if (exe.empty())
        return false;
    if (exe.filename() == "pipwell")
        return true;
    if (executePath.empty())
        return false;
    std::error_code ec;
    const auto wanted = std::filesystem::weakly_canonical(executePath, ec);
    return !ec && exe == wanted;
}

bool CloseNotifierProcess(pid_t pid, const std::filesystem::path& executePath,
                          std::chrono::milliseconds killAfter) {
    // The pidfd pins the process first, so the checks and the signal cannot reach a reused pid.
    const int pidfd = pid > 0 ? PidfdOpen(pid) : -1;
    if (pidfd < 0) {
        std::fprintf(stderr, "pipwelllauncher: no process %d to close\n", static_cast<int>(pid));
        return false;
    }
    bool ended = false;
    if (!IsNotifierProcess(pid, executePath)) {
        std::fprintf(stderr, "pipwelllauncher: process %d is not this user's notifier; not closed\n",
                     static_cast<int>(pid));
    } else if (PidfdSignal(pidfd, SIGTERM)) {
        ended = WaitPidfd(pidfd, killAfter);
        if (!ended) {
            std::fprintf(stderr, "pipwelllauncher: notifier %d did not end; killing it\n",
                         static_cast<int>(pid));
            ended = PidfdSignal(pidfd, SIGKILL) && WaitPidfd(pidfd, std::chrono::seconds(10));
        }
    } else {
        ended = errno == ESRCH;
    }
    ::close(pidfd);
    return ended;
}

std::error_code CopyNotifierProgram(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return std::error_code(errno ? errno : ENOENT, std::generic_category());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::make_error_code(std::errc::io_error);
    platform::AtomicWriteOptions options;
    struct stat target {};
    struct stat source {};
    if (::stat(to.c_str(), &target) != 0 && ::stat(from.c_str(), &source) == 0)
        options.mode = source.st_mode & 07777;
    return platform::WriteFileAtomically(to, bytes.str(), options);
}

bool RelaunchNotifier() {
    std::string copyFrom;
    std::string execute;
    bool noted = false;
    for (;;) {
        copyFrom = ReadNotifierSetting(kCopyFromPathValue);
        execute = ReadNotifierSetting(kExecutePathValue);
        if (!copyFrom.empty() && !execute.empty())
            break;
        if (!noted)
            std::fprintf(stderr, "pipwelllauncher: waiting for the settings \"%s\" and \"%s\"\n",
                         kCopyFromPathValue.data(), kExecutePathValue.data());
        noted = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    if (const auto ec = CopyNotifierProgram(copyFrom, execute))
        std::fprintf(stderr, "pipwelllauncher: cannot copy %s to %s: %s; starting the program there\n",
                     copyFrom.c_str(), execute.c_str(), ec.message().c_str());
    if (!RunCommandLine({execute})) {
        std::fprintf(stderr, "pipwelllauncher: cannot start %s\n", execute.c_str());
        return false;
    }
    return true;
}

int LauncherMain(const std::vector<std::string>& args) {
    std::string text;
    for (size_t i = 0; i < args.size() && i < 5; ++i) {
        if (i > 0)
            text += ' ';
        text += args[i];
    }
    if (!text.empty()) {
        const LauncherWords words = SplitLauncherArgs(text);
        if (words[0] && !words[0]->empty()) {
            const int pid = ParseDelayMs(*words[0]);
            CloseNotifierProcess(static_cast<pid_t>(pid), ReadNotifierSetting(kExecutePathValue));
        }
        if (words[1] && !words[1]->empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(ParseDelayMs(*words[1])));
    }
    return RelaunchNotifier() ? 0 : 1;
}

}  // namespace notifier
