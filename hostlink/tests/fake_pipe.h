// A pipe over scripted bytes for the framing tests: reads come from a script, writes are recorded, and
// either can be made to fail.
#pragma once

#include <cstring>
#include <string>

#include "hostlink/comm_pipe.h"

namespace hostlink::testing {

class ScriptedPipe : public CCommPipe {
  public:
    explicit ScriptedPipe(std::string input = {}) : CCommPipe(0), m_input(std::move(input)) {}

    bool Read(void* buffer, uint32_t count, uint32_t& bytesRead) override {
        if (m_readPos >= m_input.size()) {
            SetLastError(109);  // broken pipe
            bytesRead = 0;
            return false;
        }
        bytesRead = static_cast<uint32_t>(std::min<std::size_t>(count, m_input.size() - m_readPos));
        std::memcpy(buffer, m_input.data() + m_readPos, bytesRead);
        m_readPos += bytesRead;
        return true;
    }
    bool Open(PipeOwner*) override { return true; }
    void Close() override {}
    bool StartNewSession(std::string_view) override { return false; }
    std::string Describe() const override { return "scripted"; }
    void SetAppUser(int32_t, std::string_view) override {}
    platform::UniqueFd SaveState(bool) override { return {}; }
    bool LoadState(int, pid_t, std::optional<std::span<const uint8_t>>) override { return false; }
    void ApplyPractice(const practice::CPracticeConn&) override {}
    bool ParseOptions(PipeOwner*, std::string_view, bool) override { return true; }
    int32_t GetUnixEscKey() override { return 0; }

    std::string m_written;
    std::size_t m_readPos = 0;
    // The write with this index (0-based) fails with error 232.
    int m_failWrite = -1;
    int m_writes = 0;
    // What a try-write does: write the block, take nothing, or keep it for FinishWrite.
    TryWriteResult m_tryResult = TryWriteResult::Written;
    std::string m_started;  // a Started block, not yet on the wire

  protected:
    bool WriteBytes(const void* bytes, uint32_t count) override {
        if (m_writes++ == m_failWrite) {
            SetLastError(232);
            return false;
        }
        m_written.append(static_cast<const char*>(bytes), count);
        return true;
    }

    TryWriteResult TryWriteBytes(const void* bytes, uint32_t count) override {
        if (m_tryResult == TryWriteResult::Started) {
            m_started.assign(static_cast<const char*>(bytes), count);
            return m_tryResult;
        }
        if (m_tryResult == TryWriteResult::Written && !WriteBytes(bytes, count)) {
            return TryWriteResult::Failed;
        }
        return m_tryResult;
    }
    bool FinishBytes() override {
        m_written += m_started;
        m_started.clear();
        return true;
    }

  private:
    std::string m_input;
};

}  // namespace hostlink::testing
