// The key sender: the 40-byte buffer and when it is handed over, the blocks each send makes, and the sender
// thread that writes them in order, whole, from several posting threads.
#include "terminal/core/key_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hostlink/tests/fake_pipe.h"
#include "terminal/core/tests/key_sender_fake.h"

namespace terminal {
namespace {

using testing::Bytes;
using testing::ImmediatePoster;
using Op = SenderMessage::Op;

const std::string kPrefix0("\x1b\\0\x01-1\x01", 7);
const std::string kPrefix1("\x1b\\1\x01-1\x01", 7);

std::string Repeat(std::string_view text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

TEST(KeySenderBuffer, HandedOverOnceFewerThanFourBytesRemainFree) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    for (int i = 0; i < 12; ++i) {
        ASSERT_TRUE(sender.QueueKey(vk::kLeft, {}));
    }
    EXPECT_EQ(sender.Buffered(), 36u);  // 4 bytes free: kept
    EXPECT_TRUE(poster.m_messages.empty());

    ASSERT_TRUE(sender.QueueKey(vk::kA, {}));  // 37 held: 3 free, handed over at once
    EXPECT_EQ(sender.Buffered(), 0u);
    ASSERT_EQ(poster.m_messages.size(), 1u);
    EXPECT_EQ(poster.m_messages[0], (SenderMessage{Op::Write, Bytes(Repeat("\x1b[D", 12) + "a"), 0}));

    for (int i = 0; i < 12; ++i) {
        sender.QueueKey(vk::kRight, {});
    }
    sender.FlushKeys();
    sender.FlushKeys();  // nothing held: nothing posted
    ASSERT_EQ(poster.m_messages.size(), 2u);
    EXPECT_EQ(poster.m_messages[1].bytes, Bytes(Repeat("\x1b[C", 12)));
}

TEST(KeySenderBuffer, UntranslatedKeysQueueNothing) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    EXPECT_FALSE(sender.QueueKey(vk::kF1 + 12, {}));
    EXPECT_FALSE(sender.QueueKey(vk::k0 + 2, {.ctrl = true}));
    EXPECT_FALSE(sender.QueueKey(0x1234, {}));
    EXPECT_EQ(sender.Buffered(), 0u);
    sender.FlushKeys();
    EXPECT_TRUE(poster.m_messages.empty());
}

TEST(KeySenderBuffer, ClearBufferDropsHeldKeys) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    sender.QueueKey(vk::kA, {});
    sender.ClearBuffer();
    sender.FlushKeys();
    EXPECT_TRUE(poster.m_messages.empty());
}

TEST(KeySenderSends, EverySendFlushesHeldKeysFirstAndIsOneBlock) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    const auto queueAb = [&] {
        sender.QueueKey(vk::kA, {});
        sender.QueueKey(vk::kA + 1, {});
    };
    queueAb();
    sender.SendBytes(std::string_view("xyz"));
    queueAb();
    sender.SendChannel0("\x1b[H", true);
    queueAb();
    sender.SendChannel1("text", true);
    queueAb();
    sender.SendChannel0("note", false);
    queueAb();
    sender.SetChannelPrefix(1);
    queueAb();
    sender.WriteChannel0("k");

    const std::vector<SenderMessage> expected = {
        {Op::Write, Bytes("ab"), 0}, {Op::Write, Bytes("xyz"), 0},
        {Op::Write, Bytes("ab"), 0}, {Op::Write, Bytes(kPrefix0 + "\x1b[H"), 0},
        {Op::Write, Bytes("ab"), 0}, {Op::Write, Bytes(kPrefix1 + "text"), 0},
        {Op::Write, Bytes("ab"), 0}, {Op::Write, Bytes("\x1b[*note\n"), 0},
        {Op::Write, Bytes("ab"), 0}, {Op::ChannelPrefix, {}, 1},
        {Op::Write, Bytes("ab"), 0}, {Op::Channel0, Bytes("k"), 0},
    };
    EXPECT_EQ(poster.m_messages, expected);
}

TEST(KeySenderSends, ChannelWritesFollowThePrefixSwitchInOrder) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    sender.WriteChannel0("a");
    sender.SetChannelPrefix(1);
    sender.WriteChannel0("b");
    sender.WriteChannel1("c");
    sender.SendBytes(std::string_view("d"));  // raw: never prefixed
    sender.SetChannelPrefix(0);
    sender.WriteChannel1("e");
    EXPECT_EQ(poster.TakeWire(), "a" + kPrefix0 + "b" + kPrefix1 + "c" + "d" + "e");
}

TEST(KeySenderSends, ExitKeysFoundInTheKeyList) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    const std::string keyList = "\x1b[D\x1b[C\x7f";
    EXPECT_EQ(sender.SendIfExitKey(keyList, vk::kLeft, {}), 1);
    EXPECT_EQ(sender.SendIfExitKey(keyList, vk::kDelete, {}), 1);
    EXPECT_EQ(sender.SendIfExitKey(keyList, vk::kUp, {}), -1);
    EXPECT_EQ(sender.SendIfExitKey(keyList, vk::kLeft, {.shift = true}), -1);  // not translated
    EXPECT_EQ(sender.SendIfExitKey("", vk::kLeft, {}), -1);
    EXPECT_EQ(poster.TakeWire(), kPrefix0 + "\x1b[\x1b[D\n" + kPrefix0 + "\x1b[\x7f\n");
}

TEST(KeySenderSends, EscapeFollowsTheUnixEscKeySetting) {
    ImmediatePoster poster;
    CKeySender sender(poster);
    sender.QueueKey(vk::kEscape, {});
    sender.SetUnixEscKey(true);
    sender.QueueKey(vk::kEscape, {});
    sender.FlushKeys();
    EXPECT_EQ(poster.TakeWire(), "\x1b\x31\x1b");
}

// Records refusals the thread logs.
struct LogRecorder {
    std::mutex mutex;
    std::vector<std::string> lines;
    CKeySenderThread::Logger Logger() {
        return [this](std::string_view line) {
            std::lock_guard lock(mutex);
            lines.emplace_back(line);
        };
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex);
        return lines;
    }
};

TEST(KeySenderThread, WritesWhatWasPostedBeforeStopAndRefusesAfter) {
    LogRecorder log;
    hostlink::testing::ScriptedPipe pipe;
    CKeySenderThread thread(log.Logger());
    EXPECT_FALSE(thread.Post({Op::Write, Bytes("early"), 0}));  // not started
    thread.Start(pipe);
    EXPECT_TRUE(thread.Running());
    CKeySender sender(thread);
    sender.WriteChannel0("a");
    sender.SetChannelPrefix(1);
    sender.WriteChannel0("b");
    sender.QueueKey(vk::kF1, {});
    sender.FlushKeys();
    EXPECT_FALSE(thread.Post({Op::Stop, {}, 0}));  // only Stop() ends the thread
    thread.Stop();
    EXPECT_FALSE(thread.Running());
    EXPECT_EQ(pipe.m_written, "a" + kPrefix0 + "b" + "\x1b[M");
    EXPECT_EQ(pipe.GetChannelPrefix(), 1);

    EXPECT_FALSE(thread.Post({Op::Write, Bytes("late"), 0}));
    thread.Stop();  // a second stop is harmless
    EXPECT_EQ(pipe.m_written, "a" + kPrefix0 + "b" + "\x1b[M");
    const std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Key sender: 5 bytes not sent (no sender thread running)");
    EXPECT_EQ(lines[2], "Key sender: 4 bytes not sent (no sender thread running)");

    // A reconnect starts it again on the new pipe.
    hostlink::testing::ScriptedPipe next;
    thread.Start(next);
    EXPECT_TRUE(thread.Post({Op::Write, Bytes("again"), 0}));
    thread.Stop();
    EXPECT_EQ(next.m_written, "again");
}

// Writes a byte at a time and yields between bytes, so that any write not under the pipe's lock would
// interleave (and race) with another.
class SlowPipe : public hostlink::testing::ScriptedPipe {
  protected:
    bool WriteBytes(const void* bytes, uint32_t count) override {
        const auto* p = static_cast<const char*>(bytes);
        for (uint32_t i = 0; i < count; ++i) {
            m_written.push_back(p[i]);
            std::this_thread::yield();
        }
        return true;
    }
};

TEST(KeySenderThread, SendsFromSeveralThreadsArriveWholeAndInOrder) {
    constexpr int kCount = 400;
    SlowPipe pipe;
    CKeySenderThread thread;
    thread.Start(pipe);
    const auto token = [](char who, int i) {
        char text[8];
        std::snprintf(text, sizeof text, "%c%03d.", who, i);
        return std::string(text);
    };
    std::thread rawSender([&] {
        CKeySender sender(thread);
        for (int i = 0; i < kCount; ++i) {
            sender.SendBytes(token('A', i));
        }
    });
    std::thread channelSender([&] {
        CKeySender sender(thread);
        for (int i = 0; i < kCount; ++i) {
            sender.SendChannel0(token('B', i), true);
        }
    });
    std::thread keySender([&] {
        CKeySender sender(thread);
        for (int i = 0; i < kCount; ++i) {
            sender.QueueKey(vk::kF1 + i % 12, {});
            sender.QueueKey(vk::kReturn, {});
            sender.FlushKeys();
        }
    });
    // A writer that bypasses the queue still cannot split a block: the pipe's write lock.
    std::thread directWriter([&] {
        for (int i = 0; i < kCount; ++i) {
            const std::string t = token('C', i);
            pipe.Write(t.data(), static_cast<uint32_t>(t.size()));
        }
    });
    rawSender.join();
    channelSender.join();
    keySender.join();
    directWriter.join();
    thread.Stop();

    const std::string& wire = pipe.m_written;
    std::map<char, int> next;
    int keys = 0;
    std::size_t at = 0;
    while (at < wire.size()) {
        if (wire.compare(at, kPrefix0.size(), kPrefix0) == 0) {
            at += kPrefix0.size();
            ASSERT_EQ(wire[at], 'B') << "channel block split at " << at;
        } else if (wire[at] == '\x1b') {
            ASSERT_GE(wire.size(), at + 4);
            const char expected = static_cast<char>("MNOPQRSTUVWX"[keys % 12]);
            ASSERT_EQ(wire.substr(at, 4), std::string("\x1b[") + expected + "\r") << "key block at " << at;
            ++keys;
            at += 4;
            continue;
        }
        ASSERT_GE(wire.size(), at + 5);
        const char who = wire[at];
        ASSERT_TRUE(who == 'A' || who == 'B' || who == 'C') << "stray byte at " << at;
        ASSERT_EQ(wire.substr(at, 5), token(who, next[who])) << "at " << at;
        ++next[who];
        at += 5;
    }
    EXPECT_EQ(next['A'], kCount);
    EXPECT_EQ(next['B'], kCount);
    EXPECT_EQ(next['C'], kCount);
    EXPECT_EQ(keys, kCount);
}

// Holds writes until released (a queue can be filled behind a stuck one).
class HeldPipe : public hostlink::testing::ScriptedPipe {
  public:
    explicit HeldPipe(bool hold = true) : m_released(!hold) {}
    bool WaitEntered() {
        std::unique_lock lock(m_mutex);
        return m_gate.wait_for(lock, std::chrono::seconds(60), [this] { return m_entered; });
    }
    void Release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_gate.notify_all();
    }

  protected:
    bool WriteBytes(const void* bytes, uint32_t count) override {
        {
            std::unique_lock lock(m_mutex);
            m_entered = true;
            m_gate.notify_all();
            m_gate.wait(lock, [this] { return m_released; });
        }
        return ScriptedPipe::WriteBytes(bytes, count);
    }

  private:
    std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_entered = false;
    bool m_released;
};

TEST(KeySenderThread, QueueBehindAStuckPipeIsCappedAndRefusalsLogged) {
    LogRecorder log;
    HeldPipe pipe;
    CKeySenderThread thread(log.Logger());
    thread.Start(pipe);
    ASSERT_TRUE(thread.Post({Op::Write, Bytes("x"), 0}));
    ASSERT_TRUE(pipe.WaitEntered());
    for (std::size_t i = 0; i < CKeySenderThread::kMaxQueued; ++i) {
        ASSERT_TRUE(thread.Post({Op::Write, Bytes("y"), 0}));
    }
    EXPECT_FALSE(thread.Post({Op::Write, Bytes("zz"), 0}));
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"Key sender: 2 bytes not sent (queue full)"});
    pipe.Release();
    thread.Stop();  // the stop message gets in however full the queue is
    EXPECT_EQ(pipe.m_written, "x" + std::string(CKeySenderThread::kMaxQueued, 'y'));
}

// ---- Writes made at once by the caller ----

TEST(KeySenderThread, AnIdleThreadLeavesSmallBlocksToTheCaller) {
    hostlink::testing::ScriptedPipe pipe;
    CKeySenderThread thread;
    thread.Start(pipe);
    CKeySender sender(thread);
    sender.QueueKey(vk::kA, {});
    sender.FlushKeys();
    EXPECT_EQ(pipe.m_written, "a") << "on the wire before the flush returned";
    sender.SendChannel0("x", true);
    EXPECT_EQ(pipe.m_written, "a" + kPrefix0 + "x");
    const CKeySenderThread::Counts counts = thread.GetCounts();
    EXPECT_EQ(counts.direct, 2u);
    EXPECT_EQ(counts.queued, 0u);
    thread.Stop();
    EXPECT_EQ(pipe.m_written, "a" + kPrefix0 + "x");
}

// Whatever holds the pipe, later blocks go behind it through the thread, and the wire keeps their order.
struct QueueCase {
    const char* name;
    bool holdFirstWrite;     // a write the thread is carrying out when the keys come
    std::size_t firstBlock;  // the size of the block that comes first
    hostlink::TryWriteResult tryResult = hostlink::TryWriteResult::Written;  // what a try-write does
};

void PrintTo(const QueueCase& c, std::ostream* out) {
    *out << c.name;
}

class KeySenderQueueTest : public ::testing::TestWithParam<QueueCase> {};

TEST_P(KeySenderQueueTest, LaterBlocksQueueBehindAndKeepTheirOrder) {
    const QueueCase& c = GetParam();
    HeldPipe pipe(c.holdFirstWrite);
    pipe.m_tryResult = c.tryResult;
    CKeySenderThread thread;
    thread.Start(pipe);
    CKeySender keys(thread);
    CKeySender field(thread);
    const std::string first(c.firstBlock, '#');
    if (c.holdFirstWrite) {
        // A big block is the thread's to write even when it is idle: Send returns while it waits.
        ASSERT_TRUE(c.firstBlock > CKeySenderThread::kDirectMax ? keys.SendBytes(first)
                                                                : thread.Post({Op::Write, Bytes(first), 0}));
        ASSERT_TRUE(pipe.WaitEntered());
    } else {
        ASSERT_TRUE(keys.SendBytes(first));
        pipe.m_tryResult = hostlink::TryWriteResult::NotWritten;  // and from now on takes nothing at once
    }
    std::string expected = first;
    for (int i = 0; i < 10; ++i) {
        keys.QueueKey(vk::kA + static_cast<uint32_t>(i), {});
        keys.FlushKeys();
        field.SendChannel0(std::to_string(i), true);
        expected += std::string(1, static_cast<char>('a' + i)) + kPrefix0 + std::to_string(i);
    }
    const bool direct = !c.holdFirstWrite && c.tryResult != hostlink::TryWriteResult::NotWritten;
    EXPECT_EQ(thread.GetCounts().direct, direct ? 1u : 0u)
        << "nothing may be written at once while a write is under way or waits in the queue";
    pipe.Release();
    thread.Stop();
    EXPECT_EQ(pipe.m_written, expected);
    EXPECT_GE(thread.GetCounts().queued, 20u);
}

INSTANTIATE_TEST_SUITE_P(KeySenderThread, KeySenderQueueTest,
                         ::testing::Values(QueueCase{"BehindAWriteTheThreadCarriesOut", true, 1},
                                           QueueCase{"BehindABlockTooBigToWriteAtOnce", true,
                                                     CKeySenderThread::kDirectMax + 1},
                                           QueueCase{"BehindABlockThePipeDidNotTake", false, 1,
                                                     hostlink::TryWriteResult::NotWritten},
                                           QueueCase{"BehindABlockThePipeBeganAndTheThreadFinishes", false, 1,
                                                     hostlink::TryWriteResult::Started}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same sends through the caller's write with its span, the caller's write with a message it owns, and
// the thread alone: whatever the pipe does with a write that must not wait, the wire is the same.
struct SendPathCase {
    const char* name;
    hostlink::TryWriteResult tryResult;
    bool ownedMessages;  // Send with a SenderMessage, else SendRaw with the bytes alone
};

void PrintTo(const SendPathCase& c, std::ostream* out) {
    *out << c.name;
}

class KeySenderPathTest : public ::testing::TestWithParam<SendPathCase> {};

// Keys, replies, channel blocks and a prefix switch, as a session sends them; `raw` stands for the way
// a raw block reaches the poster.
void SendMixedTraffic(KeyPoster& poster, const std::function<void(std::string_view)>& raw) {
    CKeySender keys(poster);
    CKeySender field(poster);
    for (int i = 0; i < 6; ++i) {
        keys.QueueKey(vk::kA + static_cast<uint32_t>(i), {});
        keys.QueueKey(vk::kF1 + static_cast<uint32_t>(i), {.shift = i % 2 == 1});
        keys.FlushKeys();
        raw("r" + std::to_string(i));
        field.SendChannel0("f" + std::to_string(i), i % 2 == 0);
        if (i == 3) {
            field.SetChannelPrefix(1);
        }
        field.WriteChannel1("c");
    }
    for (int i = 0; i < 13; ++i) {
        keys.QueueKey(vk::kLeft, {});  // the last one overflows the buffer into a block of its own
    }
    keys.FlushKeys();
    raw(std::string(CKeySenderThread::kDirectMax, '+'));
    raw(std::string(CKeySenderThread::kDirectMax + 1, '-'));
}

TEST_P(KeySenderPathTest, TheWireIsTheOneTheThreadAloneWrites) {
    const SendPathCase& c = GetParam();
    ImmediatePoster reference;
    SendMixedTraffic(reference, [&](std::string_view bytes) { reference.Post({Op::Write, Bytes(bytes), 0}); });
    const std::string expected = reference.TakeWire();

    hostlink::testing::ScriptedPipe pipe;
    pipe.m_tryResult = c.tryResult;
    CKeySenderThread thread;
    thread.Start(pipe);
    SendMixedTraffic(thread, [&](std::string_view bytes) {
        if (c.ownedMessages) {
            thread.Send({Op::Write, Bytes(bytes), 0});
        } else {
            thread.SendRaw({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
        }
    });
    thread.Stop();
    EXPECT_EQ(pipe.m_written, expected);
    EXPECT_EQ(pipe.GetChannelPrefix(), 1);
    // Both ways were taken: otherwise the comparison proves nothing about the one left out.
    EXPECT_GT(thread.GetCounts().queued, 0u);
    if (c.tryResult != hostlink::TryWriteResult::NotWritten) {
        EXPECT_GT(thread.GetCounts().direct, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    KeySenderThread, KeySenderPathTest,
    ::testing::Values(SendPathCase{"TakenAtOnceFromASpan", hostlink::TryWriteResult::Written, false},
                      SendPathCase{"TakenAtOnceFromAMessage", hostlink::TryWriteResult::Written, true},
                      SendPathCase{"LeftToTheThreadFromASpan", hostlink::TryWriteResult::NotWritten, false},
                      SendPathCase{"LeftToTheThreadFromAMessage", hostlink::TryWriteResult::NotWritten, true},
                      SendPathCase{"BegunAndFinishedByTheThreadFromASpan", hostlink::TryWriteResult::Started,
                                   false},
                      SendPathCase{"BegunAndFinishedByTheThreadFromAMessage",
                                   hostlink::TryWriteResult::Started, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace terminal
