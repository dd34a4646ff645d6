// TLS client over an already connected TCP socket, for the remote host connection and the dial-back file
// transfer. No certificate or host name is checked: the hosts in the field present certificates nobody
// could verify.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "hostlink/tls/tls_engine.h"
#include "platform/poll_wait.h"
#include "platform/unique_fd.h"

namespace hostlink {

// One owner per connection: the socket is switched to non-blocking and every call on the connection runs
// under one lock, waiting with poll() outside it. A reader thread and writer threads may therefore use the
// object at the same time; each Write reaches the wire whole, never interleaved with another.
// Teardown: Cancel(), join the threads that use the object, then destroy it and close the socket.
class CSslSocket {
  public:
    using LogSink = std::function<void(std::string_view)>;

    CSslSocket();
    ~CSslSocket();
    CSslSocket(const CSslSocket&) = delete;
    CSslSocket& operator=(const CSslSocket&) = delete;

    // Client handshake on `socket` (not owned, never closed here). True when it succeeded. Failures are
    // shown to the user, except a time-out or a Cancel, which return false quietly.
    bool Connect(int socket);
    // Bytes read (at most `count`), 0 when the host closed the connection, negative on failure, Cancel
    // (errno ECANCELED) or WakeReader (errno EINTR). Blocks until data, close, failure, Cancel or a wake.
    int32_t Read(void* buffer, int32_t count);
    // Writes the whole block: `count` on success, negative on failure or Cancel. A block TryWrite began
    // goes out first.
    int32_t Write(const void* bytes, int32_t count);
    // One attempt that never waits for the host or another writer: `count` when the block went out, 0 when
    // nothing was taken (another write is under way or one began and is not finished), or kStarted when
    // the library took the block and needs to be called again with it: FinishWrite (or the next Write)
    // does that. Negative on failure.
    static constexpr int32_t kStarted = -2;
    int32_t TryWrite(const void* bytes, int32_t count);
    // Finishes the block a TryWrite began, waiting as Write does: 0 when none was left, else as Write.
    int32_t FinishWrite();
    // Shows every queued library error of the calling thread, one message each; returns 0.
    int32_t ReportErrors();

    // Wakes every blocked Connect, Read and Write and makes them, and all later calls, fail. Safe from any
    // thread; the socket stays open for its owner to close once the users have returned.
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(std::memory_order_acquire); }
    // Brings the waiting Read, or else the next Read, out with EINTR before it takes any byte; the
    // connection stays usable and bytes the library or the socket hold stay for the next Read. Wakes that
    // no Read has taken yet count as one. Safe from any thread.
    void WakeReader();
    // Takes a pending wake without reading: true when there was one (for an owner that answers from its
    // own buffer, or that hands the connection on).
    bool TakeReaderWake() {
        return m_readerWoken.load(std::memory_order_acquire) &&
               m_readerWoken.exchange(false, std::memory_order_acq_rel);
    }

    bool IsConnected() const { return m_connected.load(std::memory_order_acquire) != 0; }
    int Socket() const { return m_socket; }

    // Limit for the whole handshake; 60 seconds unless changed (set before Connect).
    void SetHandshakeTimeout(std::chrono::milliseconds limit) { m_handshakeTimeout = limit; }
    // Diagnostics that are no reason to bother the user (set before Connect; called on any thread).
    void SetLogSink(LogSink sink) { m_log = std::move(sink); }

  private:
    // A side that is parked in poll() and may need waking when the other side moved bytes.
    struct Waiter {
        platform::UniqueFd kick;
        bool waiting = false;  // guarded by m_mutex
    };
    using Wait = platform::WaitResult;
    enum class Call { Read, Write };

    // One library call on m_ssl under m_mutex; `self` is the calling side's waiter (null for the
    // handshake). Returns the call's result and stores its error class in `error`.
    template <typename F>
    int CallLocked(F&& call, Waiter* self, Waiter* other, tls::Error& error);
    int32_t Transfer(Call call, void* readBuffer, const void* writeBytes, int32_t count);
    // Transfer's retry loop, with the side's lock held.
    int32_t TransferLocked(Call call, void* readBuffer, const void* writeBytes, int32_t count);
    // With m_writeMutex held: the block TryWrite began, to its end.
    int32_t FinishStartedLocked();
    Wait WaitFor(tls::Error sslError, const Waiter* self,
                 std::optional<std::chrono::steady_clock::time_point> deadline);
    void Log(std::string_view text) const;

    // Loaded at the first Connect; the library's objects for this connection.
    const tls::Engine* m_engine = nullptr;
    std::unique_ptr<tls::Connection> m_ssl;
    std::atomic<int32_t> m_connected{0};
    int m_socket = -1;

    std::mutex m_mutex;       // every call on m_ssl
    std::mutex m_readMutex;   // one Read at a time
    std::mutex m_writeMutex;  // one Write at a time, held across its retries
    // The block a TryWrite began: the library wants the same bytes again, so they stay here, at one
    // address, until written. Guarded by m_writeMutex.
    std::vector<uint8_t> m_started;
    bool m_hasStarted = false;
    Waiter m_reader;
    Waiter m_writer;
    platform::UniqueFd m_cancelEvent;  // readable for ever once Cancel ran
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_readerWoken{false};  // WakeReader; m_reader.kick makes a waiting Read look
    std::chrono::milliseconds m_handshakeTimeout{std::chrono::seconds(60)};
    LogSink m_log;
};

}  // namespace hostlink
