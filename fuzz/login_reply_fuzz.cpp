// Fuzzes what a login reads from the host before the session: the sync and the host's error reports in
// it. Any stream must end at its sync, in a host error with text of bounded length, or in a read error;
// never a crash or an unbounded text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hostlink/comm_pipe.h"
#include "hostlink/tests/fake_pipe.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    hostlink::testing::ScriptedPipe pipe(input);
    try {
        pipe.RecvSync();
        Check(pipe.m_readPos >= 1 && input[pipe.m_readPos - 1] == '~');
    } catch (const hostlink::CCommErr& error) {
        Check(error.m_remoteText.size() <= hostlink::CCommPipe::kMaxHostText);
        Check(error.m_remote == 0 || error.m_remoteText == error.UserText());
    }
    return 0;
}
