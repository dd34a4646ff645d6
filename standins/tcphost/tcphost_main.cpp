// The stand-in TCP host: listens on 127.0.0.1, answers STARTTLS, runs TLS with a certificate made at start,
// checks the remote connection's login lines strictly, then plays a scripted session or greets and echoes.
// Options let tests make it misbehave (no TLS, bytes slipped in after READYFORTLS, a silent host, a refusal).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hostlink/tests/tls_test_server.h"
#include "platform/unique_fd.h"
#include "standins/tcphost/tcphost_script.h"

namespace standins::tcphost {
namespace {

using hostlink::testing::ServerTlsSession;
using hostlink::testing::TestCertificate;
using platform::UniqueFd;

constexpr const char* kUsage =
    "usage: standin-tcphost [--port N] [--record FILE] [--reject TEXT] [--no-tls] [--inject BYTES] [--split] "
    "[--silent] [--script FILE] [--input FILE]\n";
constexpr std::size_t kMaxLine = 4096;
constexpr int kReadTimeoutSeconds = 30;
constexpr char kSync = '~';

struct Options {
    uint16_t port = 0;
    std::string recordFile;
    std::optional<std::string> reject;
    bool noTls = false;
    std::string inject;
    bool split = false;
    bool silent = false;
    std::optional<std::vector<ScriptStep>> script;
    std::string inputFile;  // every session byte the echo reads is appended here
};

std::mutex g_recordMutex;

// One exchange with the client: the login check ends it with a report, the session may end it itself.
class Connection {
  public:
    Connection(const Options& options, SSL_CTX* ctx, UniqueFd fd, int number)
        : m_options(options), m_ctx(ctx), m_fd(std::move(fd)), m_number(number) {}

    void Run();

  private:
    struct Refused {
        std::string text;
    };

    std::optional<std::string> PlainLine();
    bool AnswerStartTls();
    std::string ReadLine(const char* what);
    int32_t ReadInteger(const char* what);
    void SendSync();
    void CheckLogin();
    void PipeExchange(std::string_view systemId);
    void Record();
    void Report(std::string_view text);
    void PlayScript();
    void Echo();
    void RecordInput(std::string_view bytes);
    bool ReadMore();

    const Options& m_options;
    SSL_CTX* m_ctx;
    UniqueFd m_fd;
    int m_number;
    std::unique_ptr<ServerTlsSession> m_tls;
    std::string m_input;  // read and not yet taken
    std::vector<std::string> m_lines;
    bool m_rejectPending = false;
};

bool SendPlain(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<std::string> Connection::PlainLine() {
    std::string line;
    char c = 0;
    while (line.size() < kMaxLine) {
        const ssize_t n = ::recv(m_fd.Get(), &c, 1, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return std::nullopt;
        }
        line.push_back(c);
        if (c == '\n') {
            return line;
        }
    }
    return std::nullopt;
}

bool Connection::AnswerStartTls() {
    const auto first = PlainLine();
    if (!first || *first != "STARTTLS\r\n") {
        std::fprintf(stderr, "standin-tcphost: connection %d: expected STARTTLS\n", m_number);
        SendPlain(m_fd.Get(), "\x1b[%Expected STARTTLS\x01P");
        return false;
    }
    if (m_options.silent || m_options.noTls) {
        if (m_options.noTls) {
            SendPlain(m_fd.Get(), "TLS NOT AVAILABLE\r\n");
        }
        hostlink::testing::DrainUntilClosed(m_fd.Get());
        return false;
    }
    if (m_options.split) {
        // Pieces on the wire of their own, as a slow host's answer arrives.
        for (const std::string_view piece : {"REA", "DYFOR", "TLS\r\n"}) {
            if (!SendPlain(m_fd.Get(), piece)) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } else if (!SendPlain(m_fd.Get(), "READYFORTLS\r\n" + m_options.inject)) {  // one segment
        return false;
    }
    if (!m_options.inject.empty()) {
        if (m_options.split) {
            SendPlain(m_fd.Get(), m_options.inject);
        }
        hostlink::testing::DrainUntilClosed(m_fd.Get());
        return false;
    }
    m_tls = std::make_unique<ServerTlsSession>(m_ctx, std::move(m_fd));
    if (!m_tls->Accept()) {
        std::fprintf(stderr, "standin-tcphost: connection %d: TLS handshake failed\n", m_number);
        return false;
    }
    return true;
}

bool Connection::ReadMore() {
    char buffer[4096];
    const int n = m_tls->Read(buffer, sizeof buffer);
    if (n <= 0) {
        return false;
    }
    m_input.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::string Connection::ReadLine(const char* what) {
    for (;;) {
        const std::size_t end = m_input.find('\n');
        if (end != std::string::npos) {
            std::string line = m_input.substr(0, end);
            m_input.erase(0, end + 1);
            m_lines.push_back(line);
            return line;
        }
        if (m_input.size() > kMaxLine) {
            throw Refused{std::string(what) + ": line too long"};
        }
        if (!ReadMore()) {
            throw Refused{std::string(what) + ": connection ended"};
        }
    }
}

bool ParseInteger(std::string_view text, int32_t& value) {
    const auto [at, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && at == text.data() + text.size() && !text.empty();
}

int32_t Connection::ReadInteger(const char* what) {
    const std::string line = ReadLine(what);
    int32_t value = 0;
    if (!ParseInteger(line, value)) {
        throw Refused{std::string(what) + ": not a number"};
    }
    return value;
}

void Connection::SendSync() {
    if (m_rejectPending) {
        throw Refused{*m_options.reject};
    }
    if (!m_tls->WriteAll(std::string(1, kSync))) {
        throw Refused{"sync not sent"};
    }
}

bool IsSystemId(std::string_view id) {
    if (id.size() != 32) {
        return false;
    }
    for (const char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '.')) {
            return false;
        }
    }
    return true;
}

void Connection::PipeExchange(std::string_view systemId) {
    SendSync();
    ReadInteger("mode");
    const std::string user = ReadLine("user and system ID");
    const std::size_t blank = user.find(' ');
    int32_t number = 0;
    if (blank == std::string::npos || !ParseInteger(std::string_view(user).substr(0, blank), number) ||
        std::string_view(user).substr(blank + 1) != systemId) {
        throw Refused{"user and system ID: expected \"%d %s\" with the login's system ID"};
    }
    ReadLine("application password");
    ReadLine("terminal id");
    ReadLine("run text");
}

void Connection::CheckLogin() {
    m_rejectPending = m_options.reject.has_value();
    const std::string first = ReadLine("login line");
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= first.size();) {
        const std::size_t blank = first.find(' ', at);
        parts.push_back(first.substr(at, blank == std::string::npos ? std::string::npos : blank - at));
        at = blank == std::string::npos ? first.size() + 1 : blank + 1;
    }
    int32_t flags = 0;
    int32_t version = 0;
    if (parts.size() != 3 || !ParseInteger(parts[0], flags) || !ParseInteger(parts[2], version)) {
        throw Refused{"login line: expected \"%d %s %d\""};
    }
    if ((flags & 0x80) == 0) {
        throw Refused{"login line: flags without 0x80"};
    }
    if (!IsSystemId(parts[1])) {
        throw Refused{"login line: the system ID is not 32 characters of hex digits and dots"};
    }
    const std::string systemId = parts[1];
    ReadLine("OS user");
    ReadLine("OS password");
    ReadLine("data set");
    ReadLine("program directory");
    ReadInteger("terminal number");
    ReadLine("environment");
    const std::string command = ReadLine("host command line");
    if ((flags & 0x2) != 0) {
        ReadLine("billing data set");
        ReadLine("first switch string");
        ReadLine("fourth switch string");
    }
    if ((flags & 0x4) != 0) {
        ReadLine("billing data set");
        ReadLine("first switch string");
    }
    if ((flags & 0x10000) != 0) {
        PipeExchange(systemId);
    }
    if ((flags & 0x8) != 0) {
        if (command.starts_with("dload -pipelogin2") || command.starts_with("dload -pipelogin3")) {
            PipeExchange(systemId);
        } else if (command.starts_with("dload -pipelogin")) {
            SendSync();
        }
    }
    if (m_rejectPending) {
        throw Refused{*m_options.reject};
    }
}

void Connection::Record() {
    if (m_options.recordFile.empty()) {
        return;
    }
    std::lock_guard lock(g_recordMutex);
    std::ofstream out(m_options.recordFile, std::ios::binary | std::ios::app);
    out << "# connection " << m_number << "\n";
    for (const std::string& line : m_lines) {
        out << line << "\n";
    }
}

void Connection::Report(std::string_view text) {
    std::string report = "\x1b[%";
    report += text;
    report += "\x01P";
    m_tls->WriteAll(report);
    m_tls->Shutdown();
}

void Connection::PlayScript() {
    for (const ScriptStep& step : *m_options.script) {
        switch (step.kind) {
            case ScriptStep::Kind::Send:
                if (!m_tls->WriteAll(step.bytes)) {
                    return;
                }
                break;
            case ScriptStep::Kind::Expect:
                for (;;) {
                    const std::size_t at = m_input.find(step.bytes);
                    if (at != std::string::npos) {
                        m_input.erase(0, at + step.bytes.size());
                        break;
                    }
                    if (!ReadMore()) {
                        std::fprintf(stderr, "standin-tcphost: connection %d: expected bytes never came\n",
                                     m_number);
                        return;
                    }
                }
                break;
            case ScriptStep::Kind::Sleep:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
                break;
            case ScriptStep::Kind::Close:
                m_tls->Shutdown();
                return;
        }
    }
    m_tls->Shutdown();
}

void Connection::RecordInput(std::string_view bytes) {
    if (m_options.inputFile.empty() || bytes.empty()) {
        return;
    }
    std::lock_guard lock(g_recordMutex);
    std::ofstream out(m_options.inputFile, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void Connection::Echo() {
    static constexpr std::string_view kQuit = "/quit\r";
    if (!m_tls->WriteAll(
            std::string("Stand-in host: session started\r\nType /quit to end the session.\r\n"))) {
        return;
    }
    std::string tail;  // the last bytes, for a quit split over two reads
    std::string bytes = std::move(m_input);
    m_input.clear();
    for (;;) {
        RecordInput(bytes);
        if (!bytes.empty()) {
            tail += bytes;
            const std::size_t quit = tail.find(kQuit);
            if (quit != std::string::npos) {
                // Echo up to and including the quit, then end the session.
                const std::size_t keep = bytes.size() - (tail.size() - (quit + kQuit.size()));
                m_tls->WriteAll(bytes.data(), keep);
                m_tls->Shutdown();
                return;
            }
            if (!m_tls->WriteAll(bytes)) {
                return;
            }
            if (tail.size() > kQuit.size()) {
                tail.erase(0, tail.size() - kQuit.size());
            }
        }
        char buffer[16384];
        const int n = m_tls->Read(buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        bytes.assign(buffer, static_cast<std::size_t>(n));
    }
}

void Connection::Run() {
    const timeval timeout{kReadTimeoutSeconds, 0};
    ::setsockopt(m_fd.Get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const int on = 1;
    ::setsockopt(m_fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (!AnswerStartTls()) {
        return;
    }
    try {
        CheckLogin();
    } catch (const Refused& refused) {
        Record();
        std::fprintf(stderr, "standin-tcphost: connection %d: %s\n", m_number, refused.text.c_str());
        Report(refused.text);
        return;
    }
    Record();
    if (m_options.script) {
        PlayScript();
    } else {
        Echo();
    }
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Exits with 2 after the usage line and the reason.
[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "standin-tcphost: %s\n%s", why.c_str(), kUsage);
    std::exit(2);
}

Options ParseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                Fail(std::string(arg) + " needs a value");
            }
            return argv[++i];
        };
        const auto decoded = [&]() {
            std::string why;
            auto bytes = DecodeEscapes(value(), &why);
            if (!bytes) {
                Fail(std::string(arg) + ": " + why);
            }
            return *bytes;
        };
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--port") {
            const std::string text = value();
            int port = -1;
            const auto [at, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
            if (ec != std::errc{} || at != text.data() + text.size() || port < 0 || port > 65535) {
                Fail("--port needs a number from 0 to 65535");
            }
            options.port = static_cast<uint16_t>(port);
        } else if (arg == "--record") {
            options.recordFile = value();
        } else if (arg == "--reject") {
            options.reject = decoded();
        } else if (arg == "--no-tls") {
            options.noTls = true;
        } else if (arg == "--inject") {
            options.inject = decoded();
            if (options.inject.empty()) {
                Fail("--inject needs bytes");
            }
        } else if (arg == "--split") {
            options.split = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--input") {
            options.inputFile = value();
        } else if (arg == "--script") {
            const std::string path = value();
            const auto text = ReadWholeFile(path);
            if (!text) {
                Fail("cannot read the script " + path);
            }
            std::string why;
            options.script = ParseScript(*text, &why);
            if (!options.script) {
                Fail(path + ": " + why);
            }
        } else {
            Fail("unknown option " + std::string(arg));
        }
    }
    return options;
}

UniqueFd Listen(uint16_t port, uint16_t& actual) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    if (!fd || ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.Get(), 16) != 0 ||
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return {};
    }
    actual = ntohs(address.sin_port);
    return fd;
}

int Main(int argc, char** argv) {
    // Connection threads are never joined: what they use lives as long as the process.
    static const Options options = ParseArguments(argc, argv);
    // A client that goes away fails our writes; it must not end the host.
    ::signal(SIGPIPE, SIG_IGN);

    static std::unique_ptr<TestCertificate> certificate;
    try {
        certificate = std::make_unique<TestCertificate>();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "standin-tcphost: %s\n", error.what());
        return 1;
    }
    uint16_t port = 0;
    UniqueFd listener = Listen(options.port, port);
    if (!listener) {
        std::fprintf(stderr, "standin-tcphost: cannot listen on 127.0.0.1:%u: %s\n", options.port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("%u\n", port);
    std::fflush(stdout);

    // Started with a pipe as standard input (as the tests do), the host ends when that pipe closes, so it
    // never outlives the program that started it.
    struct stat input {};
    const bool watchInput = ::fstat(STDIN_FILENO, &input) == 0 && S_ISFIFO(input.st_mode);
    std::vector<pollfd> fds{{listener.Get(), POLLIN, 0}};
    if (watchInput) {
        fds.push_back({STDIN_FILENO, POLLIN, 0});
    }
    for (int number = 1;;) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "standin-tcphost: poll: %s\n", std::strerror(errno));
            std::fflush(stderr);
            std::_Exit(1);
        }
        if (watchInput && fds[1].revents != 0) {
            char byte = 0;
            if (::read(STDIN_FILENO, &byte, 1) <= 0) {
                std::fflush(stderr);
                std::_Exit(0);  // connection threads may still be waiting in their reads
            }
        }
        if ((fds[0].revents & POLLIN) != 0) {
            UniqueFd client(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!client) {
                continue;
            }
            std::thread([ctx = certificate->ServerContext(), fd = std::move(client), n = number]() mutable {
                Connection(options, ctx, std::move(fd), n).Run();
            }).detach();
            ++number;
        }
    }
}

}  // namespace
}  // namespace standins::tcphost

int main(int argc, char** argv) {
    return standins::tcphost::Main(argc, argv);
}
