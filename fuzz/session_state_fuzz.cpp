// Fuzzes the hand-over records a new window reads: the local and remote session states and the detach
// record. Any bytes must load or be refused without a crash, and what loaded must write back as a record
// that loads to the same settings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "hostlink/local_pipe.h"
#include "hostlink/remote_pipe.h"
#include "platform/byte_order.h"
#include "terminal/control/detach_record.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void LocalState(std::span<const uint8_t> bytes) {
    const auto state = hostlink::LocalSessionState::FromRecord(bytes);
    Check(state.has_value() == (bytes.size() >= hostlink::LocalSessionState::kSize));
    if (!state) {
        return;
    }
    const hostlink::LocalSessionState::Bytes record = state->ToRecord();
    const auto again = hostlink::LocalSessionState::FromRecord(record);
    Check(again && again->ToRecord() == record);
}

void RemoteState(std::span<const uint8_t> bytes) {
    std::vector<uint8_t> record(bytes.begin(), bytes.end());
    if (record.size() >= hostlink::remote_state::kSize) {
        // A socket number names a connection this process would adopt; none is left here.
        platform::StoreLittleEndian(&record[hostlink::remote_state::kSocket], int32_t{-1});
    }
    hostlink::CRemotePipe pipe;
    const bool loaded = pipe.LoadState(-1, 0, std::span<const uint8_t>(record));
    Check(loaded == (record.size() >= hostlink::remote_state::kSize));
}

void Detach(std::span<const uint8_t> bytes) {
    if (bytes.size() < terminal::DetachRecord::kSize) {
        return;
    }
    std::array<uint8_t, terminal::DetachRecord::kSize> fixed{};
    std::copy_n(bytes.begin(), fixed.size(), fixed.begin());
    const terminal::DetachRecord record = terminal::DetachRecord::FromBytes(fixed);
    Check(terminal::DetachRecord::FromBytes(record.ToBytes()) == record);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    LocalState(bytes);
    RemoteState(bytes);
    Detach(bytes);
    return 0;
}
