// The real installer in the foreground on a socket of the test: message to reply and effect, the limits,
// deadlines, signals, stale sockets, peer checks and systemd's readiness message.
#include "installsupport/installer_service.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "platform/spawn.h"
#include "testsupport/test_support.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

// The address of a socket at `path` (shorter than sun_path, as the test's paths are).
sockaddr_un SocketAddress(const std::filesystem::path& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return addr;
}

TEST(InstallerMessage, CheckAndThirdWord) {
    struct Case {
        std::string message;
        std::string command;
        std::string refusal;
    };
    const Case cases[] = {
        {"true\n", "true", ""},
        {"true\r\n", "true", ""},
        {"true\n\n", "", "malformed"},
        {"", "", "empty"},
        {"\r\n", "", "empty"},
        {std::string("a\0b", 3), "", "malformed"},
        {"touch a\ntouch b", "", "malformed"},
        {"echo \xC3\xA4", "echo \xC3\xA4", ""},
        {"echo \xC3", "", "malformed"},
        {"echo \xED\xA0\x80", "", "malformed"},  // a surrogate
        {std::string(4096, 'x'), std::string(4096, 'x'), ""},
        {std::string(4097, 'x'), "", "too long"},
    };
    for (const auto& c : cases) {
        const auto checked = installer::CheckMessage(c.message);
        EXPECT_EQ(checked.command, c.command) << c.message.substr(0, 20);
        EXPECT_EQ(checked.refusal, c.refusal) << c.message.substr(0, 20);
    }

    EXPECT_EQ(installer::ThirdWordProgram("systemctl restart /opt/x/prog"), "/opt/x/prog");
    EXPECT_EQ(installer::ThirdWordProgram("a  b   ./c d"), "./c");
    EXPECT_EQ(installer::ThirdWordProgram("systemctl restart name"), std::nullopt);
    EXPECT_EQ(installer::ThirdWordProgram("two words"), std::nullopt);
}

class InstallerService : public ::testing::Test {
  protected:
    void SetUp() override {
        m_socket = m_temp.Path() / "run" / "PelloryInstaller";
        m_bin = m_temp.Path() / "bin";
        std::filesystem::create_directories(m_bin);
        // A program the third-word rule starts: it records its arguments.
        WriteFile(m_bin / "third",
                  "#!/bin/sh\necho \"$#:$1\" > '" + (m_temp.Path() / "third.out").string() + "'\n");
        std::filesystem::permissions(m_bin / "third", std::filesystem::perms::owner_all);
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            platform::WaitForExit(m_pid);
        }
    }

    platform::EnvironmentBlock Environment() const {
        auto env = platform::EnvironmentBlock::FromCurrentProcess();
        env.Set("PATH", m_bin.string() + ":" + env.Get("PATH").value_or("/usr/bin:/bin"));
        env.Set("CARROWLINE_ROOT", (m_temp.Path() / "root").string());
        return env;
    }

    void Start(const std::string& mode = "/debug", std::optional<std::string> notify = std::nullopt) {
        platform::SpawnOptions options;
        options.program = INSTALLER_PROGRAM;
        options.argv = {INSTALLER_PROGRAM, mode, "/socket:" + m_socket.string()};
        auto env = Environment();
        if (notify) {
            env.Set("NOTIFY_SOCKET", *notify);
        }
        options.environment = env;
        options.workingFolder = m_temp.Path();
        auto child = platform::Spawn(options);
        ASSERT_TRUE(child);
        m_pid = child->pid;
        if (!notify) {
            ASSERT_TRUE(WaitForSocket(true));
        }
    }

    int Connect() const {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un addr = SocketAddress(m_socket);
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd);
            return -1;
        }
        // A service that never answers fails the test instead of holding it.
        const timeval patience{30, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        return fd;
    }

    bool WaitForSocket(bool present) const {
        for (int i = 0; i < 2000; ++i) {
            const int fd = Connect();
            if (fd >= 0) {
                close(fd);
            }
            // A paused service stops listening before it removes the path: absence means both.
            if (present ? fd >= 0 : fd < 0 && !std::filesystem::exists(m_socket)) {
                return true;
            }
            usleep(2000);
        }
        return false;
    }

    // The service's sockets above the standard three (which the test's runner may have made sockets), and
    // in `total` all its descriptors.
    size_t SocketsHeld(size_t* total = nullptr) const {
        size_t sockets = 0;
        size_t all = 0;
        std::error_code ec;
        for (const auto& entry :
             std::filesystem::directory_iterator("/proc/" + std::to_string(m_pid) + "/fd", ec)) {
            ++all;
            std::error_code linkError;
            sockets += std::stoi(entry.path().filename().string()) > 2 &&
                       std::filesystem::read_symlink(entry.path(), linkError).string().starts_with("socket:");
        }
        if (total != nullptr) {
            *total = all;
        }
        return sockets;
    }
    // Waits until the service holds `count` sockets: its listener, and a client it accepted.
    bool WaitForSocketsHeld(size_t count, size_t* total = nullptr) const {
        for (int i = 0; i < 5000; ++i) {
            if (SocketsHeld(total) == count) {
                return true;
            }
            usleep(2000);
        }
        return false;
    }

    static std::string ReadReply(int fd) {
        std::string reply;
        char buffer[256];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0) {
            reply.append(buffer, static_cast<size_t>(n));
        }
        return reply;
    }

    // Sends the chunks, closes the writing side and answers the reply line.
    std::string Send(const std::vector<std::string>& chunks) const {
        const int fd = Connect();
        if (fd < 0) {
            return "(no connection)";
        }
        for (const auto& chunk : chunks) {
            (void)send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        }
        shutdown(fd, SHUT_WR);
        std::string reply = ReadReply(fd);
        close(fd);
        return reply;
    }
    std::string Send(const std::string& message) const { return Send(std::vector<std::string>{message}); }

    std::string Path(const std::string& name) const { return (m_temp.Path() / name).string(); }

    testsupport::TempFolder m_temp;
    std::filesystem::path m_socket;
    std::filesystem::path m_bin;
    pid_t m_pid = -1;
};

TEST_F(InstallerService, MessagesToRepliesAndEffects) {
    Start();
    struct Case {
        std::vector<std::string> chunks;
        std::string reply;
        std::string file;     // made by the command, when it ran
        std::string content;  // empty: the file must not exist
    };
    const std::string padded = "echo ok > " + Path("full") + " #";
    const std::string chunk(1000, '#');
    const Case cases[] = {
        {{"echo a > " + Path("f") + "\n"}, "0\n", "f", "a\n"},
        {{"/bin/false"}, "1\n", "", ""},
        {{"exit 7\r\n"}, "7\n", "", ""},
        {{""}, "ERROR empty\n", "", ""},
        {{padded + std::string(4096 - padded.size(), 'x')}, "0\n", "full", "ok\n"},
        {{chunk, chunk, chunk, chunk, chunk, "\ntouch " + Path("tail")}, "ERROR too long\n", "tail", ""},
        {{std::string("touch ") + Path("nul") + std::string("\0x", 2)}, "ERROR malformed\n", "nul", ""},
        {{"touch " + Path("one") + "\ntouch " + Path("two")}, "ERROR malformed\n", "one", ""},
        {{"echo b > \"" + Path("a b") + "\""}, "0\n", "a b", "b\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Send(c.chunks), c.reply) << c.chunks.front().substr(0, 30);
        if (!c.file.empty()) {
            if (c.content.empty()) {
                EXPECT_FALSE(std::filesystem::exists(Path(c.file))) << c.file;
            } else {
                EXPECT_EQ(ReadFile(Path(c.file)), c.content) << c.file;
            }
        }
    }
}

TEST_F(InstallerService, ThirdWordStartsOnlyAsAPathAfterSuccess) {
    Start();
    const std::string third = (m_bin / "third").string();
    const std::string out = Path("third.out");
    struct Case {
        std::string message;
        std::string reply;
        bool started;
    };
    const Case cases[] = {
        {"true x " + third, "0\n", true},
        {"false x " + third, "1\n", false},
        {"true " + third, "0\n", false},
        {"true x third", "0\n", false},  // a bare word: it may be the name just restarted
    };
    for (const auto& c : cases) {
        std::filesystem::remove(out);
        EXPECT_EQ(Send(c.message), c.reply) << c.message;
        if (c.started) {
            for (int i = 0; i < 2000 && ReadFile(out).empty(); ++i) {
                usleep(2000);
            }
            EXPECT_EQ(ReadFile(out), "1:\n") << c.message;  // one empty argument
        } else {
            usleep(100000);
            EXPECT_FALSE(std::filesystem::exists(out)) << c.message;
        }
    }
}

TEST_F(InstallerService, IdleClientIsAnsweredAtTheDeadlineAndTheNextServed) {
    Start();
    const int idle = Connect();
    ASSERT_GE(idle, 0);
    std::string next;
    std::thread waiting([&] { next = Send("exit 3"); });
    EXPECT_EQ(ReadReply(idle), "ERROR timed out\n");
    close(idle);
    waiting.join();
    EXPECT_EQ(next, "3\n");
}

TEST_F(InstallerService, TermWithAnIdleClientEndsCleanly) {
    Start();
    // Served and let go first, so that the start's probe is not mistaken for the idle client.
    ASSERT_EQ(Send(""), "ERROR empty\n");
    ASSERT_TRUE(WaitForSocketsHeld(1));
    const int idle = Connect();
    ASSERT_GE(idle, 0);
    // Stopped before it accepted, the client would only be dropped.
    ASSERT_TRUE(WaitForSocketsHeld(2));
    kill(m_pid, SIGTERM);
    EXPECT_EQ(platform::WaitForExit(m_pid), 0);
    m_pid = -1;
    EXPECT_FALSE(std::filesystem::exists(m_socket));
    EXPECT_EQ(ReadReply(idle), "ERROR stopping\n");
    close(idle);
}

TEST_F(InstallerService, PauseRemovesTheSocketAndContinueMakesItAnew) {
    Start();
    kill(m_pid, SIGUSR2);  // continue while running keeps the socket
    EXPECT_EQ(Send("true"), "0\n");
    kill(m_pid, SIGUSR1);
    ASSERT_TRUE(WaitForSocket(false));
    EXPECT_FALSE(std::filesystem::exists(m_socket));
    kill(m_pid, SIGUSR2);
    ASSERT_TRUE(WaitForSocket(true));
    EXPECT_EQ(Send("exit 2"), "2\n");
}

TEST_F(InstallerService, OnlyAStaleSocketIsReplaced) {
    // A socket nobody serves any more.
    std::filesystem::create_directories(m_socket.parent_path());
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un addr = SocketAddress(m_socket);
        ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
        close(fd);
    }
    Start();
    EXPECT_EQ(Send("true"), "0\n");

    // A second service on a live socket fails to start and leaves the first one serving.
    platform::SpawnOptions options;
    options.program = INSTALLER_PROGRAM;
    options.argv = {INSTALLER_PROGRAM, "/debug", "/socket:" + m_socket.string()};
    options.nullStdio = true;
    auto second = platform::Spawn(options);
    ASSERT_TRUE(second);
    EXPECT_EQ(platform::WaitForExit(second->pid), 1);
    EXPECT_EQ(Send("true"), "0\n");

    // A server whose queue is full is still a server: the start fails at once and keeps its socket.
    const auto busy = m_temp.Path() / "busy";
    const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un busyAddr = SocketAddress(busy);
    ASSERT_EQ(bind(server, reinterpret_cast<const sockaddr*>(&busyAddr), sizeof busyAddr), 0);
    ASSERT_EQ(listen(server, 0), 0);
    std::vector<int> queued;
    for (int i = 0; i < 64; ++i) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&busyAddr), sizeof busyAddr);
        queued.push_back(fd);
        if (rc != 0) {
            break;
        }
    }
    options.argv = {INSTALLER_PROGRAM, "/debug", "/socket:" + busy.string()};
    second = platform::Spawn(options);
    ASSERT_TRUE(second);
    std::optional<int> code;
    for (int i = 0; i < 5000 && !code; ++i) {
        if (!(code = platform::PollExit(second->pid))) {
            usleep(2000);
        }
    }
    if (!code) {
        kill(second->pid, SIGKILL);
        platform::WaitForExit(second->pid);
    }
    EXPECT_EQ(code, 1) << "the start waited on the busy socket";
    EXPECT_TRUE(std::filesystem::exists(busy));
    for (const int fd : queued) {
        close(fd);
    }
    close(server);

    // A regular file at the path is kept and fails the start.
    const auto file = m_temp.Path() / "regular";
    WriteFile(file, "data");
    options.argv = {INSTALLER_PROGRAM, "/debug", "/socket:" + file.string()};
    second = platform::Spawn(options);
    ASSERT_TRUE(second);
    EXPECT_EQ(platform::WaitForExit(second->pid), 1);
    EXPECT_EQ(ReadFile(file), "data");
}

TEST_F(InstallerService, OutOfDescriptorsTheErrorFileGetsOneLineAndClientsAnAnswer) {
    // As many descriptors as the idle service holds: the next accept fails. Counted once a client was
    // served and let go, so neither its socket nor a loop not yet entered changes the count.
    Start();
    ASSERT_EQ(Send(""), "ERROR empty\n");
    size_t held = 0;
    ASSERT_TRUE(WaitForSocketsHeld(1, &held));
    kill(m_pid, SIGTERM);
    ASSERT_EQ(platform::WaitForExit(m_pid), 0);
    m_pid = -1;

    platform::SpawnOptions options;
    options.program = "prlimit";
    options.argv = {"prlimit", "--nofile=" + std::to_string(held), INSTALLER_PROGRAM, "/debug",
                    "/socket:" + m_socket.string()};
    // The same hives as the first start: an open hive is a descriptor too.
    options.environment = Environment();
    options.workingFolder = m_temp.Path();
    options.nullStdio = true;
    auto child = platform::Spawn(options);
    if (!child) {
        GTEST_SKIP() << "prlimit is not installed";
    }
    m_pid = child->pid;
    ASSERT_TRUE(WaitForSocket(true));
    EXPECT_EQ(Send("touch " + Path("ran")).rfind("ERROR ", 0), 0u);
    EXPECT_EQ(Send("touch " + Path("ran")).rfind("ERROR ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(Path("ran")));
    EXPECT_EQ(ReadFile(m_temp.Path() / "PipeError.txt"), "Service is running but pipe is not valid\n");
    kill(m_pid, SIGTERM);
    EXPECT_EQ(platform::WaitForExit(m_pid), 0);
    m_pid = -1;
}

// Runs `message` as a client that has dropped to another user with the given groups.
std::string SendAs(const std::filesystem::path& socketPath, uid_t uid, gid_t gid, std::vector<gid_t> groups,
                   const std::string& message) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return "(pipe)";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
            _exit(2);
        }
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un addr = SocketAddress(socketPath);
        std::string reply = "(no connection)";
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            (void)send(fd, message.data(), message.size(), MSG_NOSIGNAL);
            shutdown(fd, SHUT_WR);
            reply.clear();
            char buffer[256];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0) {
                reply.append(buffer, static_cast<size_t>(n));
            }
        }
        (void)write(pipeFds[1], reply.data(), reply.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string reply;
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        reply.append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    platform::WaitForExit(pid);
    return reply;
}

TEST_F(InstallerService, OnlyRootTheServiceUserAndTheSetupGroupAreServed) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to connect as another user";
    }
    const group* users = getgrnam("users");
    if (users == nullptr) {
        GTEST_SKIP() << "no \"users\" group to act as the setup group";
    }
    const gid_t setup = users->gr_gid;
    WriteFile(m_temp.Path() / "root/etc/carrowline/machine.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Carrowline Corporation\\Installer]\r\n"
              "\"SetupGroup\"=\"users\"\r\n");
    std::filesystem::permissions(m_temp.Path(),
                                 std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
                                 std::filesystem::perm_options::add);
    Start();
    // The socket's mode keeps an outsider out; with the mode loosened the peer check still refuses.
    EXPECT_EQ(SendAs(m_socket, 65534, 65534, {}, "touch " + Path("refused")), "(no connection)");
    ASSERT_EQ(chmod(m_socket.c_str(), 0666), 0);
    EXPECT_EQ(SendAs(m_socket, 65534, 65534, {}, "touch " + Path("refused")), "ERROR not permitted\n");
    EXPECT_FALSE(std::filesystem::exists(Path("refused")));
    EXPECT_EQ(SendAs(m_socket, 65534, 65534, {setup}, "exit 5"), "5\n");
    EXPECT_EQ(SendAs(m_socket, 65534, setup, {}, "exit 6"), "6\n");
    // A member of more groups than a first look has room for.
    std::vector<gid_t> many;
    for (gid_t g = 200000; g < 200300; ++g) {
        many.push_back(g);
    }
    many.push_back(setup);
    EXPECT_EQ(SendAs(m_socket, 65534, 65534, many, "exit 8"), "8\n");
    many.pop_back();
    EXPECT_EQ(SendAs(m_socket, 65534, 65534, many, "exit 8"), "ERROR not permitted\n");
}

TEST_F(InstallerService, ServiceTellsSystemdWhenReadyPausedAndStopping) {
    const auto notifyPath = m_temp.Path() / "notify";
    const int notify = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_un addr = SocketAddress(notifyPath);
    ASSERT_EQ(bind(notify, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    Start("/service", notifyPath.string());

    const auto receive = [&] {
        pollfd p{notify, POLLIN, 0};
        char buffer[512] = {};
        if (poll(&p, 1, 10000) != 1) {
            return std::string("(nothing)");
        }
        const ssize_t n = recv(notify, buffer, sizeof buffer - 1, 0);
        return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    };
    EXPECT_EQ(receive(), "READY=1\nSTATUS=Waiting for setup commands");
    // Ready means a client gets through at once, without waiting for the socket.
    EXPECT_EQ(Send("exit 4"), "4\n");

    kill(m_pid, SIGUSR1);
    EXPECT_EQ(receive(), "STATUS=Paused");
    EXPECT_FALSE(std::filesystem::exists(m_socket));
    // A continue that cannot make the socket says so and stays paused; the next one serves again.
    ASSERT_EQ(mkdir(m_socket.c_str(), 0700), 0);
    kill(m_pid, SIGUSR2);
    const std::string failed = receive();
    EXPECT_EQ(failed.rfind("STATUS=Paused, cannot make the socket: ", 0), 0u) << failed;
    ASSERT_EQ(rmdir(m_socket.c_str()), 0);
    kill(m_pid, SIGUSR2);
    EXPECT_EQ(receive(), "STATUS=Waiting for setup commands");
    EXPECT_EQ(Send("exit 5"), "5\n");

    kill(m_pid, SIGTERM);
    EXPECT_EQ(receive(), "STOPPING=1");
    EXPECT_EQ(platform::WaitForExit(m_pid), 0);
    m_pid = -1;
    close(notify);
}

}  // namespace
