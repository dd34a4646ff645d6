// TLS client on libssl with a non-blocking socket: the handshake and every read and write run under one
// lock and wait in poll() outside it, so the reader thread and the writers share one connection safely
// and a Cancel wakes whoever is waiting.
#include "hostlink/ssl_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

#include <openssl/err.h>

#include "platform/event_fd.h"
#include "platform/poll_wait.h"
#include "platform/user_prompt.h"

namespace hostlink {
namespace {

using Clock = std::chrono::steady_clock;

const char* HandshakeMessage(int sslError) {
    switch (sslError) {
        case SSL_ERROR_SSL:
            return "Error Opening SSL Connection: SSL_ERROR_SSL";
        case SSL_ERROR_WANT_X509_LOOKUP:
            return "Error Opening SSL Connection: SSL_ERROR_WANT_X509_LOOKUP";
        case SSL_ERROR_SYSCALL:
            return "Error Opening SSL Connection: SSL_ERROR_SYSCALL";
        case SSL_ERROR_ZERO_RETURN:
            return "Error Opening SSL Connection: SSL_ERROR_ZERO_RETURN";
        case SSL_ERROR_WANT_CONNECT:
            return "Error Opening SSL Connection: SSL_ERROR_WANT_CONNECT";
        case SSL_ERROR_WANT_ACCEPT:
            return "Error Opening SSL Connection: SSL_ERROR_WANT_ACCEPT";
        default:
            return "Error Opening SSL Connection: Default Error";
    }
}

uint64_t BytesMoved(SSL* ssl) {
    const BIO* rbio = SSL_get_rbio(ssl);
    const BIO* wbio = SSL_get_wbio(ssl);
    return (rbio ? BIO_number_read(const_cast<BIO*>(rbio)) : 0) +
           (wbio ? BIO_number_written(const_cast<BIO*>(wbio)) : 0);
}

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

// Puts the socket back as the caller gave it when the handshake fails, so a plain fallback still works.
class NonBlockingScope {
  public:
    explicit NonBlockingScope(int fd) : m_fd(fd) {
        m_flags = ::fcntl(fd, F_GETFL);
        if (m_flags >= 0 && (m_flags & O_NONBLOCK) == 0) {
            m_changed = ::fcntl(fd, F_SETFL, m_flags | O_NONBLOCK) == 0;
        }
    }
    ~NonBlockingScope() {
        if (m_changed && !m_keep) {
            const int savedErrno = errno;
            ::fcntl(m_fd, F_SETFL, m_flags);
            errno = savedErrno;
        }
    }
    NonBlockingScope(const NonBlockingScope&) = delete;
    NonBlockingScope& operator=(const NonBlockingScope&) = delete;
    void Keep() { m_keep = true; }

  private:
    int m_fd;
    int m_flags = -1;
    bool m_changed = false;
    bool m_keep = false;
};

}  // namespace

CSslSocket::CSslSocket() {
    m_reader.kick = platform::MakeEventFd();
    m_writer.kick = platform::MakeEventFd();
    m_cancelEvent = platform::MakeEventFd();
}

// The TLS objects go with the owner; no close-notify is sent, as hosts have never had one.
CSslSocket::~CSslSocket() = default;

void CSslSocket::Log(std::string_view text) const {
    if (m_log) {
        m_log(text);
    }
}

template <typename F>
int CSslSocket::CallLocked(F&& call, Waiter* self, Waiter* other, int& error) {
    std::lock_guard lock(m_mutex);
    if (self != nullptr) {
        self->waiting = false;
    }
    SSL* ssl = m_ssl.get();
    const uint64_t before = BytesMoved(ssl);
    int result = 0;
    int callErrno = 0;
    ERR_clear_error();
    errno = 0;
    result = call(ssl);
    error = SSL_get_error(ssl, result);
    callErrno = errno;
    if (self != nullptr && (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)) {
        self->waiting = true;
    }
    // Bytes this call moved may be what the other side waits for (a record it needs was read here, or a
    // handshake it started was finished here); a call that moved nothing changes nothing for it.
    if (other != nullptr && other->waiting && BytesMoved(ssl) != before) {
        platform::SignalEvent(other->kick);
    }
    errno = callErrno;
    return result;
}

// A slice that passes without a cancel event also ends the wait: the other side's wake-up may be missing
// too, so the call is tried again. A side without its kick eventfd waits in slices as well, so that the
// other side's bytes and a WakeReader are still seen.
CSslSocket::Wait CSslSocket::WaitFor(int sslError, const Waiter* self,
                                     std::optional<Clock::time_point> deadline) {
    const bool sliced = self != nullptr && !self->kick;
    std::optional<Clock::time_point> until = deadline;
    if (sliced) {
        const Clock::time_point slice = Clock::now() + platform::kCancelSlice;
        until = deadline ? std::min(*deadline, slice) : slice;
    }
    const Wait result =
        platform::WaitForFd({.fd = m_socket,
                             .events = static_cast<short>(sslError == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT),
                             .cancelled = &m_cancelled,
                             .cancelEvent = m_cancelEvent.Get(),
                             .wakeEvent = self != nullptr ? self->kick.Get() : -1,
                             .deadline = until,
                             .sliceEndsWait = true});
    if (sliced && result == Wait::TimedOut && (!deadline || Clock::now() < *deadline)) {
        return Wait::Ready;
    }
    return result;
}

bool CSslSocket::Connect(int socket) {
    m_socket = socket;
    m_connected.store(0, std::memory_order_release);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);

    m_ssl.reset();
    m_ctx.reset(SSL_CTX_new(TLS_client_method()));
    if (!m_ctx) {
        platform::DefaultPrompt().Message("m_ctx Cannot be Null");
        return false;
    }
    m_ssl.reset(SSL_new(m_ctx.get()));
    if (!m_ssl) {
        platform::DefaultPrompt().Message("m_ssl Cannot be Null");
        return false;
    }

    NonBlockingScope nonBlocking(socket);
    // Without a transport (no memory) the handshake fails with its message.
    if (BIO* bio = NewSocketBio(socket)) {
        SSL_set_bio(m_ssl.get(), bio, bio);
    }
    SSL_set_mode(m_ssl.get(), SSL_MODE_AUTO_RETRY);

    const auto deadline = Clock::now() + m_handshakeTimeout;
    for (;;) {
        if (Cancelled()) {
            Log("SSL handshake cancelled");
            return false;
        }
        int error = SSL_ERROR_NONE;
        CallLocked([](SSL* ssl) { return SSL_connect(ssl); }, nullptr, nullptr, error);
        if (error == SSL_ERROR_NONE) {
            // From here on every byte is TLS, so the library may read past the record it needs: a record
            // then costs one receive instead of two. Not during the handshake, whose failure leaves the
            // socket to a plain fallback that must not lose bytes.
            SSL_set_read_ahead(m_ssl.get(), 1);
            nonBlocking.Keep();
            m_connected.store(1, std::memory_order_release);
            return true;
        }
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            Log(HandshakeMessage(error));
            platform::DefaultPrompt().Message(HandshakeMessage(error));
            ReportErrors();
            return false;
        }
        // A non-blocking handshake waits for the host in these states; nothing is wrong yet.
        Log(error == SSL_ERROR_WANT_READ ? "SSL handshake: SSL_ERROR_WANT_READ, waiting for the host"
                                         : "SSL handshake: SSL_ERROR_WANT_WRITE, waiting for the socket");
        switch (WaitFor(error, nullptr, deadline)) {
            case Wait::Ready:
                break;
            case Wait::TimedOut:
                Log("SSL handshake timed out");
                return false;
            case Wait::Cancelled:
                Log("SSL handshake cancelled");
                return false;
            case Wait::Failed:
                Log("SSL handshake: waiting for the socket failed: " + std::to_string(errno));
                return false;
        }
    }
}

int32_t CSslSocket::Transfer(Call call, void* readBuffer, const void* writeBytes, int32_t count) {
    if (count < 0 || (readBuffer == nullptr && writeBytes == nullptr)) {
        errno = EINVAL;
        return -1;
    }
    std::unique_lock sideLock(call == Call::Read ? m_readMutex : m_writeMutex);
    if (!m_ssl || !IsConnected()) {
        errno = ENOTCONN;
        return -1;
    }
    if (call == Call::Write) {
        if (const int32_t started = FinishStartedLocked(); started < 0) {
            return started;
        }
    }
    return TransferLocked(call, readBuffer, writeBytes, count);
}

int32_t CSslSocket::FinishStartedLocked() {
    if (!m_hasStarted) {
        return 0;
    }
    const int32_t result =
        TransferLocked(Call::Write, nullptr, m_started.data(), static_cast<int32_t>(m_started.size()));
    // Written or failed, it is over: a failed connection carries nothing more.
    m_hasStarted = false;
    return result;
}

int32_t CSslSocket::TryWrite(const void* bytes, int32_t count) {
    if (count < 0 || bytes == nullptr) {
        errno = EINVAL;
        return -1;
    }
    std::unique_lock sideLock(m_writeMutex, std::try_to_lock);
    if (!sideLock.owns_lock() || m_hasStarted) {
        return 0;
    }
    if (!m_ssl || !IsConnected()) {
        errno = ENOTCONN;
        return -1;
    }
    if (Cancelled()) {
        errno = ECANCELED;
        return -1;
    }
    if (count == 0) {
        return 0;
    }
    // Written from our own copy, so that a retry can hand the library the very same buffer.
    const auto* first = static_cast<const uint8_t*>(bytes);
    m_started.assign(first, first + count);
    int error = SSL_ERROR_NONE;
    const int result = CallLocked([&](SSL* ssl) { return SSL_write(ssl, m_started.data(), count); },
                                  &m_writer, &m_reader, error);
    if (result > 0) {
        return result;
    }
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        m_hasStarted = true;
        return kStarted;
    }
    if (errno == 0 || errno == EINTR) {
        errno = error == SSL_ERROR_ZERO_RETURN || error == SSL_ERROR_SYSCALL ? EPIPE : EPROTO;
    }
    return -1;
}

int32_t CSslSocket::FinishWrite() {
    std::lock_guard sideLock(m_writeMutex);
    return FinishStartedLocked();
}

int32_t CSslSocket::TransferLocked(Call call, void* readBuffer, const void* writeBytes, int32_t count) {
    Waiter& self = call == Call::Read ? m_reader : m_writer;
    Waiter& other = call == Call::Read ? m_writer : m_reader;
    for (;;) {
        if (Cancelled()) {
            errno = ECANCELED;
            return -1;
        }
        // Looked at before every call, so a wake that came before the wait is never slept through; what
        // an earlier call read stays in the library for the next Read.
        if (call == Call::Read && TakeReaderWake()) {
            errno = EINTR;
            return -1;
        }
        int error = SSL_ERROR_NONE;
        // A write that must wait is retried with the same block, as the library requires; the write lock
        // keeps every other writer out until it is on the wire.
        const int result = CallLocked(
            [&](SSL* ssl) {
                return call == Call::Read ? SSL_read(ssl, readBuffer, count)
                                          : SSL_write(ssl, writeBytes, count);
            },
            &self, &other, error);
        if (result > 0) {
            return result;
        }
        switch (error) {
            case SSL_ERROR_WANT_READ:
            case SSL_ERROR_WANT_WRITE:
                switch (WaitFor(error, &self, std::nullopt)) {
                    case Wait::Ready:
                        continue;
                    case Wait::Cancelled:
                        errno = ECANCELED;
                        return -1;
                    case Wait::TimedOut:
                    case Wait::Failed:
                        return -1;
                }
                break;
            case SSL_ERROR_ZERO_RETURN:
                if (call == Call::Read) {
                    return 0;
                }
                errno = EPIPE;
                return -1;
            case SSL_ERROR_SSL:
                // A host that drops the TCP connection without a close-notify has always read as closed.
                if (call == Call::Read &&
                    ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
                    ERR_clear_error();
                    return 0;
                }
                errno = EPROTO;
                return -1;
            case SSL_ERROR_SYSCALL:
                if (errno == EINTR) {
                    continue;  // EINTR from this object means a wake, never an interrupted call
                }
                if (errno == 0) {
                    if (call == Call::Read) {
                        return 0;
                    }
                    errno = EPIPE;
                }
                return -1;
            default:
                if (errno == 0) {
                    errno = EPROTO;
                }
                return -1;
        }
    }
}

int32_t CSslSocket::Read(void* buffer, int32_t count) {
    if (count == 0) {
        errno = EINVAL;  // 0 would read as a closed connection
        return -1;
    }
    return Transfer(Call::Read, buffer, nullptr, count);
}

int32_t CSslSocket::Write(const void* bytes, int32_t count) {
    if (count == 0) {
        return 0;
    }
    return Transfer(Call::Write, nullptr, bytes, count);
}

int32_t CSslSocket::ReportErrors() {
    while (const unsigned long code = ERR_get_error()) {
        std::array<char, 256> text{};
        ERR_error_string_n(code, text.data(), text.size());
        platform::DefaultPrompt().Message(text.data());
    }
    return 0;
}

void CSslSocket::WakeReader() {
    m_readerWoken.store(true, std::memory_order_release);
    platform::SignalEvent(m_reader.kick);
}

void CSslSocket::Cancel() {
    m_cancelled.store(true, std::memory_order_release);
    platform::SignalEvent(m_cancelEvent);
}

}  // namespace hostlink
