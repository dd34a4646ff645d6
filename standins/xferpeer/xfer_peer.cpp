// The stand-in transfer host: what the client's dial-back transfer expects of the other side, checked
// strictly, so that a client fault shows up as a failed peer rather than a file that merely looks right.
#include "standins/xferpeer/xfer_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "hostlink/tests/tls_test_server.h"
#include "platform/sigpipe_block.h"

namespace standins::xferpeer {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUsage =
    "usage: standin-xferpeer (--send FILE | --recv FOLDER [--files N]) [--port N] [--drop-after N] "
    "[--size-text TEXT] [--record FILE]";
// Deliberately not the client's chunk size, so the client must join records into its chunks.
constexpr size_t kSendBlock = 1000;
constexpr int kIoTimeoutSeconds = 60;
constexpr char kEndHandshake = '1';

template <typename T>
bool ParseNumber(std::string_view text, T& out) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

SSL_CTX* ServerContext() {
    static hostlink::testing::TestCertificate certificate;
    return certificate.ServerContext();
}

class Session {
  public:
    Session(platform::UniqueFd fd, PeerResult& result)
        : m_tls(ServerContext(), std::move(fd)), m_result(result) {}

    bool Accept() { return m_tls.Accept(); }

    // One record's worth: the client sends each file name in one write.
    bool ReadRecord(std::string& out) {
        std::array<char, 16384> buffer;
        const int got = m_tls.Read(buffer.data(), static_cast<int>(buffer.size()));
        if (got <= 0) {
            return false;
        }
        out.assign(buffer.data(), static_cast<size_t>(got));
        m_result.received += out;
        return true;
    }

    // Decimal digits up to a blank, as the client announces counts and sizes.
    bool ReadNumber(uint64_t& out, std::string& why) {
        std::string text;
        for (;;) {
            char ch = 0;
            if (m_tls.Read(&ch, 1) != 1) {
                why = "the connection ended inside a number";
                return false;
            }
            m_result.received += ch;
            if (ch == ' ') {
                break;
            }
            if (ch < '0' || ch > '9' || text.size() >= 20) {
                why = "not a decimal number followed by a blank: '" + text + ch + "'";
                return false;
            }
            text += ch;
        }
        if (!ParseNumber(text, out)) {
            why = "not a number: '" + text + "'";
            return false;
        }
        return true;
    }

    int Read(char* buffer, int count) {
        const int got = m_tls.Read(buffer, count);
        if (got > 0) {
            m_result.received.append(buffer, static_cast<size_t>(got));
        }
        return got;
    }

    bool Write(std::string_view bytes) { return m_tls.WriteAll(bytes.data(), bytes.size()); }

    // Reads until the client closes; anything it still sends is a fault.
    bool WaitForClose() {
        const size_t before = m_result.received.size();
        std::array<char, 4096> buffer;
        while (Read(buffer.data(), static_cast<int>(buffer.size())) > 0) {
        }
        return m_result.received.size() == before;
    }

  private:
    hostlink::testing::ServerTlsSession m_tls;
    PeerResult& m_result;
};

bool Fail(PeerResult& result, std::string why) {
    result.ok = false;
    result.error = std::move(why);
    return false;
}

bool ValidName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool SendOneFile(Session& session, const PeerOptions& options, PeerResult& result) {
    std::string name;
    if (!session.ReadRecord(name)) {
        return Fail(result, "the client sent no file name");
    }
    result.names.push_back(name);
    std::ifstream in(*options.sendFile, std::ios::binary);
    if (!in) {
        return Fail(result, "cannot read " + options.sendFile->string());
    }
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!session.Write(options.sizeText ? *options.sizeText : std::to_string(data.size()) + " ")) {
        return Fail(result, "the client went away before the size");
    }
    const size_t limit = options.dropAfter
                             ? static_cast<size_t>(std::min<uint64_t>(*options.dropAfter, data.size()))
                             : data.size();
    for (size_t at = 0; at < limit; at += kSendBlock) {
        if (!session.Write(std::string_view(data).substr(at, std::min(kSendBlock, limit - at)))) {
            return Fail(result, "the client went away after " + std::to_string(at) + " bytes");
        }
    }
    if (options.dropAfter) {
        result.ok = true;  // dropped as asked: no close-notify, no further bytes
        return true;
    }
    if (!session.WaitForClose()) {
        return Fail(result, "the client sent bytes after its file name");
    }
    result.ok = true;
    return true;
}

bool ReceiveFiles(Session& session, const PeerOptions& options, PeerResult& result) {
    std::string why;
    uint64_t count = 1;
    if (options.files > 0) {
        if (!session.ReadNumber(count, why)) {
            return Fail(result, "file count: " + why);
        }
        if (count != static_cast<uint64_t>(options.files)) {
            return Fail(result, "the client announced " + std::to_string(count) + " files, expected " +
                                    std::to_string(options.files));
        }
    }
    uint64_t dataBytes = 0;
    for (uint64_t file = 0; file < count; ++file) {
        std::string name;
        if (!session.ReadRecord(name)) {
            return Fail(result, "the client sent no file name");
        }
        result.names.push_back(name);
        if (!ValidName(name)) {
            return Fail(result, "refused file name '" + name + "'");
        }
        uint64_t size = 0;
        if (!session.ReadNumber(size, why)) {
            return Fail(result, "size of " + name + ": " + why);
        }
        std::string data;
        std::array<char, 4096> buffer;
        while (data.size() < size) {
            if (options.dropAfter && dataBytes >= *options.dropAfter) {
                result.ok = true;  // dropped as asked
                return true;
            }
            uint64_t want = std::min<uint64_t>(buffer.size(), size - data.size());
            if (options.dropAfter) {
                want = std::min(want, *options.dropAfter - dataBytes);
            }
            const int got = session.Read(buffer.data(), static_cast<int>(want));
            if (got <= 0) {
                return Fail(result, name + ": the connection ended after " + std::to_string(data.size()) +
                                        " of " + std::to_string(size) + " bytes");
            }
            data.append(buffer.data(), static_cast<size_t>(got));
            dataBytes += static_cast<uint64_t>(got);
        }
        const fs::path target = *options.recvFolder / name;
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        if (!out.write(data.data(), static_cast<std::streamsize>(data.size())) || !out.flush()) {
            return Fail(result, "cannot store " + target.string());
        }
        result.stored.push_back(target);
    }
    if (!session.Write(std::string(1, kEndHandshake))) {
        return Fail(result, "the client went away before the end handshake");
    }
    if (!session.WaitForClose()) {
        return Fail(result, "the client sent more than it announced");
    }
    result.ok = true;
    return true;
}

}  // namespace

std::string_view Usage() {
    return kUsage;
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& args, PeerOptions& options,
                              std::string& error) {
    options = PeerOptions{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            return ParseOutcome::Help;
        }
        if (i + 1 >= args.size()) {
            error = arg.rfind("--", 0) == 0 ? arg + " needs a value" : "unexpected argument '" + arg + "'";
            return ParseOutcome::Error;
        }
        const std::string& value = args[++i];
        if (arg == "--send") {
            options.sendFile = value;
        } else if (arg == "--recv") {
            options.recvFolder = value;
        } else if (arg == "--files") {
            if (!ParseNumber(value, options.files) || options.files < 1) {
                error = "--files needs a count of at least 1";
                return ParseOutcome::Error;
            }
        } else if (arg == "--port") {
            if (!ParseNumber(value, options.port)) {
                error = "--port needs a port number (0-65535)";
                return ParseOutcome::Error;
            }
        } else if (arg == "--drop-after") {
            uint64_t count = 0;
            if (!ParseNumber(value, count)) {
                error = "--drop-after needs a byte count";
                return ParseOutcome::Error;
            }
            options.dropAfter = count;
        } else if (arg == "--size-text") {
            options.sizeText = value;
        } else if (arg == "--record") {
            options.record = value;
        } else {
            error = "unknown option '" + arg + "'";
            return ParseOutcome::Error;
        }
    }
    if (options.sendFile.has_value() == options.recvFolder.has_value()) {
        error = "give one of --send FILE and --recv FOLDER";
        return ParseOutcome::Error;
    }
    if (options.files > 0 && !options.recvFolder) {
        error = "--files goes with --recv";
        return ParseOutcome::Error;
    }
    if (options.sizeText && !options.sendFile) {
        error = "--size-text goes with --send";
        return ParseOutcome::Error;
    }
    return ParseOutcome::Run;
}

TransferPeer::TransferPeer(PeerOptions options) : m_options(std::move(options)) {
    ServerContext();  // fail here, not on the first connection
    m_listener = platform::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_options.port);
    socklen_t length = sizeof address;
    if (!m_listener || ::setsockopt(m_listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener.Get(), 1) != 0 ||
        ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(m_options.port) + ": " +
                                 std::generic_category().message(errno));
    }
    m_port = ntohs(address.sin_port);
}

PeerResult TransferPeer::Run(std::chrono::milliseconds acceptTimeout) {
    PeerResult result;
    platform::SigpipeBlock noSigpipe;
    pollfd entry{m_listener.Get(), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, static_cast<int>(acceptTimeout.count()));
    } while (ready < 0 && errno == EINTR);
    platform::UniqueFd client(ready == 1 ? ::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC) : -1);
    if (!client) {
        Fail(result, "no client connected");
    } else {
        // A safety net only: a client that hangs ends the peer instead of holding it for ever.
        const timeval limit{kIoTimeoutSeconds, 0};
        ::setsockopt(client.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(client.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        const int on = 1;
        ::setsockopt(client.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Session session(std::move(client), result);
        if (!session.Accept()) {
            Fail(result, "TLS handshake failed");
        } else if (m_options.sendFile) {
            SendOneFile(session, m_options, result);
        } else {
            ReceiveFiles(session, m_options, result);
        }
    }
    if (!m_options.record.empty()) {
        std::ofstream(m_options.record, std::ios::binary | std::ios::trunc) << result.received;
    }
    return result;
}

}  // namespace standins::xferpeer
