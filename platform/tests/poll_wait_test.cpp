// The cancellable descriptor wait, the eventfd helpers and the non-blocking connect: what ends a wait and how
// each end is reported, including the cases without a cancel eventfd.
#include "platform/poll_wait.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/event_fd.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Pipe {
    Pipe() {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        read = UniqueFd(ends[0]);
        write = UniqueFd(ends[1]);
    }
    UniqueFd read;
    UniqueFd write;
};

bool Readable(const UniqueFd& fd) {
    pollfd one{fd.Get(), POLLIN, 0};
    return ::poll(&one, 1, 0) == 1 && (one.revents & POLLIN) != 0;
}

TEST(EventFd, SignalMakesReadableAndDrainClears) {
    const UniqueFd event = MakeEventFd();
    ASSERT_TRUE(event);
    EXPECT_FALSE(Readable(event));
    SignalEvent(event);
    SignalEvent(event);
    EXPECT_TRUE(Readable(event));
    DrainEvent(event);  // one drain takes every signal
    EXPECT_FALSE(Readable(event));
    DrainEvent(event);  // nothing to take: must not block
    EXPECT_FALSE(Readable(event));
    // The descriptor-exhaustion case: an empty event is ignored.
    SignalEvent(UniqueFd());
    DrainEvent(UniqueFd());
}

TEST(WaitForFd, ReadyOnDataOrHangUp) {
    Pipe data;
    ASSERT_EQ(::write(data.write.Get(), "x", 1), 1);
    EXPECT_EQ(WaitForFd({.fd = data.read.Get(), .events = POLLIN}), WaitResult::Ready);

    Pipe closed;
    closed.write.Reset();  // the next read tells the caller it is the end
    EXPECT_EQ(WaitForFd({.fd = closed.read.Get(), .events = POLLIN}), WaitResult::Ready);
}

TEST(WaitForFd, DeadlineEndsTheWait) {
    Pipe idle;
    const UniqueFd cancel = MakeEventFd();
    for (const int cancelEvent : {cancel.Get(), -1}) {  // sliced or not, the deadline decides
        const auto deadline = Clock::now() + 150ms;
        EXPECT_EQ(
            WaitForFd(
                {.fd = idle.read.Get(), .events = POLLIN, .cancelEvent = cancelEvent, .deadline = deadline}),
            WaitResult::TimedOut);
        EXPECT_GE(Clock::now(), deadline);
    }
    EXPECT_EQ(WaitForFd({.fd = -1, .deadline = Clock::now() - 1ms}), WaitResult::TimedOut);
}

TEST(WaitForFd, CancelFromAnotherThread) {
    // With the cancel eventfd the wait wakes at once; without it the flag is seen at the next slice.
    for (const bool withEvent : {true, false}) {
        SCOPED_TRACE(withEvent ? "with a cancel eventfd" : "without a cancel eventfd");
        Pipe idle;
        std::atomic<bool> cancelled{false};
        const UniqueFd cancel = withEvent ? MakeEventFd() : UniqueFd();
        std::thread canceller([&] {
            cancelled.store(true, std::memory_order_release);
            SignalEvent(cancel);
        });
        EXPECT_EQ(WaitForFd({.fd = idle.read.Get(),
                             .events = POLLIN,
                             .cancelled = &cancelled,
                             .cancelEvent = cancel.Get(),
                             .deadline = Clock::now() + 30s}),
                  WaitResult::Cancelled);
        canceller.join();
    }
}

TEST(WaitForFd, CancelWinsOverReadiness) {
    Pipe data;
    ASSERT_EQ(::write(data.write.Get(), "x", 1), 1);
    std::atomic<bool> cancelled{true};
    const UniqueFd cancel = MakeEventFd();
    EXPECT_EQ(
        WaitForFd(
            {.fd = data.read.Get(), .events = POLLIN, .cancelled = &cancelled, .cancelEvent = cancel.Get()}),
        WaitResult::Cancelled);
    // A signalled cancel event counts even before the flag is looked at again.
    cancelled.store(false);
    SignalEvent(cancel);
    EXPECT_EQ(WaitForFd({.fd = data.read.Get(), .events = POLLIN, .cancelEvent = cancel.Get()}),
              WaitResult::Cancelled);
}

TEST(WaitForFd, WakeEventEndsTheWaitReadyAndIsDrained) {
    Pipe idle;
    const UniqueFd cancel = MakeEventFd();
    const UniqueFd wake = MakeEventFd();
    std::thread waker([&] { SignalEvent(wake); });
    EXPECT_EQ(WaitForFd({.fd = idle.read.Get(),
                         .events = POLLIN,
                         .cancelEvent = cancel.Get(),
                         .wakeEvent = wake.Get(),
                         .deadline = Clock::now() + 30s}),
              WaitResult::Ready);
    waker.join();
    EXPECT_FALSE(Readable(wake));
}

TEST(WaitForFd, SliceEndsTheWaitOnlyWhenAskedAndWithoutCancelEvent) {
    Pipe idle;
    const UniqueFd cancel = MakeEventFd();
    const auto start = Clock::now();
    EXPECT_EQ(WaitForFd({.fd = idle.read.Get(), .events = POLLIN, .sliceEndsWait = true}), WaitResult::Ready);
    EXPECT_GE(Clock::now() - start, kCancelSlice);
    // With a cancel event there are no slices: only the deadline ends this wait.
    EXPECT_EQ(WaitForFd({.fd = idle.read.Get(),
                         .events = POLLIN,
                         .cancelEvent = cancel.Get(),
                         .deadline = Clock::now() + kCancelSlice * 2,
                         .sliceEndsWait = true}),
              WaitResult::TimedOut);
}

TEST(WaitForFd, ClosedDescriptorFailsWithEbadf) {
    errno = 0;
    EXPECT_EQ(WaitForFd({.fd = 999999, .events = POLLIN}), WaitResult::Failed);
    EXPECT_EQ(errno, EBADF);
}

// ---- Non-blocking connect ----

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

UniqueFd NonBlockingSocket() {
    return UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

// A loopback listener on a port the system chose.
struct Listener {
    explicit Listener(int backlog) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(fd.Get(), backlog), 0);
        EXPECT_EQ(::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
        port = ntohs(address.sin_port);
    }
    UniqueFd fd;
    uint16_t port = 0;
};

int Connect(const UniqueFd& socket, uint16_t port, FdWait wait = {}) {
    const sockaddr_in address = Loopback(port);
    return ConnectNonBlocking(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address,
                              wait);
}

// A listener whose queue is full drops further connection requests, so a connect to it waits for good.
struct HungConnect {
    HungConnect() : listener(0) {
        for (int n = 0; n < 3; ++n) {
            fillers.push_back(NonBlockingSocket());
            Connect(fillers.back(), listener.port, {.deadline = Clock::now()});
        }
    }
    Listener listener;
    std::vector<UniqueFd> fillers;
};

TEST(ConnectNonBlocking, ConnectsOrReportsTheRefusal) {
    Listener listener(4);
    const UniqueFd socket = NonBlockingSocket();
    EXPECT_EQ(Connect(socket, listener.port), 0);

    uint16_t unused = 0;
    {
        Listener gone(1);
        unused = gone.port;
    }
    const UniqueFd refused = NonBlockingSocket();
    EXPECT_EQ(Connect(refused, unused), ECONNREFUSED);
}

TEST(ConnectNonBlocking, DeadlineAndCancelEndAHungConnect) {
    HungConnect hung;
    const UniqueFd timed = NonBlockingSocket();
    EXPECT_EQ(Connect(timed, hung.listener.port, {.deadline = Clock::now() + 100ms}), ETIMEDOUT);

    std::atomic<bool> cancelled{false};
    const UniqueFd cancel = MakeEventFd();
    std::thread canceller([&] {
        cancelled.store(true, std::memory_order_release);
        SignalEvent(cancel);
    });
    const UniqueFd socket = NonBlockingSocket();
    EXPECT_EQ(Connect(socket, hung.listener.port,
                      {.cancelled = &cancelled, .cancelEvent = cancel.Get(), .deadline = Clock::now() + 30s}),
              ECANCELED);
    canceller.join();
}

}  // namespace
}  // namespace platform
