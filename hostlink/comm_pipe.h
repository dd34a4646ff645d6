// The connection to the host program as one abstraction: a byte pipe with the text framing the login
// sequences use (lines, integer lines, formatted text, the host's synchronisation byte and its error
// reports), and the error type the framing throws. CLocalPipe and CRemotePipe implement it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/fixed_text.h"
#include "hostlink/pipe_owner.h"
#include "platform/unique_fd.h"

namespace practice {
class CPracticeConn;
}

namespace hostlink {

// Bits of the pipes' flags, as the login line carries them.
namespace flags {
inline constexpr int32_t kBillingServer = 0x2;
inline constexpr int32_t kMso = 0x4;
inline constexpr int32_t kRunCommand = 0x8;
inline constexpr int32_t kWan = 0x10;
inline constexpr int32_t kServerWithoutS = 0x20;  // -b or -m given without the letter s
inline constexpr int32_t kOnWire = 0x80;
inline constexpr int32_t kFromDesktop = 0x100;
inline constexpr int32_t kPipeLogin = 0x10000;
}  // namespace flags

// Session modes of both pipes.
namespace session_mode {
inline constexpr int32_t kNew = 0;
inline constexpr int32_t kFurtherWindow = 1;
inline constexpr int32_t kAfterSwitch = 2;
inline constexpr int32_t kAfterHostChange = 3;
}  // namespace session_mode

// How a write that must not wait went.
enum class TryWriteResult {
    Written,     // the whole block is on its way
    NotWritten,  // nothing was taken: the block is still the caller's to write later
    Started,     // the transport took the block but could not finish it at once: FinishWrite must, before
                 // any other byte goes out (every Write does it first)
    Failed,      // the connection failed; LastError says why
};

// The hand-over records sit behind an optional header of this size.
inline constexpr std::size_t kStateHeaderSize = 80;

class CCommErr {
  public:
    CCommErr() = default;
    CCommErr(int32_t error, int32_t remote, std::string remoteText, std::string source)
        : m_error(error),
          m_remote(remote),
          m_remoteText(std::move(remoteText)),
          m_source(std::move(source)) {}

    // The text the login code shows in its message box.
    std::string UserText() const;

    int32_t m_error = 0;
    int32_t m_remote = 0;
    std::string m_remoteText;
    std::string m_source;
};

class CCommPipe {
  public:
    static constexpr uint8_t kChannel0Prefix[7] = {0x1B, 0x5C, 0x30, 0x01, 0x2D, 0x31, 0x01};
    static constexpr uint8_t kChannel1Prefix[7] = {0x1B, 0x5C, 0x31, 0x01, 0x2D, 0x31, 0x01};
    // XmitFormat and XmitInteger format into this many bytes (terminator included).
    static constexpr std::size_t kFormatBufferSize = 512;

    CCommPipe(const CCommPipe&) = delete;
    CCommPipe& operator=(const CCommPipe&) = delete;
    virtual ~CCommPipe() = default;

    // Bytes read into `buffer` (at most `count`); false when the read failed or the host closed the pipe.
    // Only the reader thread reads once a session runs.
    virtual bool Read(void* buffer, uint32_t count, uint32_t& bytesRead) = 0;
    // Brings the reader out of Read without ending the session, so that another thread may read on: the
    // Read waiting now, or else the next Read to begin, fails with LastError 995 and takes no byte. A Read
    // that has already taken bytes returns them and leaves the wake to the next one. Wakes that no Read
    // has taken yet count as one. Safe from any thread while another reads; it closes nothing. The base,
    // for a pipe that has no such wake, closes the pipe: the reader still comes out, but the session ends.
    virtual void WakeReader();
    // What the reader runs just before a Read waits for the host, on the reader's thread: there it passes
    // on what it has read, so that it need not wake the user-interface thread for every block. Only a
    // pipe whose CallsBeforeReadWait is true runs it. Set while no Read runs.
    void SetBeforeReadWait(std::function<void()> hook) { m_beforeReadWait = std::move(hook); }
    virtual bool CallsBeforeReadWait() const { return false; }
    // Writes the whole block. Every write of every thread goes through here, one at a time, so blocks
    // never interleave.
    bool Write(const void* bytes, uint32_t count);
    // Writes the whole block now or, where it cannot without waiting for the host, leaves it (NotWritten)
    // or hands it to the transport to finish (Started). Never waits for the host or for another writer.
    // A pipe that only passes its writes on to another may pass this and FinishWrite on whole: that
    // pipe's own write lock keeps the blocks apart.
    virtual TryWriteResult TryWrite(const void* bytes, uint32_t count);
    // Finishes what a Started TryWrite began, waiting as Write does; true when nothing is left over.
    virtual bool FinishWrite();
    virtual bool Open(PipeOwner* owner) = 0;
    virtual void Close() = 0;
    virtual bool StartNewSession(std::string_view runText) = 0;
    virtual void SetDataSet(std::string_view /*dataSet*/) {}
    virtual void SwitchMsoSession(std::string_view /*s1*/, std::string_view /*s2*/, std::string_view /*s3*/) {
    }
    virtual void SwitchBillingSession(std::string_view /*s1*/, std::string_view /*s2*/,
                                      std::string_view /*s3*/, std::string_view /*s4*/) {}
    virtual void SetHost(std::string_view /*host*/) {}
    virtual std::string Describe() const = 0;
    virtual void SetAppUser(int32_t user, std::string_view password) = 0;
    // The block behind the channel prefix when the flag is set; prefix and block go out as one write.
    virtual bool WriteChannel0(const void* bytes, uint32_t count);
    virtual bool WriteChannel1(const void* bytes, uint32_t count);
    virtual void SetChannelPrefix(int32_t flag) { m_channelPrefix = flag; }
    // The session-state record in a new inheritable mapping; the fd (its handle value) or an invalid fd.
    virtual platform::UniqueFd SaveState(bool withHeader) = 0;
    // Adopts a session-state record: from `record` when given (already mapped and checked by the caller,
    // who keeps its handle), else from mapping handle `handle` of this process, which is then closed, or of
    // process `processId` when this process does not hold it.
    virtual bool LoadState(int handle, pid_t processId, std::optional<std::span<const uint8_t>> record) = 0;
    virtual void ApplyPractice(const practice::CPracticeConn& conn) = 0;
    // 1 (true) on success, 0 at an unknown token.
    virtual bool ParseOptions(PipeOwner* owner, std::string_view text, bool keep) = 0;
    virtual int32_t GetUnixEscKey() = 0;
    // The last error code of this thread's last failed transport call (Win32 or socket codes).
    virtual int32_t LastError() const;

    int32_t GetChannelPrefix() const { return m_channelPrefix; }
    // Whether a Write is under way: a teardown tells a write that the host does not take, which only
    // ending the session frees, from a reader that waits.
    bool WriteInProgress() const { return m_writing.load(std::memory_order_acquire); }
    bool IsRemote() const { return m_remote != 0; }
    // A host report's text is kept up to this length; the rest, up to its 0x01, is read and dropped.
    static constexpr std::size_t kMaxHostText = 1024;

    // Framing; each throws CCommErr on failure.
    void XmitString(std::optional<std::string_view> text);
    void XmitInteger(int32_t value);
    void XmitFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void RecvSync();
    void ParseRemoteError();

    // Base fields.
    FixedText<80> m_terminalId;
    int32_t m_remote = 0;
    int32_t m_channelPrefix = 0;
    int32_t m_BillServID = 0;
    PipeOwner* m_owner = nullptr;

  protected:
    explicit CCommPipe(int32_t remote) : m_remote(remote) {}

    void BeforeReadWait() const {
        if (m_beforeReadWait) {
            m_beforeReadWait();
        }
    }
    // The transport's write of one whole block; called with the write lock held.
    virtual bool WriteBytes(const void* bytes, uint32_t count) = 0;
    // The transport's try-write, with the write lock held; a transport without one takes nothing.
    virtual TryWriteResult TryWriteBytes(const void* /*bytes*/, uint32_t /*count*/) {
        return TryWriteResult::NotWritten;
    }
    // Finishes a Started try-write, with the write lock held.
    virtual bool FinishBytes() { return true; }
    static void SetLastError(int32_t code);

    bool DebugOn() const { return m_owner != nullptr && m_owner->Debug(); }
    // A diagnostic line: the debug log when the owner's Debug is on, else standard error.
    void LogLine(std::string_view text) const;
    // Appends one byte of a host report's text within kMaxHostText; the first byte dropped is logged.
    void AppendHostText(std::string& text, uint8_t byte, bool& cut, std::string_view what) const;
    // Bounded copy into a settings field; over-long text is cut and logged with the field's name.
    template <std::size_t N>
    void CopyField(FixedText<N>& field, std::string_view text, std::string_view what) const {
        if (!field.Assign(text)) {
            LogLine(std::string(what) + ": text longer than " + std::to_string(N - 1) + " characters, cut");
        }
    }

  private:
    bool WriteWithPrefix(const uint8_t (&prefix)[7], const void* bytes, uint32_t count);
    // With the write lock held: finishes a Started try-write first, so nothing overtakes it.
    bool FinishStarted();
    uint8_t ReadOneByte(const char* source);

    std::mutex m_writeMutex;
    bool m_started = false;              // a try-write is Started and not finished; under m_writeMutex
    std::atomic<bool> m_writing{false};  // set under m_writeMutex
    std::function<void()> m_beforeReadWait;
};

// Option parsing shared by both pipes.
namespace options {
// The tokens of `text` (blanks and tabs separate), cut to 511 bytes as the pipes' option buffer holds;
// an empty text means this process's arguments.
std::vector<std::string> SplitTokens(std::string_view text);
// The decimal number at the start of `text` (optional blanks and sign first), 0 when there is none;
// clamped to the int32 range.
int32_t DecimalPrefix(std::string_view text);
}  // namespace options

// The version numbers sent to the host: VARNELVER for the local host program (major part times 1000
// plus the low byte of the build), and the login line's "%.2d%.2d%.2d%.3d" number.
int32_t VarnelVersionNumber();
int32_t LoginVersionNumber();

// Hand-over mappings: a new mapping holding the optional 80-byte header `header` (zero-padded) and
// `record`; failures are shown ("Error Creating File Mapping", "Error Mapping View") and give an invalid fd.
platform::UniqueFd CreateStateMapping(std::string_view header, std::span<const uint8_t> record,
                                      bool withHeader);
// The record at the start of mapping `handle`: this process's fd (closed afterwards), else fd `handle` of
// process `processId`. Failures are shown with the Windows texts and give nullopt.
std::optional<std::vector<uint8_t>> ReadStateMapping(int handle, pid_t processId, std::size_t recordSize);
// Starts another container window on this session with `args` and mapping `handle` inherited; shows
// "Error Creating Child" on failure.
bool StartContainerWindow(const std::vector<std::string>& args, int handle);

}  // namespace hostlink
