// Fuzzes the local-server records a peer on the bus may send: every record decodes or is refused, never
// read past its end, and one that decodes encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/automation/bus/wire.h"

namespace bus = platform::automation::bus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string again;
    if (auto reply = bus::DecodeReply(bytes)) {
        if (platform::automation::Failed(bus::EncodeReply(*reply, again)) || again != bytes) {
            std::abort();
        }
    }
    if (auto post = bus::DecodePost(bytes)) {
        if (platform::automation::Failed(bus::EncodePost(*post, again)) || !bus::DecodePost(again)) {
            std::abort();
        }
    }
    // Objects the peer names become nothing here: a record that names one is refused.
    if (auto request = bus::DecodeRequest(bytes, [](uint32_t) { return nullptr; })) {
        if (platform::automation::Failed(bus::EncodeRequest(*request, {}, again)) ||
            !bus::DecodeRequest(again, {})) {
            std::abort();
        }
    }
    return 0;
}
