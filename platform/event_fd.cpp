// eventfd signal and drain.
#include "platform/event_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace platform {

UniqueFd MakeEventFd() {
    return UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

void SignalEvent(const UniqueFd& event) {
    if (event) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(event.Get(), &one, sizeof one);
    }
}

void DrainEvent(const UniqueFd& event) {
    if (event) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(event.Get(), &count, sizeof count);
    }
}

}  // namespace platform
