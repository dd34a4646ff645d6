// Events on eventfd: a descriptor that poll() sees readable once signalled, used to wake a thread that
// waits for a socket or pipe.
#pragma once

#include "platform/unique_fd.h"

namespace platform {

// A non-blocking, close-on-exec eventfd; empty when none could be made (descriptor exhaustion), which
// callers must survive.
UniqueFd MakeEventFd();
// Makes `event` readable; nothing when it is empty.
void SignalEvent(const UniqueFd& event);
// Makes `event` unreadable again; nothing when it is empty or was not signalled.
void DrainEvent(const UniqueFd& event);

}  // namespace platform
