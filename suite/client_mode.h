// The process-wide client mode: which registry branch (Varnel for remote, Ostrel for local) every reader of
// the Server and Screen keys uses. Set by every way into a session and by the key-presence probes.
#pragma once

#include <cstdint>

namespace suite {

enum class ClientMode : int32_t { Local = 0, Remote = 1 };

// Safe from any thread; the mode starts as Local.
ClientMode GetClientMode();
void SetClientMode(ClientMode mode);

}  // namespace suite
