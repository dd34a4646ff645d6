// The cancellable descriptor wait and the non-blocking connect built on it.
#include "platform/poll_wait.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

namespace platform {

using Clock = std::chrono::steady_clock;

WaitResult WaitForFd(const FdWait& wait) {
    const auto cancelled = [&wait] {
        return wait.cancelled != nullptr && wait.cancelled->load(std::memory_order_acquire);
    };
    const bool sliced = wait.cancelEvent < 0;
    std::array<pollfd, 3> fds{};
    fds[0] = {wait.fd, wait.events, 0};
    fds[1] = {wait.cancelEvent, POLLIN, 0};
    fds[2] = {wait.wakeEvent, POLLIN, 0};
    for (;;) {
        if (cancelled()) {
            return WaitResult::Cancelled;
        }
        int timeoutMs = -1;
        if (wait.deadline) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*wait.deadline - Clock::now());
            if (left.count() <= 0) {
                return WaitResult::TimedOut;
            }
            timeoutMs = static_cast<int>(std::min<int64_t>(left.count(), 1 << 30));
        }
        if (sliced) {
            const int slice = static_cast<int>(kCancelSlice.count());
            timeoutMs = timeoutMs < 0 ? slice : std::min(timeoutMs, slice);
        }
        const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WaitResult::Failed;
        }
        if (cancelled() || (fds[1].revents & POLLIN) != 0) {
            return WaitResult::Cancelled;
        }
        if (ready == 0) {
            if (sliced && wait.sliceEndsWait) {
                return WaitResult::Ready;
            }
            continue;  // the deadline check above decides
        }
        if ((fds[0].revents & POLLNVAL) != 0) {
            errno = EBADF;
            return WaitResult::Failed;
        }
        if ((fds[2].revents & POLLIN) != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wait.wakeEvent, &count, sizeof count);
            return WaitResult::Ready;
        }
        if (fds[0].revents != 0) {
            return WaitResult::Ready;
        }
    }
}

int ConnectNonBlocking(int fd, const sockaddr* address, socklen_t length, FdWait wait) {
    if (::connect(fd, address, length) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    wait.fd = fd;
    wait.events = POLLOUT;
    switch (WaitForFd(wait)) {
        case WaitResult::Ready:
            break;
        case WaitResult::Cancelled:
            return ECANCELED;
        case WaitResult::TimedOut:
            return ETIMEDOUT;
        case WaitResult::Failed:
            return errno != 0 ? errno : EIO;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return errno != 0 ? errno : EIO;
    }
    return error;
}

}  // namespace platform
