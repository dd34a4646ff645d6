// The process half of the process-control library: /proc listing, the name rule, the log files and stopping
// a process by id.
#include "installsupport/process_control.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"
#include "platform/known_folders.h"
#include "platform/write_all.h"

namespace dorvik {
namespace {

constexpr std::string_view kDeleted = " (deleted)";
constexpr size_t kTempPathLimit = 512;
constexpr int kExitWaitMs = 250;

std::optional<std::string> ReadLink(const std::filesystem::path& path) {
    std::string buffer(4096, '\0');
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n <= 0) {
        return std::nullopt;
    }
    buffer.resize(static_cast<size_t>(n));
    return buffer;
}

std::string ReadSmallFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The state letter of /proc/PID/stat, after the last ')' that closes the name.
char ProcessState(const std::filesystem::path& statPath) {
    const std::string stat = ReadSmallFile(statPath);
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return '?';
    }
    return stat[close + 2];
}

// One UTF-8 character; a byte that starts no valid sequence stands for itself, above the Unicode range so
// that it never folds onto a character.
char32_t NextCodePoint(std::string_view text, size_t& i) {
    const size_t start = i;
    if (const auto cp = platform::NextUtf8(text, i)) {
        return *cp;
    }
    i = start + 1;
    return 0x110000 + static_cast<unsigned char>(text[start]);
}

char32_t Fold(char32_t cp) {
    if (cp < 0x80) {
        return (cp >= 'A' && cp <= 'Z') ? cp + 32 : cp;
    }
    if (cp >= 0x110000) {
        return cp;
    }
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return utf8 ? static_cast<char32_t>(towlower_l(static_cast<wint_t>(cp), utf8)) : cp;
}

int PidfdOpen(pid_t pid) {
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
}

int PidfdSignal(int pidfd, int sig) {
    return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
}

// True when the process behind the pidfd ended within `ms`.
bool WaitForEnd(int pidfd, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        pollfd p{pidfd, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(std::max<long long>(left, 0)));
        if (r > 0) {
            return true;
        }
        if (r == 0 || (r < 0 && errno != EINTR)) {
            return false;
        }
    }
}

}  // namespace

std::string ProcessName(const std::optional<std::string>& exeTarget, std::string_view comm) {
    if (exeTarget && !exeTarget->empty()) {
        std::string_view target = *exeTarget;
        if (target.size() > kDeleted.size() && target.substr(target.size() - kDeleted.size()) == kDeleted) {
            target.remove_suffix(kDeleted.size());
        }
        const size_t slash = target.rfind('/');
        const std::string_view name = slash == std::string_view::npos ? target : target.substr(slash + 1);
        if (!name.empty()) {
            return std::string(name);
        }
    }
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r')) {
        comm.remove_suffix(1);
    }
    return std::string(comm);
}

std::optional<std::vector<ProcessEntry>> ListProcesses(const std::filesystem::path& procRoot, int* err) {
    DIR* dir = opendir(procRoot.c_str());
    if (dir == nullptr) {
        if (err) {
            *err = errno;
        }
        return std::nullopt;
    }
    std::vector<ProcessEntry> list;
    while (const dirent* entry = readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || *end != '\0' || pid <= 0) {
            continue;
        }
        const std::filesystem::path folder = procRoot / entry->d_name;
        const char state = ProcessState(folder / "stat");
        // Gone meanwhile ('?') or ended and waiting to be reaped ('Z'): not running.
        if (state == '?' || state == 'Z') {
            continue;
        }
        list.push_back(
            {static_cast<pid_t>(pid), ProcessName(ReadLink(folder / "exe"), ReadSmallFile(folder / "comm"))});
    }
    closedir(dir);
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return list;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (Fold(NextCodePoint(a, i)) != Fold(NextCodePoint(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

std::string TableOpening(std::string_view nameHeader, std::string_view idHeader) {
    const std::string rule(53, '=');
    char line[512];
    std::snprintf(line, sizeof line, "%-32.*s\t%.*s", static_cast<int>(nameHeader.size()), nameHeader.data(),
                  static_cast<int>(idHeader.size()), idHeader.data());
    return rule + "\n" + line + "\n" + rule + "\n";
}

std::string TableRow(std::string_view name, pid_t pid) {
    std::string row(name);
    if (row.size() < 32) {
        row.append(32 - row.size(), ' ');
    }
    return row + "\t" + std::to_string(pid) + "\n";
}

std::string TableClosing() {
    return std::string(53, '-') + "\n";
}

std::string WarningLine(std::string_view step, int err) {
    char buffer[256];
    const char* text = strerror_r(err, buffer, sizeof buffer);
    std::string message(text ? text : "");
    const auto control = std::find_if(message.begin(), message.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 && c != '\t';
    });
    message.erase(control, message.end());
    while (!message.empty() && (message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return "\n  WARNING: " + std::string(step) + " failed with error " + std::to_string(err) + " (" +
           message + ")";
}

LogFile::LogFile(const std::filesystem::path& path) {
    // O_TRUNC waits until the file is known to be ours: emptying a file another user planted here, or
    // one a link points at, would lose that file.
    // O_NONBLOCK keeps a planted fifo from holding the call until someone reads it.
    platform::UniqueFd fd(
        open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (!fd) {
        m_openError = errno;
        return;
    }
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0) {
        m_openError = errno;
        return;
    }
    // A second name means a hard link someone planted here to another file.
    if (!S_ISREG(st.st_mode) || st.st_uid != geteuid() || st.st_nlink != 1) {
        m_openError = EPERM;
        return;
    }
    if (ftruncate(fd.Get(), 0) != 0 || fcntl(fd.Get(), F_SETFL, 0) != 0) {
        m_openError = errno;
        return;
    }
    m_fd = std::move(fd);
}

bool LogFile::Write(std::string_view text) {
    return m_fd && platform::WriteAll(m_fd.Get(), text);
}

std::optional<std::filesystem::path> TempFile(std::string_view name) {
    const std::filesystem::path folder = platform::TempFolder();
    const std::string text = folder.string();
    if (text.empty() || text.size() > kTempPathLimit) {
        return std::nullopt;
    }
    return folder / std::string(name);
}

bool StopProcess(pid_t pid, LogFile& log) {
    if (pid == 0) {
        log.Line("Invalid Process ID!");
        return false;
    }
    if (pid == getpid()) {
        return false;
    }
    platform::UniqueFd pidfd(PidfdOpen(pid));
    if (!pidfd) {
        log.Warning("OpenProcess", errno);
        return false;
    }
    if (PidfdSignal(pidfd.Get(), SIGTERM) != 0) {
        log.Warning("TerminateProcess", errno);
        return false;
    }
    if (WaitForEnd(pidfd.Get(), kExitWaitMs)) {
        return true;
    }
    if (PidfdSignal(pidfd.Get(), SIGKILL) != 0) {
        // It may have ended between the wait and the kill.
        if (errno == ESRCH) {
            return true;
        }
        log.Warning("TerminateProcess", errno);
        return false;
    }
    return WaitForEnd(pidfd.Get(), kExitWaitMs);
}

}  // namespace dorvik
