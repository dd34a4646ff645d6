// A cancellable wait for one descriptor: poll() with a deadline, an owner's cancel (flag and eventfd) and an
// optional wake-up, and the non-blocking connect that waits that way. Shared by the host pipes, the TLS
// socket and the file transfer, so that every blocking wait of theirs can be cancelled the same way.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <optional>

namespace platform {

enum class WaitResult { Ready, TimedOut, Cancelled, Failed };

// Without a cancel eventfd (descriptor exhaustion) a wait looks at the cancel flag this often.
inline constexpr std::chrono::milliseconds kCancelSlice{100};

struct FdWait {
    int fd = -1;  // negative: only the deadline, a wake-up or a cancel end the wait
    short events = 0;
    // The owner's cancel: the flag is set before the eventfd is signalled, and either may be missing.
    // Without the eventfd the wait is cut into slices of kCancelSlice so that the flag is still seen.
    const std::atomic<bool>* cancelled = nullptr;
    int cancelEvent = -1;
    // An eventfd another thread signals when the caller should try again: drained, and the wait ends Ready.
    int wakeEvent = -1;
    std::optional<std::chrono::steady_clock::time_point> deadline{};
    // Without a cancel eventfd, a slice that passes ends the wait Ready: for a caller that retries its call
    // because the wake-up it relies on may be missing as well.
    bool sliceEndsWait = false;
};

// Ready when `fd` shows one of the events, hangs up or fails (the next call on it tells which). Failed, with
// errno set, when poll() fails or `fd` is no open descriptor (EBADF). Interrupted calls are resumed.
WaitResult WaitForFd(const FdWait& wait);

// connect() on a non-blocking socket, then a wait for its outcome as `wait` says (its fd and events are
// set here). 0 once connected; otherwise the errno value of the failure: the connection's own, ECANCELED
// on a cancel, ETIMEDOUT at the deadline, or that of the wait.
int ConnectNonBlocking(int fd, const sockaddr* address, socklen_t length, FdWait wait);

}  // namespace platform
