// Throughput of the remote connection's reader: CRemotePipe::Read in 1024-byte blocks, as the reader thread
// reads, over loopback TLS, against a bare blocking SSL_read loop of the same block size on the same kind of
// connection. Prints both figures and their ratio.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench/bench_support.h"
#include "hostlink/remote_pipe.h"
#include "hostlink/tests/fake_owner.h"
#include "hostlink/tests/tls_test_server.h"

namespace {

using hostlink::testing::LoopbackListener;
using hostlink::testing::ReceiveExactly;
using hostlink::testing::ServerTlsSession;
using hostlink::testing::TestCertificate;

constexpr int kBlock = 1024;  // what the reader thread asks for
constexpr int64_t kBytesPerIteration = 4 << 20;
constexpr char kStreamByte = 'x';  // all the host sends

bool AllStreamBytes(const char* bytes, size_t count) {
    return std::all_of(bytes, bytes + count, [](char c) { return c == kStreamByte; });
}

SSL_CTX* ServerContext() {
    static TestCertificate certificate;
    return certificate.ServerContext();
}

// Answers STARTTLS, runs the TLS handshake and then sends data until the client goes away.
class StreamingHost {
  public:
    StreamingHost() {
        m_thread = std::thread([this] {
            platform::UniqueFd client = m_listener.Accept(std::chrono::seconds(20));
            if (!client) {
                return;
            }
            char request[10];  // "STARTTLS\r\n"
            if (!ReceiveExactly(client.Get(), request, sizeof request)) {
                return;
            }
            const std::string_view ready = "READYFORTLS\r\n";
            if (::send(client.Get(), ready.data(), ready.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(ready.size())) {
                return;
            }
            ServerTlsSession tls(ServerContext(), std::move(client));
            if (!tls.Accept()) {
                return;
            }
            std::array<char, 16384> chunk;
            chunk.fill(kStreamByte);
            while (tls.WriteAll(chunk.data(), chunk.size())) {
            }
        });
    }
    ~StreamingHost() { m_thread.join(); }
    uint16_t Port() const { return m_listener.Port(); }

  private:
    LoopbackListener m_listener;
    std::thread m_thread;
};

void BM_RemotePipeRead(benchmark::State& state) {
    StreamingHost host;
    hostlink::testing::FakeOwner owner;  // debug off: no error log
    hostlink::CRemotePipe pipe;
    pipe.m_owner = &owner;
    pipe.m_host.Assign("127.0.0.1");
    pipe.m_port = host.Port();
    pipe.m_flags = hostlink::flags::kBillingServer;  // a login without the host's sync
    if (pipe.ConnectAndLogin(0) != 0) {
        state.SkipWithError("the login failed");
        pipe.AbortConnect();
        return;
    }
    std::array<char, kBlock> buffer;
    for (auto _ : state) {
        int64_t left = kBytesPerIteration;
        while (left > 0) {
            uint32_t got = 0;
            if (!pipe.Read(buffer.data(), kBlock, got)) {
                state.SkipWithError("read failed");
                break;
            }
            left -= got;
        }
        if (!AllStreamBytes(buffer.data(), kBlock)) {
            state.SkipWithError("the bytes read are not the host's");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
    pipe.AbortConnect();  // the host's writes fail and its thread ends
    pipe.Close();
}

void BM_BareSslRead(benchmark::State& state) {
    StreamingHost host;
    platform::UniqueFd fd = hostlink::testing::ConnectLoopback(host.Port());
    const std::string_view request = "STARTTLS\r\n";
    char ready[13];  // "READYFORTLS\r\n"
    bool ok = fd &&
              ::send(fd.Get(), request.data(), request.size(), MSG_NOSIGNAL) ==
                  static_cast<ssize_t>(request.size()) &&
              ReceiveExactly(fd.Get(), ready, sizeof ready);
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL* ssl = ok && ctx != nullptr ? SSL_new(ctx) : nullptr;
    ok = ssl != nullptr && SSL_set_fd(ssl, fd.Get()) == 1 && SSL_connect(ssl) == 1;
    if (!ok) {
        state.SkipWithError("the TLS connection failed");
    } else {
        std::array<char, kBlock> buffer;
        for (auto _ : state) {
            int64_t left = kBytesPerIteration;
            while (left > 0) {
                const int n = SSL_read(ssl, buffer.data(), kBlock);
                if (n <= 0) {
                    state.SkipWithError("read failed");
                    break;
                }
                left -= n;
            }
            if (!AllStreamBytes(buffer.data(), kBlock)) {
                state.SkipWithError("the bytes read are not the host's");
                break;
            }
        }
        state.SetBytesProcessed(state.iterations() * kBytesPerIteration);
    }
    ::shutdown(fd.Get(), SHUT_RDWR);
    SSL_free(ssl);
    SSL_CTX_free(ctx);
}

// Several repetitions each, a new connection each time; the summary takes the best of each.
BENCHMARK(BM_RemotePipeRead)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(3);
BENCHMARK(BM_BareSslRead)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);  // the streaming host writes until the client has gone
    bench::RateReporter reporter;
    if (!bench::RunBenchmarks(argc, argv, reporter)) {
        return 1;
    }
    const auto pipe = reporter.BestRate("BM_RemotePipeRead");
    const auto bare = reporter.BestRate("BM_BareSslRead");
    if (!pipe || !bare || *bare <= 0) {
        bench::ReportNotMeasured("remote_pipe_read", "both benchmarks must run and read the host's bytes");
        return 1;
    }
    std::printf("CRemotePipe::Read: %.1f MB/s, bare SSL_read: %.1f MB/s\n", *pipe / 1e6, *bare / 1e6);
    bench::ReportMeasure("remote_pipe_read", *pipe / 1e6, *bare / 1e6, "MB/s", bench::AtLeast(0.9));
    return 0;
}
