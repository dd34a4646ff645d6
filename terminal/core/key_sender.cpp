// The key buffer and the sender thread. Session bytes are written by the thread, or tried by a Send caller
// while the thread has nothing to do and nothing can start meanwhile, so the order of posting is the order
// on the wire; the pipe's write lock keeps each block whole.
#include "terminal/core/key_sender.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "hostlink/comm_pipe.h"

namespace terminal {

CKeySenderThread::CKeySenderThread(Logger logger) : m_logger(std::move(logger)) {}

CKeySenderThread::~CKeySenderThread() {
    Stop();
}

void CKeySenderThread::Log(std::string_view text) const {
    if (m_logger) {
        m_logger(text);
        return;
    }
    std::string line(text);
    line += "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void CKeySenderThread::Start(hostlink::CCommPipe& pipe) {
    std::lock_guard life(m_lifeMutex);
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({SenderMessage::Op::Stop, {}, 0});
            m_accepting = false;
            m_pipe = nullptr;
        }
        m_ready.notify_one();
        m_thread.join();
    }
    {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
        m_accepting = true;
        m_pipe = &pipe;
    }
    m_thread = std::thread(&CKeySenderThread::Run, this, &pipe);
}

void CKeySenderThread::Stop() {
    std::lock_guard life(m_lifeMutex);
    if (!m_thread.joinable()) {
        return;
    }
    const bool self = m_thread.get_id() == std::this_thread::get_id();
    {
        std::lock_guard lock(m_mutex);
        // The stop message is never refused, however full the queue is.
        m_queue.push_back({SenderMessage::Op::Stop, {}, 0});
        m_accepting = false;
        m_pipe = nullptr;
    }
    if (self) {
        // Joining itself would never return; the stop message still ends the loop.
        Log("Key sender: Stop called on the sender thread, not joined");
        return;
    }
    m_ready.notify_one();
    m_thread.join();
}

bool CKeySenderThread::Running() const {
    std::lock_guard lock(m_mutex);
    return m_accepting;
}

CKeySenderThread::Counts CKeySenderThread::GetCounts() const {
    std::lock_guard lock(m_mutex);
    return m_counts;
}

bool CKeySenderThread::Post(SenderMessage message) {
    const char* refusal = nullptr;
    {
        std::lock_guard lock(m_mutex);
        if (message.op == SenderMessage::Op::Stop) {
            refusal = "stop is for Stop()";
        } else if (!m_accepting) {
            refusal = "no sender thread running";
        } else if (m_queue.size() >= kMaxQueued) {
            refusal = "queue full";
        } else {
            m_queue.push_back(std::move(message));
        }
    }
    if (refusal != nullptr) {
        Log("Key sender: " + std::to_string(message.bytes.size()) + " bytes not sent (" + refusal + ")");
        return false;
    }
    m_ready.notify_one();
    return true;
}

bool CKeySenderThread::Send(SenderMessage message) {
    if (message.op != SenderMessage::Op::Write) {
        return Post(std::move(message));
    }
    const std::vector<uint8_t>& bytes = message.bytes;
    return SendWrite(bytes, &message);
}

bool CKeySenderThread::SendRaw(std::span<const uint8_t> bytes) {
    return SendWrite(bytes, nullptr);
}

bool CKeySenderThread::SendWrite(std::span<const uint8_t> bytes, SenderMessage* owned) {
    const auto keep = [&] {
        return owned != nullptr ? std::move(*owned)
                                : SenderMessage{SenderMessage::Op::Write, {bytes.begin(), bytes.end()}, 0};
    };
    std::unique_lock lock(m_mutex);
    if (!m_accepting || !m_queue.empty() || m_writing || bytes.size() > kDirectMax) {
        lock.unlock();
        return Post(keep());
    }
    // Nothing is ahead of this block. The lock is held across the try, which never waits: the thread takes
    // nothing from the queue meanwhile, whatever is posted meanwhile goes out after it, and the key costs
    // one lock, not one before the try and one after.
    switch (m_pipe->TryWrite(bytes.data(), static_cast<uint32_t>(bytes.size()))) {
        case hostlink::TryWriteResult::NotWritten:
            // Copied only in the rare case that the block must wait.
            m_queue.push_front(keep());
            break;
        case hostlink::TryWriteResult::Started:
            m_queue.push_front({SenderMessage::Op::FinishWrite, {}, 0});
            ++m_counts.direct;
            break;
        case hostlink::TryWriteResult::Written:
        case hostlink::TryWriteResult::Failed:  // the pipe's to report: the reader sees the break
            ++m_counts.direct;
            break;
    }
    const bool queued = !m_queue.empty();
    lock.unlock();
    // With nothing queued the thread has nothing to do, and waking it would cost the key a switch to it
    // and back.
    if (queued) {
        m_ready.notify_one();
    }
    return true;
}

void CKeySenderThread::Write(hostlink::CCommPipe& pipe, const SenderMessage& message) {
    const auto count = static_cast<uint32_t>(message.bytes.size());
    // A failed write is the pipe's to report: the reader sees the broken connection.
    switch (message.op) {
        case SenderMessage::Op::Write:
            pipe.Write(message.bytes.data(), count);
            break;
        case SenderMessage::Op::Channel0:
            pipe.WriteChannel0(message.bytes.data(), count);
            break;
        case SenderMessage::Op::Channel1:
            pipe.WriteChannel1(message.bytes.data(), count);
            break;
        case SenderMessage::Op::ChannelPrefix:
            pipe.SetChannelPrefix(message.flag);
            break;
        case SenderMessage::Op::FinishWrite:
            pipe.FinishWrite();
            break;
        case SenderMessage::Op::Stop:
            break;
    }
}

void CKeySenderThread::Run(hostlink::CCommPipe* pipe) {
    for (;;) {
        SenderMessage message;
        {
            std::unique_lock lock(m_mutex);
            m_ready.wait(lock, [this] { return !m_queue.empty(); });
            message = std::move(m_queue.front());
            m_queue.pop_front();
            if (message.op == SenderMessage::Op::Stop) {
                return;
            }
            m_writing = true;
        }
        Write(*pipe, message);
        std::lock_guard lock(m_mutex);
        m_writing = false;
        ++m_counts.queued;
    }
}

bool CKeySender::QueueKey(uint32_t virtualKey, KeyModifiers mods) {
    const std::optional<KeyBytes> key = Translate(virtualKey, mods);
    if (!key) {
        return false;
    }
    if (m_count + key->length > kBufferSize) {
        FlushKeys();
    }
    std::memcpy(m_buffer + m_count, key->bytes.data(), key->length);
    m_count += key->length;
    if (m_count + kFlushReserve > kBufferSize) {
        FlushKeys();
    }
    return true;
}

bool CKeySender::FlushKeys() {
    if (m_count == 0) {
        return true;
    }
    const std::span<const uint8_t> held(m_buffer, m_count);
    m_count = 0;
    return m_poster.SendRaw(held);
}

bool CKeySender::Post(SenderMessage::Op op, std::string_view bytes, int32_t flag) {
    const bool flushed = FlushKeys();
    const bool posted =
        op == SenderMessage::Op::Write
            ? m_poster.SendRaw({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()})
            : m_poster.Send({op, std::vector<uint8_t>(bytes.begin(), bytes.end()), flag});
    return flushed && posted;
}

bool CKeySender::SendBytes(std::span<const uint8_t> bytes) {
    return SendBytes(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool CKeySender::SendBytes(std::string_view bytes) {
    if (bytes.empty()) {
        return FlushKeys();
    }
    return Post(SenderMessage::Op::Write, bytes);
}

bool CKeySender::SendChannel(const uint8_t (&prefix)[7], std::string_view text, bool raw) {
    std::string block;
    if (raw) {
        // Prefix and text travel as one block so that no other write can come between them.
        block.assign(reinterpret_cast<const char*>(prefix), sizeof prefix);
        block += text;
    } else {
        block = "\x1b[*";
        block += text;
        block += '\n';
    }
    return Post(SenderMessage::Op::Write, block);
}

bool CKeySender::SendChannel0(std::string_view text, bool raw) {
    return SendChannel(hostlink::CCommPipe::kChannel0Prefix, text, raw);
}

bool CKeySender::SendChannel1(std::string_view text, bool raw) {
    return SendChannel(hostlink::CCommPipe::kChannel1Prefix, text, raw);
}

int32_t CKeySender::SendIfExitKey(std::string_view keyList, uint32_t virtualKey, KeyModifiers mods) {
    const std::optional<KeyBytes> key = Translate(virtualKey, mods);
    if (!key || keyList.find(key->View()) == std::string_view::npos) {
        return -1;
    }
    std::string text = "\x1b[";
    text += key->View();
    text += '\n';
    SendChannel0(text, true);
    return 1;
}

bool CKeySender::WriteChannel0(std::string_view bytes) {
    return Post(SenderMessage::Op::Channel0, bytes);
}

bool CKeySender::WriteChannel1(std::string_view bytes) {
    return Post(SenderMessage::Op::Channel1, bytes);
}

bool CKeySender::SetChannelPrefix(int32_t flag) {
    return Post(SenderMessage::Op::ChannelPrefix, {}, flag);
}

}  // namespace terminal
