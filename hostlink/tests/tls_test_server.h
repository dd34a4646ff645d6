// Loopback TLS server pieces for tests and stand-in hosts: a self-signed identity made at run time, an
// acceptor on 127.0.0.1 with a free port, a blocking server-side TLS session and a one-connection server
// thread.
#pragma once

#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/unique_fd.h"

namespace hostlink::testing {

// An EC P-256 key and a self-signed certificate for "localhost", and a server context that presents them.
// Throws std::runtime_error when the library refuses.
class TestCertificate {
  public:
    TestCertificate();
    SSL_CTX* ServerContext() const { return m_ctx.get(); }
    X509* Certificate() const { return m_cert.get(); }

  private:
    struct KeyDeleter {
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    };
    struct CertDeleter {
        void operator()(X509* cert) const { X509_free(cert); }
    };
    struct CtxDeleter {
        void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_PKEY, KeyDeleter> m_key;
    std::unique_ptr<X509, CertDeleter> m_cert;
    std::unique_ptr<SSL_CTX, CtxDeleter> m_ctx;
};

// A listening TCP socket on 127.0.0.1 at a port the system chose. Throws std::runtime_error on failure.
class LoopbackListener {
  public:
    LoopbackListener();
    uint16_t Port() const { return m_port; }
    // The next connection, or an invalid fd when none came within `timeout`.
    platform::UniqueFd Accept(std::chrono::milliseconds timeout);

  private:
    platform::UniqueFd m_fd;
    uint16_t m_port = 0;
};

// A blocking TCP connection to 127.0.0.1:`port`; invalid on failure.
platform::UniqueFd ConnectLoopback(uint16_t port);

// Server side of one TLS connection on a blocking socket. Owns the socket.
class ServerTlsSession {
  public:
    ServerTlsSession(SSL_CTX* ctx, platform::UniqueFd fd);
    ~ServerTlsSession();
    ServerTlsSession(const ServerTlsSession&) = delete;
    ServerTlsSession& operator=(const ServerTlsSession&) = delete;

    bool Accept();
    // As SSL_read: bytes read, 0 or less when the connection ended or failed.
    int Read(void* buffer, int count);
    bool WriteAll(const void* bytes, std::size_t count);
    bool WriteAll(const std::string& text) { return WriteAll(text.data(), text.size()); }
    // Sends the close-notify alert.
    void Shutdown();
    int Fd() const { return m_fd.Get(); }

  private:
    platform::UniqueFd m_fd;
    SSL* m_ssl = nullptr;
};

// Reads and drops bytes until the peer closes the connection or it fails.
void DrainUntilClosed(int fd);
// Reads exactly `count` bytes; false when the peer closes the connection or it fails first.
bool ReceiveExactly(int fd, void* buffer, std::size_t count);

// Accepts one connection on a thread and hands it to `handler`. SIGPIPE is blocked on that thread so a
// client that goes away only fails the server's writes. The destructor stops waiting for a connection and
// joins; the handler must return by then (close the client end first).
class LoopbackServer {
  public:
    using Handler = std::function<void(platform::UniqueFd)>;
    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t Port() const { return m_listener.Port(); }

  private:
    LoopbackListener m_listener;
    platform::UniqueFd m_stop;
    std::thread m_thread;
};

}  // namespace hostlink::testing
