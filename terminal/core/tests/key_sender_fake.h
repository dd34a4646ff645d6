// A poster that records what key senders post and carries each message out at once on a scripted pipe, as
// the sender thread would, so tests see both the messages and the bytes on the wire without a thread.
#pragma once

#include <string>
#include <vector>

#include "hostlink/tests/fake_pipe.h"
#include "terminal/core/key_sender.h"

namespace terminal::testing {

class ImmediatePoster : public KeyPoster {
  public:
    bool Post(SenderMessage message) override {
        if (m_refuse) {
            return false;
        }
        const auto count = static_cast<uint32_t>(message.bytes.size());
        switch (message.op) {
            case SenderMessage::Op::Write:
                m_pipe.Write(message.bytes.data(), count);
                break;
            case SenderMessage::Op::Channel0:
                m_pipe.WriteChannel0(message.bytes.data(), count);
                break;
            case SenderMessage::Op::Channel1:
                m_pipe.WriteChannel1(message.bytes.data(), count);
                break;
            case SenderMessage::Op::ChannelPrefix:
                m_pipe.SetChannelPrefix(message.flag);
                break;
            case SenderMessage::Op::FinishWrite:
                m_pipe.FinishWrite();
                break;
            case SenderMessage::Op::Stop:
                break;
        }
        m_messages.push_back(std::move(message));
        return true;
    }

    // What reached the wire since the last call.
    std::string TakeWire() {
        std::string wire = std::move(m_pipe.m_written);
        m_pipe.m_written.clear();
        return wire;
    }

    hostlink::testing::ScriptedPipe m_pipe;
    std::vector<SenderMessage> m_messages;
    bool m_refuse = false;
};

inline std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

}  // namespace terminal::testing
