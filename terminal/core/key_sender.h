// The key sender: a 40-byte buffer of translated keys that is handed, with every other block meant for the
// host, to the one sender thread that writes to the pipe. Every write of a session goes through that
// thread, in the order posted, so keys keep order; a small block that finds the thread idle is tried at
// once by the caller instead, with a write that never waits, and what that leaves goes to the thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "terminal/core/keyboard.h"

namespace hostlink {
class CCommPipe;
}

namespace terminal {

// One unit of work for the sender thread; its bytes belong to whoever holds the message.
struct SenderMessage {
    enum class Op : uint8_t {
        Write,          // the pipe's raw write
        Channel0,       // the pipe's channel-0 write (prefix when the pipe's flag is on)
        Channel1,       // the pipe's channel-1 write
        ChannelPrefix,  // switch the pipe's channel-prefix flag, in order with the writes
        FinishWrite,    // finish the block a try-write began (the pipe holds it)
        Stop,           // end the thread once everything posted before it is written
    };
    Op op = Op::Write;
    std::vector<uint8_t> bytes;
    int32_t flag = 0;
    bool operator==(const SenderMessage&) const = default;
};

// Where key senders post their messages: the sender thread, or a recording fake in tests.
class KeyPoster {
  public:
    virtual ~KeyPoster() = default;
    // False when the message was refused (no thread, stopped, or the queue is full); the refusal is logged.
    virtual bool Post(SenderMessage message) = 0;
    // As Post, but the poster may write the message on the calling thread at once when that cannot
    // overtake or wait behind another write; whatever it does, the order of messages is the order posted.
    virtual bool Send(SenderMessage message) { return Post(std::move(message)); }
    // Send of a raw write of `bytes`, which the poster copies only when it keeps them: a key written at
    // once costs no allocation.
    virtual bool SendRaw(std::span<const uint8_t> bytes) {
        return Send({SenderMessage::Op::Write, std::vector<uint8_t>(bytes.begin(), bytes.end()), 0});
    }
};

// The connection's sender thread: started at connect with its pipe, stopped and joined at teardown before
// the pipe is closed. Post and Send may be called from any thread.
class CKeySenderThread final : public KeyPoster {
  public:
    // A pipe that stops taking bytes must not let the queue grow without end.
    static constexpr std::size_t kMaxQueued = 10000;
    // Send tries on the caller's thread only raw blocks of at most this many bytes (a key, a reply, a
    // short field); the try never waits, so the caller (the window thread) never waits for the host.
    static constexpr std::size_t kDirectMax = 512;

    // How the messages went: written (or begun) by the caller of Send, or by the thread.
    struct Counts {
        uint64_t direct = 0;
        uint64_t queued = 0;
    };

    using Logger = std::function<void(std::string_view)>;

    // `logger` gets one line per refused message; the default writes to standard error.
    explicit CKeySenderThread(Logger logger = {});
    ~CKeySenderThread() override;
    CKeySenderThread(const CKeySenderThread&) = delete;
    CKeySenderThread& operator=(const CKeySenderThread&) = delete;

    // Starts writing to `pipe`, which must outlive the thread. A running thread is stopped first.
    void Start(hostlink::CCommPipe& pipe);
    // Posts the stop message behind everything queued and joins: what was posted before reaches the pipe.
    void Stop();
    bool Running() const;

    // Queues the message for the thread.
    bool Post(SenderMessage message) override;
    // Tries the message at once on this thread when nothing is queued or being written and it is a small
    // raw block; what the pipe does not take at once is queued ahead of everything posted meanwhile (a
    // block the pipe began is finished by the thread first). Else queues it as Post does.
    bool Send(SenderMessage message) override;
    bool SendRaw(std::span<const uint8_t> bytes) override;
    Counts GetCounts() const;

  private:
    // Send's raw write of `bytes`; `owned`, when given, holds the same bytes and is queued in place of a
    // copy.
    bool SendWrite(std::span<const uint8_t> bytes, SenderMessage* owned);
    void Run(hostlink::CCommPipe* pipe);
    // Carries one message out on `pipe`.
    static void Write(hostlink::CCommPipe& pipe, const SenderMessage& message);
    void Log(std::string_view text) const;

    Logger m_logger;
    std::mutex m_lifeMutex;  // Start and Stop, one at a time
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<SenderMessage> m_queue;
    bool m_accepting = false;
    hostlink::CCommPipe* m_pipe = nullptr;  // while accepting
    bool m_writing = false;                 // the thread is writing a message
    Counts m_counts;
    std::thread m_thread;
};

// A key sender object. Used from one thread at a time (the window thread); several may post to one
// sender thread, each flushing its own buffer before anything else it sends.
class CKeySender {
  public:
    static constexpr std::size_t kBufferSize = 40;
    // The buffer is handed over once fewer than this many bytes remain free.
    static constexpr std::size_t kFlushReserve = 4;

    explicit CKeySender(KeyPoster& poster) : m_poster(poster) {}

    // How Escape is sent, from the pipe's UnixEscKey setting at connect.
    void SetUnixEscKey(bool unixEscKey) { m_unixEscKey = unixEscKey; }
    bool UnixEscKey() const { return m_unixEscKey; }

    std::optional<KeyBytes> Translate(uint32_t virtualKey, KeyModifiers mods) const {
        return TranslateKey(virtualKey, mods, m_unixEscKey);
    }
    // Appends the key's bytes; false (nothing queued) when the key does not translate.
    bool QueueKey(uint32_t virtualKey, KeyModifiers mods);
    // Hands what is buffered to the sender thread as one message (written at once when it is idle).
    bool FlushKeys();
    // Drops what is buffered without sending it.
    void ClearBuffer() { m_count = 0; }
    std::size_t Buffered() const { return m_count; }

    // Flushes, then sends a copy of `bytes` as one raw write.
    bool SendBytes(std::span<const uint8_t> bytes);
    bool SendBytes(std::string_view bytes);
    // With `raw`, the 7-byte channel prefix and `text` as one block; else ESC [ * text LF.
    bool SendChannel0(std::string_view text, bool raw);
    bool SendChannel1(std::string_view text, bool raw);
    // When the key's bytes occur in `keyList`, sends ESC [ bytes LF on channel 0 (raw) and answers 1;
    // else -1.
    int32_t SendIfExitKey(std::string_view keyList, uint32_t virtualKey, KeyModifiers mods);

    // The pipe's channel writes and its prefix switch, kept in order with everything above.
    bool WriteChannel0(std::string_view bytes);
    bool WriteChannel1(std::string_view bytes);
    bool SetChannelPrefix(int32_t flag);

  private:
    bool SendChannel(const uint8_t (&prefix)[7], std::string_view text, bool raw);
    bool Post(SenderMessage::Op op, std::string_view bytes, int32_t flag = 0);

    KeyPoster& m_poster;
    uint8_t m_buffer[kBufferSize] = {};
    std::size_t m_count = 0;
    bool m_unixEscKey = false;
};

}  // namespace terminal
