// Storage of the process-wide client mode.
#include "suite/client_mode.h"

#include <atomic>

namespace suite {

namespace {
std::atomic<ClientMode> g_clientMode{ClientMode::Local};
}  // namespace

ClientMode GetClientMode() {
    return g_clientMode.load(std::memory_order_acquire);
}

void SetClientMode(ClientMode mode) {
    g_clientMode.store(mode, std::memory_order_release);
}

}  // namespace suite
