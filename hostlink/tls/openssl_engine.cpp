// The host link's TLS and digest calls on libssl and libcrypto, built as a library of its own that the host
// link opens when it first needs it. It holds no state of the host link: every object it makes belongs to
// the caller.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>

#include "hostlink/tls/tls_engine.h"

namespace hostlink::tls {
namespace {

static_assert(static_cast<int>(Error::None) == SSL_ERROR_NONE);
static_assert(static_cast<int>(Error::Ssl) == SSL_ERROR_SSL);
static_assert(static_cast<int>(Error::WantRead) == SSL_ERROR_WANT_READ);
static_assert(static_cast<int>(Error::WantWrite) == SSL_ERROR_WANT_WRITE);
static_assert(static_cast<int>(Error::WantX509Lookup) == SSL_ERROR_WANT_X509_LOOKUP);
static_assert(static_cast<int>(Error::Syscall) == SSL_ERROR_SYSCALL);
static_assert(static_cast<int>(Error::ZeroReturn) == SSL_ERROR_ZERO_RETURN);
static_assert(static_cast<int>(Error::WantConnect) == SSL_ERROR_WANT_CONNECT);
static_assert(static_cast<int>(Error::WantAccept) == SSL_ERROR_WANT_ACCEPT);

// The socket as the library's transport, written with MSG_NOSIGNAL: a host that has gone fails the write
// with EPIPE instead of raising SIGPIPE, so no call on the connection needs the signal held off (which
// would cost three system calls a call). Reads and the end-of-input flag as the library's own socket
// transport has them, so a host that drops the connection still reads as closed.
int SocketFd(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

bool ShouldRetry(ssize_t n) {
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

int SocketWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(SocketFd(bio), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (ShouldRetry(n)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(SocketFd(bio), data, static_cast<size_t>(length), 0);
    if (ShouldRetry(n)) {
        BIO_set_retry_read(bio);
    } else if (n == 0) {
        BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
    }
    return static_cast<int>(n);
}

long SocketControl(BIO* bio, int command, long /*number*/, void* pointer) {
    switch (command) {
        case BIO_CTRL_FLUSH:
            return 1;
        case BIO_CTRL_EOF:
            return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
        case BIO_C_GET_FD:
            if (pointer != nullptr) {
                *static_cast<int*>(pointer) = SocketFd(bio);
            }
            return SocketFd(bio);
        default:
            return 0;
    }
}

int SocketCreate(BIO* bio) {
    BIO_set_data(bio, reinterpret_cast<void*>(intptr_t{-1}));
    return 1;
}

const BIO_METHOD* SocketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "carrowline socket");
        if (m != nullptr) {
            BIO_meth_set_write(m, SocketWrite);
            BIO_meth_set_read(m, SocketRead);
            BIO_meth_set_ctrl(m, SocketControl);
            BIO_meth_set_create(m, SocketCreate);
        }
        return m;
    }();
    return method;
}

// The transport for `fd` (not owned); null when the library has no memory for it.
BIO* NewSocketBio(int fd) {
    const BIO_METHOD* method = SocketMethod();
    BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
    if (bio != nullptr) {
        BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
        BIO_set_init(bio, 1);
    }
    return bio;
}

struct CtxDeleter {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslDeleter {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct MdDeleter {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The TLS objects go with the owner; no close-notify is sent, as hosts have never had one.
class OpenSslConnection final : public Connection {
  public:
    OpenSslConnection(std::unique_ptr<SSL_CTX, CtxDeleter> ctx, std::unique_ptr<SSL, SslDeleter> ssl)
        : m_ctx(std::move(ctx)), m_ssl(std::move(ssl)) {}

    int Handshake() override { return SSL_connect(m_ssl.get()); }
    void SetReadAhead() override { SSL_set_read_ahead(m_ssl.get(), 1); }
    int Read(void* buffer, int count) override { return SSL_read(m_ssl.get(), buffer, count); }
    int Write(const void* bytes, int count) override { return SSL_write(m_ssl.get(), bytes, count); }
    Error ErrorOf(int result) override { return static_cast<Error>(SSL_get_error(m_ssl.get(), result)); }
    uint64_t BytesMoved() override {
        const BIO* rbio = SSL_get_rbio(m_ssl.get());
        const BIO* wbio = SSL_get_wbio(m_ssl.get());
        return (rbio ? BIO_number_read(const_cast<BIO*>(rbio)) : 0) +
               (wbio ? BIO_number_written(const_cast<BIO*>(wbio)) : 0);
    }

  private:
    std::unique_ptr<SSL_CTX, CtxDeleter> m_ctx;
    std::unique_ptr<SSL, SslDeleter> m_ssl;
};

class OpenSslMd5 final : public Md5 {
  public:
    OpenSslMd5(std::unique_ptr<EVP_MD, MdDeleter> md, std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx)
        : m_md(std::move(md)), m_ctx(std::move(ctx)) {}

    bool Update(const void* bytes, std::size_t count) override {
        return EVP_DigestUpdate(m_ctx.get(), bytes, count) == 1;
    }
    bool Final(unsigned char (&digest)[kSize]) override {
        std::array<unsigned char, EVP_MAX_MD_SIZE> out;
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_ctx.get(), out.data(), &length) != 1 || length != kSize) {
            return false;
        }
        std::copy(out.begin(), out.begin() + kSize, digest);
        return true;
    }

  private:
    std::unique_ptr<EVP_MD, MdDeleter> m_md;
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> m_ctx;
};

class OpenSslEngine final : public Engine {
  public:
    std::unique_ptr<Connection> NewClient(int socket, Failure& failure) const override {
        OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
        std::unique_ptr<SSL_CTX, CtxDeleter> ctx(SSL_CTX_new(TLS_client_method()));
        if (!ctx) {
            failure = Failure::NoContext;
            return nullptr;
        }
        std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(ctx.get()));
        if (!ssl) {
            failure = Failure::NoConnection;
            return nullptr;
        }
        // Without a transport (no memory) the handshake fails with its message.
        if (BIO* bio = NewSocketBio(socket)) {
            SSL_set_bio(ssl.get(), bio, bio);
        }
        SSL_set_mode(ssl.get(), SSL_MODE_AUTO_RETRY);
        failure = Failure::None;
        return std::make_unique<OpenSslConnection>(std::move(ctx), std::move(ssl));
    }

    std::unique_ptr<Md5> NewMd5(Failure& failure) const override {
        std::unique_ptr<EVP_MD, MdDeleter> md(EVP_MD_fetch(nullptr, "MD5", nullptr));
        if (!md) {
            failure = Failure::NoAlgorithm;
            return nullptr;
        }
        std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
        if (!ctx) {
            failure = Failure::NoMemory;
            return nullptr;
        }
        if (EVP_DigestInit_ex(ctx.get(), md.get(), nullptr) != 1) {
            failure = Failure::NoInit;
            return nullptr;
        }
        failure = Failure::None;
        return std::make_unique<OpenSslMd5>(std::move(md), std::move(ctx));
    }

    void ClearErrors() const override { ERR_clear_error(); }

    std::optional<std::string> TakeError() const override {
        const unsigned long code = ERR_get_error();
        if (code == 0) {
            return std::nullopt;
        }
        std::array<char, 256> text{};
        ERR_error_string_n(code, text.data(), text.size());
        return std::string(text.data());
    }

    bool ErrorIsUnexpectedEof() const override {
        return ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
    }
};

}  // namespace
}  // namespace hostlink::tls

extern "C" __attribute__((visibility("default"))) const hostlink::tls::Engine* CarrowlineTlsEngine() {
    static const hostlink::tls::OpenSslEngine engine;
    return &engine;
}
