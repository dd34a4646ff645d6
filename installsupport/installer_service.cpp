// The installer's service loop: one client at a time on a Unix socket, checked by peer credentials, each
// text run by /bin/sh and answered with its exit status.
#include "installsupport/installer_service.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <vector>

#include "platform/codepage.h"
#include "platform/known_folders.h"
#include "platform/spawn.h"
#include "platform/unique_fd.h"
#include "suite/registry_settings.h"

namespace installer {
namespace {

using platform::UniqueFd;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kInstallerKey = "SOFTWARE\\Carrowline Corporation\\Installer";
constexpr std::string_view kDefaultSetupGroup = "carrowline-setup";
constexpr auto kClientDeadline = std::chrono::milliseconds(2000);
// After a failed accept (descriptors run out, say) the socket stays readable: a pause keeps the loop from
// spinning on it.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

std::string SetupGroupName() {
    char buffer[256] = {};
    uint32_t size = sizeof buffer - 1;
    platform::RegType type = platform::RegType::Sz;
    if (suite::RegReadValue(platform::HKey::LocalMachine, kInstallerKey, "SetupGroup", type, buffer, size) ==
            0 &&
        buffer[0] != '\0') {
        return buffer;
    }
    return std::string(kDefaultSetupGroup);
}

std::optional<gid_t> GroupId(const std::string& name) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return found->gr_gid;
}

// Root, the service's own user, or a member of the setup group (its primary or a supplementary group).
bool PeerPermitted(int fd, std::optional<gid_t> setupGroup) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
        return false;
    }
    if (cred.uid == 0 || cred.uid == geteuid()) {
        return true;
    }
    if (!setupGroup) {
        return false;
    }
    if (cred.gid == *setupGroup) {
        return true;
    }
    std::vector<gid_t> groups(256);
    socklen_t glen = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
    int got = getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &glen);
    if (got != 0 && errno == ERANGE) {
        // A member of many groups: the kernel said how much room they need.
        groups.resize(glen / sizeof(gid_t) + 1);
        glen = static_cast<socklen_t>(groups.size() * sizeof(gid_t));
        got = getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups.data(), &glen);
    }
    if (got != 0) {
        return false;
    }
    groups.resize(glen / sizeof(gid_t));
    return std::find(groups.begin(), groups.end(), *setupGroup) != groups.end();
}

void Reply(int fd, std::string_view line) {
    const std::string text = std::string(line) + "\n";
    // Never blocks: a client that does not read loses only its own answer.
    (void)send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

// A descriptor held back for the moment all others are taken: given up, it lets the service write its
// error line and answer the waiting client instead of leaving it queued.
class SpareFd {
  public:
    SpareFd() { Take(); }
    void Release() { m_fd.Reset(); }
    void Take() {
        if (!m_fd) {
            m_fd = UniqueFd(open("/dev/null", O_RDONLY | O_CLOEXEC));
        }
    }

  private:
    UniqueFd m_fd;
};

void NoteAcceptFailure() {
    UniqueFd fd(open("PipeError.txt", O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd) {
        constexpr std::string_view kLine = "Service is running but pipe is not valid\n";
        (void)write(fd.Get(), kLine.data(), kLine.size());
    }
}

void Notify(bool enabled, const std::string& state) {
    if (enabled) {
        sd_notify(0, state.c_str());
    }
}

// The listening socket; only a stale socket at the path (nobody accepting) is replaced.
class Listener {
  public:
    bool Open(const std::filesystem::path& path, std::optional<gid_t> group, std::string& why) {
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path.string().size() >= sizeof addr.sun_path) {
            why = "socket path too long";
            return false;
        }
        std::strcpy(addr.sun_path, path.c_str());
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0) {
            if (!S_ISSOCK(st.st_mode)) {
                why = path.string() + " exists and is not a socket";
                return false;
            }
            // Without blocking: a server whose queue is full does not hold up the start. Only a socket
            // nobody listens on is stale.
            UniqueFd probe(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
            if (!probe) {
                why = std::string("socket: ") + std::strerror(errno);
                return false;
            }
            if (connect(probe.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ||
                errno != ECONNREFUSED) {
                why = path.string() + " is served by another process, or cannot be tested";
                return false;
            }
            unlink(path.c_str());
        }
        UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd) {
            why = std::string("socket: ") + std::strerror(errno);
            return false;
        }
        // The socket appears with its final mode: nobody else can connect between bind and chmod.
        const mode_t old = umask(0117);
        const int bound = bind(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        const int bindErr = errno;
        umask(old);
        errno = bindErr;
        if (bound != 0 || listen(fd.Get(), 8) != 0) {
            why = path.string() + ": " + std::strerror(errno);
            return false;
        }
        chmod(path.c_str(), 0660);
        if (group) {
            (void)lchown(path.c_str(), geteuid() == 0 ? 0 : static_cast<uid_t>(-1), *group);
        }
        m_path = path;
        m_fd = std::move(fd);
        return true;
    }
    void Close() {
        if (m_fd) {
            m_fd.Reset();
            unlink(m_path.c_str());
        }
    }
    int Fd() const { return m_fd.Get(); }
    bool IsOpen() const { return m_fd.Valid(); }

  private:
    std::filesystem::path m_path;
    UniqueFd m_fd;
};

struct Client {
    UniqueFd fd;
    MessageBuffer message;
    Clock::time_point deadline;
    // While its command runs.
    pid_t pid = -1;
    UniqueFd pidfd;
    std::string command;
};

void StartThirdWord(const std::string& command) {
    if (const auto program = ThirdWordProgram(command)) {
        platform::SpawnOptions options;
        options.program = *program;
        options.argv = {*program, ""};
        options.detached = true;
        options.nullStdio = true;
        std::string message;
        if (!platform::Spawn(options, nullptr, &message)) {
            std::cerr << "installer: cannot start " << *program << ": " << message << "\n";
        }
    }
}

// Reaps the client's command, answers its status and applies the third-word rule.
void FinishCommand(Client& client) {
    const int status = platform::WaitForExit(client.pid);
    Reply(client.fd.Get(), std::to_string(status));
    if (status == 0) {
        StartThirdWord(client.command);
    }
}

// Starts the command; false when the client is done with, answered, already.
bool RunCommand(Client& client, const std::string& command) {
    platform::SpawnOptions options;
    options.program = "/bin/sh";
    options.argv = {"/bin/sh", "-c", command};
    options.nullStdio = true;
    std::string message;
    auto child = platform::Spawn(options, nullptr, &message);
    if (!child) {
        Reply(client.fd.Get(), "ERROR " + message);
        return false;
    }
    client.pid = child->pid;
    client.pidfd = UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, child->pid, 0)));
    client.command = command;
    if (!client.pidfd) {
        // Nothing to watch it by (descriptors run out): waiting here still answers the client, and a stop
        // is seen once the command has ended.
        FinishCommand(client);
        return false;
    }
    return true;
}

}  // namespace

Checked CheckMessage(std::string_view message) {
    if (message.size() > kMessageLimit) {
        return {{}, "too long"};
    }
    if (!message.empty() && message.back() == '\n') {
        message.remove_suffix(1);
        if (!message.empty() && message.back() == '\r') {
            message.remove_suffix(1);
        }
    }
    if (message.empty()) {
        return {{}, "empty"};
    }
    if (message.find_first_of(std::string_view("\0\n\r", 3)) != std::string_view::npos ||
        !platform::IsValidUtf8(message)) {
        return {{}, "malformed"};
    }
    return {std::string(message), {}};
}

void MessageBuffer::Append(std::string_view piece) {
    if (m_tooLong) {
        return;
    }
    m_text.append(piece);
    if (m_text.size() > kMessageLimit) {
        m_tooLong = true;
        m_text.clear();
        m_text.shrink_to_fit();
    }
}

Checked MessageBuffer::Finish() const {
    return m_tooLong ? Checked{{}, "too long"} : CheckMessage(m_text);
}

std::optional<std::string> ThirdWordProgram(std::string_view command) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < command.size() && words.size() < 3) {
        while (i < command.size() && command[i] == ' ') {
            ++i;
        }
        const size_t start = i;
        while (i < command.size() && command[i] != ' ') {
            ++i;
        }
        if (i > start) {
            words.push_back(command.substr(start, i - start));
        }
    }
    if (words.size() < 3 || words[2].find('/') == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(words[2]);
}

std::filesystem::path DefaultSocketPath() {
    return platform::CarrowlineRoot() / "run/carrowline/PelloryInstaller";
}

int RunService(const ServiceOptions& options) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGUSR1);
    sigaddset(&signals, SIGUSR2);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    UniqueFd sigfd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    if (!sigfd) {
        // Without it a stop would never be seen.
        std::cerr << "installer: signalfd: " << std::strerror(errno) << "\n";
        sigprocmask(SIG_UNBLOCK, &signals, nullptr);
        return 1;
    }

    const auto group = GroupId(SetupGroupName());
    Listener listener;
    std::string why;
    if (!listener.Open(options.socketPath, group, why)) {
        std::cerr << "installer: cannot make the socket: " << why << "\n";
        return 1;
    }
    Notify(options.notify, "READY=1\nSTATUS=Waiting for setup commands");

    std::optional<Client> client;
    bool stopping = false;
    int rc = 0;
    SpareFd spare;
    // One line in the error file for each run of failed accepts, not one per try.
    bool acceptFailing = false;
    Clock::time_point acceptAgain{};
    while (!stopping) {
        std::vector<pollfd> fds;
        fds.push_back({sigfd.Get(), POLLIN, 0});
        int timeout = -1;
        if (client && client->pid < 0) {
            fds.push_back({client->fd.Get(), POLLIN, 0});
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(client->deadline - Clock::now())
                    .count();
            timeout = static_cast<int>(std::max<long long>(left, 0));
        } else if (client) {
            fds.push_back({client->pidfd.Get(), POLLIN, 0});
        } else if (listener.IsOpen()) {
            const auto wait = acceptAgain - Clock::now();
            if (wait > Clock::duration::zero()) {
                timeout =
                    static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(wait).count() + 1);
            } else {
                fds.push_back({listener.Fd(), POLLIN, 0});
            }
        }
        const int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            std::cerr << "installer: poll: " << std::strerror(errno) << "\n";
            rc = 1;
            break;
        }
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (read(sigfd.Get(), &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGTERM || info.ssi_signo == SIGINT) {
                    stopping = true;
                } else if (info.ssi_signo == SIGUSR1) {
                    listener.Close();
                    Notify(options.notify, "STATUS=Paused");
                } else if (info.ssi_signo == SIGUSR2 && !listener.IsOpen()) {
                    // Still paused when the socket cannot be made; another continue tries again.
                    if (listener.Open(options.socketPath, group, why)) {
                        Notify(options.notify, "STATUS=Waiting for setup commands");
                    } else {
                        std::cerr << "installer: cannot make the socket: " << why << "\n";
                        Notify(options.notify, "STATUS=Paused, cannot make the socket: " + why);
                    }
                }
            }
            continue;
        }
        if (!client) {
            if (fds.size() > 1 && fds[1].revents) {
                UniqueFd fd(accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
                if (!fd) {
                    const int err = errno;
                    if (err != EAGAIN && err != EINTR && err != ECONNABORTED) {
                        spare.Release();
                        if (!acceptFailing) {
                            NoteAcceptFailure();
                        }
                        acceptFailing = true;
                        acceptAgain = Clock::now() + kAcceptPause;
                        if (err == EMFILE) {
                            UniqueFd refused(accept4(listener.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
                            if (refused) {
                                Reply(refused.Get(), std::string("ERROR ") + std::strerror(err));
                            }
                        }
                        spare.Take();
                    }
                    continue;
                }
                acceptFailing = false;
                if (!PeerPermitted(fd.Get(), group)) {
                    Reply(fd.Get(), "ERROR not permitted");
                    continue;
                }
                client.emplace();
                client->fd = std::move(fd);
                client->deadline = Clock::now() + kClientDeadline;
            }
            continue;
        }
        if (client->pid >= 0) {
            if (fds[1].revents) {
                FinishCommand(*client);
                client.reset();
            }
            continue;
        }
        if (ready == 0 || Clock::now() >= client->deadline) {
            Reply(client->fd.Get(), "ERROR timed out");
            client.reset();
            continue;
        }
        char buffer[4096];
        const ssize_t n = read(client->fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno != EAGAIN && errno != EINTR) {
                client.reset();
            }
            continue;
        }
        if (n > 0) {
            client->message.Append(std::string_view(buffer, static_cast<size_t>(n)));
            continue;
        }
        // End of file: the whole message is in.
        const Checked checked = client->message.Finish();
        if (!checked.refusal.empty()) {
            Reply(client->fd.Get(), "ERROR " + checked.refusal);
            client.reset();
        } else if (!RunCommand(*client, checked.command)) {
            client.reset();
        }
    }
    Notify(options.notify, "STOPPING=1");
    if (client) {
        Reply(client->fd.Get(), "ERROR stopping");
    }
    listener.Close();
    return rc;
}

}  // namespace installer
