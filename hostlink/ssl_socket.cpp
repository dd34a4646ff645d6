// TLS client with a non-blocking socket: the handshake and every read and write run under one lock and
// wait in poll() outside it, so the reader thread and the writers share one connection safely and a
// Cancel wakes whoever is waiting. The library's calls go through the TLS engine, loaded at the first
// Connect.
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

#include "platform/event_fd.h"
#include "platform/poll_wait.h"
#include "platform/user_prompt.h"

namespace hostlink {
namespace {

using Clock = std::chrono::steady_clock;

using tls::Error;

const char* HandshakeMessage(Error sslError) {
    switch (sslError) {
        case Error::Ssl:
            return "Error Opening SSL Connection: SSL_ERROR_SSL";
        case Error::WantX509Lookup:
            return "Error Opening SSL Connection: SSL_ERROR_WANT_X509_LOOKUP";
        case Error::Syscall:
            return "Error Opening SSL Connection: SSL_ERROR_SYSCALL";
        case Error::ZeroReturn:
            return "Error Opening SSL Connection: SSL_ERROR_ZERO_RETURN";
        case Error::WantConnect:
            return "Error Opening SSL Connection: SSL_ERROR_WANT_CONNECT";
        case Error::WantAccept:
            return "Error Opening SSL Connection: SSL_ERROR_WANT_ACCEPT";
        default:
            return "Error Opening SSL Connection: Default Error";
    }
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
int CSslSocket::CallLocked(F&& call, Waiter* self, Waiter* other, Error& error) {
    std::lock_guard lock(m_mutex);
    if (self != nullptr) {
        self->waiting = false;
    }
    tls::Connection& ssl = *m_ssl;
    const uint64_t before = ssl.BytesMoved();
    int result = 0;
    int callErrno = 0;
    m_engine->ClearErrors();
    errno = 0;
    result = call(ssl);
    error = ssl.ErrorOf(result);
    callErrno = errno;
    if (self != nullptr && (error == Error::WantRead || error == Error::WantWrite)) {
        self->waiting = true;
    }
    // Bytes this call moved may be what the other side waits for (a record it needs was read here, or a
    // handshake it started was finished here); a call that moved nothing changes nothing for it.
    if (other != nullptr && other->waiting && ssl.BytesMoved() != before) {
        platform::SignalEvent(other->kick);
    }
    errno = callErrno;
    return result;
}

// A slice that passes without a cancel event also ends the wait: the other side's wake-up may be missing
// too, so the call is tried again. A side without its kick eventfd waits in slices as well, so that the
// other side's bytes and a WakeReader are still seen.
CSslSocket::Wait CSslSocket::WaitFor(Error sslError, const Waiter* self,
                                     std::optional<Clock::time_point> deadline) {
    const bool sliced = self != nullptr && !self->kick;
    std::optional<Clock::time_point> until = deadline;
    if (sliced) {
        const Clock::time_point slice = Clock::now() + platform::kCancelSlice;
        until = deadline ? std::min(*deadline, slice) : slice;
    }
    const Wait result =
        platform::WaitForFd({.fd = m_socket,
                             .events = static_cast<short>(sslError == Error::WantRead ? POLLIN : POLLOUT),
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
    m_ssl.reset();
    if (m_engine == nullptr) {
        std::string why;
        m_engine = tls::LoadEngine(&why);
        if (m_engine == nullptr) {
            // Without the library there is no TLS: the connection fails as a handshake that cannot start.
            Log("SSL library: " + why);
            platform::DefaultPrompt().Message("Error Opening SSL Connection: " + why);
            return false;
        }
    }
    tls::Engine::Failure failure = tls::Engine::Failure::None;
    m_ssl = m_engine->NewClient(socket, failure);
    if (!m_ssl) {
        platform::DefaultPrompt().Message(
            failure == tls::Engine::Failure::NoContext ? "m_ctx Cannot be Null" : "m_ssl Cannot be Null");
        return false;
    }

    NonBlockingScope nonBlocking(socket);

    const auto deadline = Clock::now() + m_handshakeTimeout;
    for (;;) {
        if (Cancelled()) {
            Log("SSL handshake cancelled");
            return false;
        }
        Error error = Error::None;
        CallLocked([](tls::Connection& ssl) { return ssl.Handshake(); }, nullptr, nullptr, error);
        if (error == Error::None) {
            // From here on every byte is TLS, so the library may read past the record it needs: a record
            // then costs one receive instead of two. Not during the handshake, whose failure leaves the
            // socket to a plain fallback that must not lose bytes.
            m_ssl->SetReadAhead();
            nonBlocking.Keep();
            m_connected.store(1, std::memory_order_release);
            return true;
        }
        if (error != Error::WantRead && error != Error::WantWrite) {
            Log(HandshakeMessage(error));
            platform::DefaultPrompt().Message(HandshakeMessage(error));
            ReportErrors();
            return false;
        }
        // A non-blocking handshake waits for the host in these states; nothing is wrong yet.
        Log(error == Error::WantRead ? "SSL handshake: SSL_ERROR_WANT_READ, waiting for the host"
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
    Error error = Error::None;
    const int result = CallLocked([&](tls::Connection& ssl) { return ssl.Write(m_started.data(), count); },
                                  &m_writer, &m_reader, error);
    if (result > 0) {
        return result;
    }
    if (error == Error::WantRead || error == Error::WantWrite) {
        m_hasStarted = true;
        return kStarted;
    }
    if (errno == 0 || errno == EINTR) {
        errno = error == Error::ZeroReturn || error == Error::Syscall ? EPIPE : EPROTO;
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
        Error error = Error::None;
        // A write that must wait is retried with the same block, as the library requires; the write lock
        // keeps every other writer out until it is on the wire.
        const int result = CallLocked(
            [&](tls::Connection& ssl) {
                return call == Call::Read ? ssl.Read(readBuffer, count) : ssl.Write(writeBytes, count);
            },
            &self, &other, error);
        if (result > 0) {
            return result;
        }
        switch (error) {
            case Error::WantRead:
            case Error::WantWrite:
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
            case Error::ZeroReturn:
                if (call == Call::Read) {
                    return 0;
                }
                errno = EPIPE;
                return -1;
            case Error::Ssl:
                // A host that drops the TCP connection without a close-notify has always read as closed.
                if (call == Call::Read && m_engine->ErrorIsUnexpectedEof()) {
                    m_engine->ClearErrors();
                    return 0;
                }
                errno = EPROTO;
                return -1;
            case Error::Syscall:
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
    // Without the library loaded, no call of it can have queued an error.
    if (m_engine == nullptr) {
        return 0;
    }
    while (const std::optional<std::string> text = m_engine->TakeError()) {
        platform::DefaultPrompt().Message(*text);
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
