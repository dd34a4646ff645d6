// The TLS client against a loopback server with a certificate made at run time: handshake outcomes, their
// messages, time-out and Cancel, close detection, and one connection shared by a reader and two writers.
#include "hostlink/ssl_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/tests/tls_test_server.h"
#include "platform/user_prompt.h"

namespace hostlink {
namespace {

using namespace std::chrono_literals;
using testing::ConnectLoopback;
using testing::LoopbackServer;
using testing::ServerTlsSession;
using testing::TestCertificate;

SSL_CTX* ServerContext() {
    static TestCertificate certificate;
    return certificate.ServerContext();
}

bool IsNonBlocking(int fd) {
    return (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
}

// Small socket buffers make the writes wait often, mid-block, which is where blocks could get mixed.
// No delay either, or small windows stall on delayed acknowledgements.
void ShrinkBuffers(int fd) {
    const int size = 32768;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

class SslSocketTest : public ::testing::Test {
  protected:
    void Attach(CSslSocket& tls) {
        tls.SetLogSink([this](std::string_view line) {
            std::lock_guard lock(m_logMutex);
            m_log.emplace_back(line);
        });
    }
    bool Logged(std::string_view part) {
        std::lock_guard lock(m_logMutex);
        for (const auto& line : m_log) {
            if (line.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    }
    static bool ReadExactly(CSslSocket& tls, std::string& out, std::size_t count) {
        std::array<char, 1024> buffer;
        while (out.size() < count) {
            const int32_t got = tls.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
            if (got <= 0) {
                return false;
            }
            out.append(buffer.data(), static_cast<std::size_t>(got));
        }
        return true;
    }

    platform::RecordingPrompt m_prompt;
    platform::ScopedDefaultPrompt m_scope{m_prompt};
    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

TEST_F(SslSocketTest, HandshakeSucceedsAndWaitStatesOnlyReachTheLog) {
    LoopbackServer server([](platform::UniqueFd fd) {
        // Answer late, so that the client's handshake surely has to wait for the host.
        std::this_thread::sleep_for(50ms);
        ServerTlsSession session(ServerContext(), std::move(fd));
        if (!session.Accept()) {
            return;
        }
        std::array<char, 4> ping;
        if (session.Read(ping.data(), 4) == 4 && std::string(ping.data(), 4) == "ping") {
            session.WriteAll("pong");
        }
        session.Read(ping.data(), 1);  // until the client goes
    });
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    Attach(tls);
    EXPECT_FALSE(tls.IsConnected());

    ASSERT_TRUE(tls.Connect(fd.Get()));
    EXPECT_TRUE(tls.IsConnected());
    EXPECT_EQ(tls.Socket(), fd.Get());
    EXPECT_TRUE(IsNonBlocking(fd.Get()));
    EXPECT_EQ(tls.Write("ping", 4), 4);
    std::string reply;
    EXPECT_TRUE(ReadExactly(tls, reply, 4));
    EXPECT_EQ(reply, "pong");
    EXPECT_TRUE(m_prompt.Texts().empty());
    EXPECT_TRUE(Logged("SSL_ERROR_WANT_READ"));
}

TEST_F(SslSocketTest, PeerWithoutTlsShowsClassThenLibraryErrors) {
    LoopbackServer server([](platform::UniqueFd fd) {
        std::array<char, 4096> hello;
        if (::recv(fd.Get(), hello.data(), hello.size(), 0) > 0) {
            const std::string garbage = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
            ::send(fd.Get(), garbage.data(), garbage.size(), MSG_NOSIGNAL);
        }
        testing::DrainUntilClosed(fd.Get());
    });
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    EXPECT_FALSE(tls.Connect(fd.Get()));
    EXPECT_FALSE(tls.IsConnected());

    const auto shown = m_prompt.Shown();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "Error Opening SSL Connection: SSL_ERROR_SSL");
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].text.rfind("error:", 0), 0u) << shown[i].text;
        EXPECT_LT(shown[i].text.size(), 256u);
    }
    for (const auto& request : shown) {
        EXPECT_EQ(request.icon, platform::PromptIcon::None);
    }
    EXPECT_FALSE(IsNonBlocking(fd.Get())) << "a failed handshake gives the socket back as it came";
    EXPECT_LT(tls.Read(std::array<char, 8>{}.data(), 8), 0);
}

TEST_F(SslSocketTest, SilentPeerTimesOutWithoutMessage) {
    LoopbackServer server([](platform::UniqueFd fd) { testing::DrainUntilClosed(fd.Get()); });
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    Attach(tls);
    tls.SetHandshakeTimeout(300ms);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(tls.Connect(fd.Get()));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 290ms);
    EXPECT_LT(waited, 30s) << "the limit set, not the default, must apply";
    EXPECT_TRUE(m_prompt.Texts().empty());
    EXPECT_TRUE(Logged("timed out"));
}

TEST_F(SslSocketTest, CancelEndsAWaitingHandshakeQuietly) {
    LoopbackServer server([](platform::UniqueFd fd) { testing::DrainUntilClosed(fd.Get()); });
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    auto connect = std::async(std::launch::async, [&] { return tls.Connect(fd.Get()); });
    std::this_thread::sleep_for(100ms);
    tls.Cancel();
    ASSERT_EQ(connect.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(connect.get());
    EXPECT_TRUE(m_prompt.Texts().empty());
}

// A connection whose server has finished the handshake and then waits, without reading, until released.
class IdleTlsServer {
  public:
    IdleTlsServer()
        : m_server([this](platform::UniqueFd fd) {
              ServerTlsSession session(ServerContext(), std::move(fd));
              if (session.Accept()) {
                  m_release.get_future().wait();
              }
          }) {}
    ~IdleTlsServer() { Release(); }
    uint16_t Port() const { return m_server.Port(); }
    void Release() {
        if (!m_released.exchange(true)) {
            m_release.set_value();
        }
    }

  private:
    std::promise<void> m_release;
    std::atomic<bool> m_released{false};
    LoopbackServer m_server;
};

TEST_F(SslSocketTest, CancelWakesABlockedReadPromptly) {
    IdleTlsServer server;
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    ASSERT_TRUE(tls.Connect(fd.Get()));

    auto read = std::async(std::launch::async, [&] {
        std::array<char, 1024> buffer;
        const int32_t got = tls.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        return std::pair(got, errno);
    });
    EXPECT_EQ(read.wait_for(200ms), std::future_status::timeout) << "nothing was sent, the read must wait";
    tls.Cancel();
    ASSERT_EQ(read.wait_for(1s), std::future_status::ready);
    const auto [got, error] = read.get();
    EXPECT_LT(got, 0);
    EXPECT_EQ(error, ECANCELED);
    EXPECT_GE(fd.Get(), 0) << "the socket stays with its owner";
    EXPECT_LT(tls.Write("x", 1), 0);
    EXPECT_TRUE(m_prompt.Texts().empty());
}

TEST_F(SslSocketTest, CancelWakesABlockedWrite) {
    IdleTlsServer server;
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    ASSERT_TRUE(tls.Connect(fd.Get()));

    // Far more than the socket buffers hold while nobody reads.
    const std::string block(64 << 20, 'w');
    auto write = std::async(std::launch::async,
                            [&] { return tls.Write(block.data(), static_cast<int32_t>(block.size())); });
    EXPECT_EQ(write.wait_for(300ms), std::future_status::timeout);
    tls.Cancel();
    ASSERT_EQ(write.wait_for(1s), std::future_status::ready);
    EXPECT_LT(write.get(), 0);
    server.Release();
}

// A host that stops reading: the try-write takes whole blocks until the socket is full, then begins one
// that the library must finish with the same bytes; nothing else is taken until it is finished, and the
// bytes on the wire are every block in order.
TEST_F(SslSocketTest, TryWriteNeverWaitsAndABegunBlockIsFinishedFirst) {
    std::promise<void> go;
    std::shared_future<void> goSeen = go.get_future().share();
    std::promise<std::string> received;
    std::atomic<std::size_t> expected{0};
    LoopbackServer server([&](platform::UniqueFd fd) {
        ShrinkBuffers(fd.Get());
        ServerTlsSession session(ServerContext(), std::move(fd));
        std::string all;
        if (session.Accept()) {
            goSeen.wait();
            std::array<char, 4096> buffer;
            while (all.size() < expected.load()) {
                const int n = session.Read(buffer.data(), static_cast<int>(buffer.size()));
                if (n <= 0) {
                    break;
                }
                all.append(buffer.data(), static_cast<std::size_t>(n));
            }
        }
        received.set_value(all);
    });
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    ShrinkBuffers(fd.Get());
    CSslSocket tls;
    ASSERT_TRUE(tls.Connect(fd.Get()));

    std::string sent;
    int32_t result = 0;
    for (int i = 0; i < 100000; ++i) {
        std::string block(500, static_cast<char>('a' + i % 26));
        block.replace(0, std::to_string(i).size(), std::to_string(i));
        result = tls.TryWrite(block.data(), static_cast<int32_t>(block.size()));
        if (result != static_cast<int32_t>(block.size())) {
            ASSERT_EQ(result, CSslSocket::kStarted) << "a full socket begins the block";
            sent += block;  // the library holds it now
            break;
        }
        sent += block;
    }
    ASSERT_EQ(result, CSslSocket::kStarted);
    EXPECT_EQ(tls.TryWrite("x", 1), 0) << "nothing may overtake the begun block";

    const std::string tail = "tail";
    expected = sent.size() + tail.size();
    auto writer = std::async(std::launch::async,
                             [&] { return tls.Write(tail.data(), static_cast<int32_t>(tail.size())); });
    go.set_value();
    ASSERT_EQ(writer.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(writer.get(), static_cast<int32_t>(tail.size()));
    EXPECT_EQ(tls.FinishWrite(), 0) << "nothing left";
    auto wire = received.get_future();
    ASSERT_EQ(wire.wait_for(30s), std::future_status::ready);
    const std::string got = wire.get();
    EXPECT_EQ(got.size(), sent.size() + tail.size());
    EXPECT_TRUE(got == sent + tail) << "the wire differs from the blocks in order";
    ::shutdown(fd.Get(), SHUT_RDWR);
}

TEST_F(SslSocketTest, ReadReturnsZeroWhenTheHostCloses) {
    for (const bool closeNotify : {true, false}) {
        LoopbackServer server([closeNotify](platform::UniqueFd fd) {
            ServerTlsSession session(ServerContext(), std::move(fd));
            if (session.Accept()) {
                session.WriteAll("bye");
                if (closeNotify) {
                    session.Shutdown();
                }
            }
        });
        platform::UniqueFd fd = ConnectLoopback(server.Port());
        ASSERT_TRUE(fd);
        CSslSocket tls;
        ASSERT_TRUE(tls.Connect(fd.Get()));
        std::string got;
        EXPECT_TRUE(ReadExactly(tls, got, 3));
        EXPECT_EQ(got, "bye");
        std::array<char, 16> buffer;
        EXPECT_EQ(tls.Read(buffer.data(), 16), 0) << (closeNotify ? "close-notify" : "plain TCP close");
    }
    EXPECT_TRUE(m_prompt.Texts().empty());
}

TEST_F(SslSocketTest, WritingToAVanishedHostFailsInsteadOfKillingTheProgram) {
    LoopbackServer server([](platform::UniqueFd fd) {
        ServerTlsSession session(ServerContext(), std::move(fd));
        session.Accept();
    });
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    CSslSocket tls;
    ASSERT_TRUE(tls.Connect(fd.Get()));
    pollfd hangUp{fd.Get(), POLLRDHUP, 0};
    ASSERT_EQ(::poll(&hangUp, 1, 5000), 1);  // the host has gone

    // The first block draws the host's reset; writing on after it raises SIGPIPE unless it is held off.
    const std::string block(64 << 10, 'v');
    int32_t result = 1;
    int error = 0;
    for (int i = 0; i < 100 && result > 0; ++i) {
        result = tls.Write(block.data(), static_cast<int32_t>(block.size()));
        error = errno;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(error == EPIPE || error == ECONNRESET) << error;
    EXPECT_LT(result, 0);
}

TEST_F(SslSocketTest, RefusesUseBeforeAHandshake) {
    CSslSocket tls;
    std::array<char, 8> buffer;
    EXPECT_LT(tls.Read(buffer.data(), 8), 0);
    EXPECT_LT(tls.Write("x", 1), 0);
    EXPECT_FALSE(tls.IsConnected());
}

// Each block carries its writer, its number and its length, and a payload made from them, so the reader
// can tell a block that was cut into, reordered or mixed with another.
std::string MakeBlock(uint8_t writer, uint32_t sequence) {
    const uint32_t length = 1 + (sequence * 7919u + writer * 104729u) % 40000u;
    std::string block(9 + length, '\0');
    block[0] = static_cast<char>(writer);
    std::memcpy(block.data() + 1, &sequence, 4);
    std::memcpy(block.data() + 5, &length, 4);
    for (uint32_t i = 0; i < length; ++i) {
        block[9 + i] = static_cast<char>((i * 131u + sequence * 17u + writer * 59u) & 0xff);
    }
    return block;
}

// Sends back every byte it receives until the client goes.
class EchoTlsServer {
  public:
    EchoTlsServer()
        : m_server([](platform::UniqueFd fd) {
              ShrinkBuffers(fd.Get());
              ServerTlsSession session(ServerContext(), std::move(fd));
              if (!session.Accept()) {
                  return;
              }
              std::vector<char> buffer(16384);
              for (;;) {
                  const int got = session.Read(buffer.data(), static_cast<int>(buffer.size()));
                  if (got <= 0 || !session.WriteAll(buffer.data(), static_cast<std::size_t>(got))) {
                      return;
                  }
              }
          }) {}
    uint16_t Port() const { return m_server.Port(); }

  private:
    LoopbackServer m_server;
};

TEST_F(SslSocketTest, ReaderAndWritersShareOneConnection) {
    EchoTlsServer server;
    platform::UniqueFd fd = ConnectLoopback(server.Port());
    ASSERT_TRUE(fd);
    ShrinkBuffers(fd.Get());
    CSslSocket tls;
    ASSERT_TRUE(tls.Connect(fd.Get()));

    constexpr uint8_t kWriters = 2;
    constexpr uint32_t kBlocks = 150;
    std::size_t total = 0;
    for (uint8_t w = 0; w < kWriters; ++w) {
        for (uint32_t s = 0; s < kBlocks; ++s) {
            total += MakeBlock(w, s).size();
        }
    }

    std::string received;
    received.reserve(total);
    std::thread reader([&] {
        std::array<char, 1024> buffer;  // the size the terminal's reader uses
        while (received.size() < total) {
            const int32_t got = tls.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
            if (got <= 0) {
                return;
            }
            received.append(buffer.data(), static_cast<std::size_t>(got));
        }
    });
    std::vector<std::thread> writers;
    std::atomic<int> failedWrites{0};
    for (uint8_t w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (uint32_t s = 0; s < kBlocks; ++s) {
                const std::string block = MakeBlock(w, s);
                if (tls.Write(block.data(), static_cast<int32_t>(block.size())) !=
                    static_cast<int32_t>(block.size())) {
                    ++failedWrites;
                    return;
                }
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    reader.join();

    EXPECT_EQ(failedWrites.load(), 0);
    ASSERT_EQ(received.size(), total);
    std::array<uint32_t, kWriters> next{};
    std::size_t at = 0;
    while (at < received.size()) {
        ASSERT_LE(at + 9, received.size());
        const auto writer = static_cast<uint8_t>(received[at]);
        ASSERT_LT(writer, kWriters) << "block header damaged at " << at;
        uint32_t sequence = 0;
        std::memcpy(&sequence, received.data() + at + 1, 4);
        ASSERT_EQ(sequence, next[writer]) << "writer " << int(writer) << " out of order at " << at;
        const std::string expected = MakeBlock(writer, sequence);
        ASSERT_EQ(received.compare(at, expected.size(), expected), 0)
            << "block " << sequence << " of writer " << int(writer) << " damaged or interleaved";
        at += expected.size();
        ++next[writer];
    }
    EXPECT_EQ(next, (std::array<uint32_t, kWriters>{kBlocks, kBlocks}));
}

// ---- WakeReader: the reader comes out, the connection stays ----

// A connected client of an echo server; the client's socket closes first, which ends the server.
struct EchoConnection {
    EchoConnection() : fd(ConnectLoopback(server.Port())) {
        if (fd) {
            ShrinkBuffers(fd.Get());
        }
    }
    EchoTlsServer server;
    platform::UniqueFd fd;
    CSslSocket tls;
};

// Until the socket holds bytes for the reader; the time-out is only a safety net.
bool WaitReadable(int fd) {
    pollfd wait{fd, POLLIN, 0};
    return ::poll(&wait, 1, 30000) == 1;
}

// One Read on a thread of its own, as a reader thread does it: its result and errno.
std::future<std::pair<int32_t, int>> ReadOnThread(CSslSocket& tls, std::string& out) {
    return std::async(std::launch::async, [&tls, &out] {
        std::array<char, 1024> buffer;
        const int32_t got = tls.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
        const int error = errno;
        if (got > 0) {
            out.assign(buffer.data(), static_cast<std::size_t>(got));
        }
        return std::pair(got, error);
    });
}

TEST_F(SslSocketTest, WakeBringsABlockedReadOutAndANewReaderReadsOn) {
    EchoConnection c;
    ASSERT_TRUE(c.fd);
    ASSERT_TRUE(c.tls.Connect(c.fd.Get()));
    std::string first;
    auto read = ReadOnThread(c.tls, first);
    EXPECT_EQ(read.wait_for(100ms), std::future_status::timeout) << "nothing was sent, the read must wait";
    c.tls.WakeReader();
    const bool woken = read.wait_for(5s) == std::future_status::ready;
    ASSERT_TRUE(woken) << "the read slept through the wake";
    const auto [got, error] = read.get();
    EXPECT_LT(got, 0);
    EXPECT_EQ(error, EINTR);
    EXPECT_FALSE(c.tls.Cancelled());

    // The next reader, on another thread as a re-created control's, reads what the host sends next.
    ASSERT_EQ(c.tls.Write("next", 4), 4);
    std::string next;
    EXPECT_TRUE(ReadExactly(c.tls, next, 4));
    EXPECT_EQ(next, "next");
    EXPECT_TRUE(m_prompt.Texts().empty());
}

TEST_F(SslSocketTest, BytesHeldBeforeAWakeStayForTheNextRead) {
    EchoConnection c;
    ASSERT_TRUE(c.fd);
    ASSERT_TRUE(c.tls.Connect(c.fd.Get()));
    const std::string sent = "held by the socket, then by the library";
    ASSERT_EQ(c.tls.Write(sent.data(), static_cast<int32_t>(sent.size())), static_cast<int32_t>(sent.size()));
    ASSERT_TRUE(WaitReadable(c.fd.Get()));

    // A wake with no reader: the next Read takes it, and no byte.
    c.tls.WakeReader();
    std::array<char, 64> buffer;
    EXPECT_LT(c.tls.Read(buffer.data(), 64), 0);
    EXPECT_EQ(errno, EINTR);
    // A part of the record: the rest is held by the library when the next wake comes.
    std::string out;
    const int32_t part = c.tls.Read(buffer.data(), 4);
    ASSERT_EQ(part, 4);
    out.append(buffer.data(), 4);
    c.tls.WakeReader();
    EXPECT_LT(c.tls.Read(buffer.data(), 64), 0);
    EXPECT_EQ(errno, EINTR);
    ASSERT_TRUE(ReadExactly(c.tls, out, sent.size()));
    EXPECT_EQ(out, sent);
}

// Records that one receive took into the library are read without waiting on the socket, which by then
// holds none of them.
TEST_F(SslSocketTest, RecordsAlreadyTakenFromTheSocketAreReadWithoutWaiting) {
    EchoConnection c;
    ASSERT_TRUE(c.fd);
    ASSERT_TRUE(c.tls.Connect(c.fd.Get()));
    // The host's messages after the handshake come first.
    ASSERT_EQ(c.tls.Write("ping", 4), 4);
    std::string ping;
    ASSERT_TRUE(ReadExactly(c.tls, ping, 4));

    constexpr int kRecords = 3;
    constexpr int32_t kSize = 1000;
    std::string sent;
    for (int n = 0; n < kRecords; ++n) {
        const std::string record(kSize, static_cast<char>('a' + n));
        ASSERT_EQ(c.tls.Write(record.data(), kSize), kSize);
        sent += record;
    }
    // Every echoed record is in the socket: more than two records' bytes with any overhead are there.
    const auto until = std::chrono::steady_clock::now() + 30s;
    int queued = 0;
    while (::ioctl(c.fd.Get(), FIONREAD, &queued) == 0 && queued < kRecords * (kSize + 5) &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_GE(queued, kRecords * (kSize + 5));

    std::string received;
    while (received.size() < sent.size()) {
        std::string block;
        auto read = ReadOnThread(c.tls, block);
        if (read.wait_for(5s) != std::future_status::ready) {
            c.tls.WakeReader();  // so that the stuck read ends with the test
            FAIL() << "a read waited on the socket for bytes the library held, after " << received.size();
        }
        ASSERT_GT(read.get().first, 0);
        received += block;
    }
    EXPECT_EQ(received, sent);
}

TEST_F(SslSocketTest, WakesThatNoReadTookCountAsOne) {
    EchoConnection c;
    ASSERT_TRUE(c.fd);
    ASSERT_TRUE(c.tls.Connect(c.fd.Get()));
    for (int n = 0; n < 3; ++n) {
        c.tls.WakeReader();
    }
    std::array<char, 16> buffer;
    EXPECT_LT(c.tls.Read(buffer.data(), 16), 0);
    EXPECT_EQ(errno, EINTR);
    // Writes never see a wake; the next Read waits for the echo instead of failing again.
    ASSERT_EQ(c.tls.Write("x", 1), 1);
    EXPECT_EQ(c.tls.Read(buffer.data(), 16), 1);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_FALSE(c.tls.TakeReaderWake());
}

// Wakes land at every point of the reader's calls, each woken reader is replaced by a new one, and the
// host's stream still arrives whole and in order.
TEST_F(SslSocketTest, ReadersWokenAtAnyPointLoseNoByte) {
    EchoConnection c;
    ASSERT_TRUE(c.fd);
    ASSERT_TRUE(c.tls.Connect(c.fd.Get()));
    std::string sent;
    for (uint32_t s = 0; s < 60; ++s) {
        sent += MakeBlock(0, s);
    }
    std::string received;
    std::atomic<std::size_t> progress{0};
    std::atomic<std::size_t> wokenAt{0};
    std::atomic<bool> done{false};
    std::atomic<int> woken{0};
    std::thread writer([&] {
        for (std::size_t at = 0; at < sent.size(); at += 5000) {
            const auto length = static_cast<int32_t>(std::min<std::size_t>(5000, sent.size() - at));
            if (c.tls.Write(sent.data() + at, length) != length) {
                return;
            }
        }
    });
    // Each reader thread reads until it is woken; the next one takes over where it stopped.
    std::thread readers([&] {
        int blocks = 0;
        while (received.size() < sent.size()) {
            bool failed = false;
            std::thread reader([&] {
                std::array<char, 1024> buffer;
                for (;;) {
                    // Every fourth block the wake lands before the Read, else wherever the reader is.
                    if (++blocks % 4 == 0) {
                        while (wokenAt.load(std::memory_order_acquire) < received.size()) {
                            std::this_thread::yield();
                        }
                    }
                    const int32_t got = c.tls.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
                    if (got < 0 && errno == EINTR) {
                        ++woken;
                        return;
                    }
                    if (got <= 0) {
                        failed = true;
                        return;
                    }
                    received.append(buffer.data(), static_cast<std::size_t>(got));
                    progress.store(received.size(), std::memory_order_release);
                    if (received.size() == sent.size()) {
                        return;
                    }
                }
            });
            reader.join();
            if (failed) {
                break;
            }
        }
        done = true;
    });
    // One wake after each step of progress, so that reading goes on between them.
    std::size_t seen = 0;
    while (!done) {
        const std::size_t now = progress.load(std::memory_order_acquire);
        if (now != seen) {
            seen = now;
            c.tls.WakeReader();
            wokenAt.store(now, std::memory_order_release);
        } else {
            std::this_thread::yield();
        }
    }
    readers.join();
    writer.join();
    EXPECT_GT(woken.load(), 0);
    ASSERT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "bytes were lost, doubled or reordered across the wakes";
}

}  // namespace
}  // namespace hostlink
