// Loopback TLS server pieces shared by the host-link tests and the stand-in hosts.
#include "hostlink/tests/tls_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <stdexcept>

#include <openssl/evp.h>

#include "platform/event_fd.h"
#include "platform/sigpipe_block.h"

namespace hostlink::testing {

TestCertificate::TestCertificate() {
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    m_key.reset(EVP_EC_gen("P-256"));
    m_cert.reset(X509_new());
    if (!m_key || !m_cert) {
        throw std::runtime_error("cannot make a test key");
    }
    X509* cert = m_cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, m_key.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"),
                               -1, -1, 0);
    X509_set_issuer_name(cert, name);
    if (X509_sign(cert, m_key.get(), EVP_sha256()) <= 0) {
        throw std::runtime_error("cannot sign the test certificate");
    }
    m_ctx.reset(SSL_CTX_new(TLS_server_method()));
    if (!m_ctx || SSL_CTX_use_certificate(m_ctx.get(), cert) != 1 ||
        SSL_CTX_use_PrivateKey(m_ctx.get(), m_key.get()) != 1 ||
        SSL_CTX_check_private_key(m_ctx.get()) != 1) {
        throw std::runtime_error("cannot make the test server context");
    }
}

LoopbackListener::LoopbackListener() {
    m_fd = platform::UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (!m_fd || ::bind(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_fd.Get(), 8) != 0 ||
        ::getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on the loopback interface");
    }
    m_port = ntohs(address.sin_port);
}

platform::UniqueFd LoopbackListener::Accept(std::chrono::milliseconds timeout) {
    pollfd entry{m_fd.Get(), POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(timeout.count())) != 1) {
        return {};
    }
    return platform::UniqueFd(::accept4(m_fd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
}

platform::UniqueFd ConnectLoopback(uint16_t port) {
    platform::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (!fd || ::connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return {};
    }
    return fd;
}

ServerTlsSession::ServerTlsSession(SSL_CTX* ctx, platform::UniqueFd fd) : m_fd(std::move(fd)) {
    m_ssl = SSL_new(ctx);
    if (m_ssl != nullptr) {
        SSL_set_fd(m_ssl, m_fd.Get());
    }
}

ServerTlsSession::~ServerTlsSession() {
    SSL_free(m_ssl);
}

bool ServerTlsSession::Accept() {
    return m_ssl != nullptr && SSL_accept(m_ssl) == 1;
}

namespace {

// A blocking socket call with a time-out ends with EINTR when the process is stopped and continued;
// the call is simply made again.
bool Interrupted(SSL* ssl, int result) {
    const int error = SSL_get_error(ssl, result);
    return (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) &&
           errno == EINTR;
}

}  // namespace

int ServerTlsSession::Read(void* buffer, int count) {
    if (!m_ssl) {
        return -1;
    }
    for (;;) {
        errno = 0;
        const int n = SSL_read(m_ssl, buffer, count);
        if (n > 0 || !Interrupted(m_ssl, n)) {
            return n;
        }
    }
}

bool ServerTlsSession::WriteAll(const void* bytes, std::size_t count) {
    const auto* at = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        std::size_t written = 0;
        if (m_ssl == nullptr) {
            return false;
        }
        errno = 0;
        const int result = SSL_write_ex(m_ssl, at, count, &written);
        if (result != 1) {
            if (Interrupted(m_ssl, result)) {
                continue;
            }
            return false;
        }
        at += written;
        count -= written;
    }
    return true;
}

void ServerTlsSession::Shutdown() {
    if (m_ssl != nullptr) {
        SSL_shutdown(m_ssl);
    }
}

bool ReceiveExactly(int fd, void* buffer, std::size_t count) {
    auto* at = static_cast<char*>(buffer);
    while (count > 0) {
        const ssize_t got = ::recv(fd, at, count, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        at += got;
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

void DrainUntilClosed(int fd) {
    std::array<char, 4096> buffer;
    for (;;) {
        const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            return;
        }
    }
}

LoopbackServer::LoopbackServer(Handler handler) : m_stop(platform::MakeEventFd()) {
    if (!m_stop) {
        throw std::runtime_error("cannot make the server's stop event");
    }
    m_thread = std::thread([this, handler = std::move(handler)] {
        const platform::SigpipeBlock noSigpipe;
        std::array<pollfd, 1> stop{{{m_stop.Get(), POLLIN, 0}}};
        for (;;) {
            if (platform::UniqueFd client = m_listener.Accept(std::chrono::milliseconds(50))) {
                handler(std::move(client));
                return;
            }
            if (::poll(stop.data(), stop.size(), 0) > 0) {
                return;
            }
        }
    });
}

LoopbackServer::~LoopbackServer() {
    platform::SignalEvent(m_stop);
    m_thread.join();
}

}  // namespace hostlink::testing
