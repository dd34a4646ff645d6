// The host pipe of the local client mode: the host program runs as a child process of this one, its standard
// input is our write end and its standard output and error share our read end. Also the options, the login
// step, the child's command line, the download tool's login and the session hand-over record.
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hostlink/comm_pipe.h"
#include "hostlink/fixed_text.h"
#include "hostlink/login_ui.h"
#include "platform/poll_wait.h"
#include "platform/unique_fd.h"

namespace hostlink {

// The local session as one window hands it to the next: 3088 bytes, little-endian integers and
// zero-terminated text in fixed fields, optionally behind the 80-byte header "local".
struct LocalSessionState {
    static constexpr std::size_t kSize = 3088;
    static constexpr std::string_view kHeader = "local";
    using Bytes = std::array<uint8_t, kSize>;

    Bytes ToRecord() const;
    // nullopt when fewer than kSize bytes are given; a text field without its zero is cut to fit.
    static std::optional<LocalSessionState> FromRecord(std::span<const uint8_t> record);

    int32_t m_mode = 0;
    FixedText<128> m_switch4;
    FixedText<80> m_runText;
    FixedText<80> m_terminalId;
    int32_t m_appUser = 0;
    int32_t m_terminalNumber = 0;
    int32_t m_printerNumber = 0;
    int32_t m_flags = 0;
    FixedText<80> m_appPassword;
    FixedText<512> m_dataSet;
    FixedText<512> m_programDir;
    FixedText<512> m_switch3;
    FixedText<512> m_runCommand;
    int32_t m_BillServID = 0;
    int32_t m_stdinWrite = -1;
    int32_t m_stdoutRead = -1;
    FixedText<128> m_switch1;
    FixedText<512> m_switch2;
};

class CLocalPipe : public CCommPipe {
  public:
    explicit CLocalPipe(PipeOwner* owner = nullptr);
    // Closes the pipe ends, unless SaveState(false) offered them to a later pipe of this process (the
    // control's detach record): then they wait for that pipe's LoadState.
    ~CLocalPipe() override;

    // What is available of the host's output, up to `count` bytes. The end of the output fails with
    // LastError 109 (broken pipe); a read that Close or WakeReader interrupts fails with 995.
    bool Read(void* buffer, uint32_t count, uint32_t& bytesRead) override;
    bool CallsBeforeReadWait() const override { return true; }
    // The ends stay open and the host's output stays in the pipe for the next Read.
    void WakeReader() override;
    // The login step, then the host program's start and the download tool's login.
    bool Open(PipeOwner* owner) override;
    // Closes both ends; safe from any thread: a Read or Write in progress is woken and left first. The host
    // program is not killed: it sees the end of its input.
    void Close() override;
    bool StartNewSession(std::string_view runText) override;
    void SetDataSet(std::string_view dataSet) override;
    void SwitchMsoSession(std::string_view s1, std::string_view s2, std::string_view s3) override;
    void SwitchBillingSession(std::string_view s1, std::string_view s2, std::string_view s3,
                              std::string_view s4) override;
    std::string Describe() const override { return "local"; }
    // How long the open waits for the download tool's sync before it fails.
    static constexpr std::chrono::milliseconds kDefaultSyncTimeout{std::chrono::seconds(30)};
    void SetSyncTimeout(std::chrono::milliseconds limit) { m_syncTimeout = limit; }
    void SetAppUser(int32_t user, std::string_view password) override;
    platform::UniqueFd SaveState(bool withHeader) override;
    // With `record` the handle is left to the caller, who mapped it. Pipe ends named in the record are
    // taken only when a pipe of this process offered them; other numbers name nothing this pipe owns.
    bool LoadState(int handle, pid_t processId, std::optional<std::span<const uint8_t>> record) override;
    void ApplyPractice(const practice::CPracticeConn& conn) override;
    bool ParseOptions(PipeOwner* owner, std::string_view text, bool keep) override;
    int32_t GetUnixEscKey() override;

    // The login dialog Open makes. Without one, Open can only use credentials it already knows.
    void SetLoginUi(LocalLoginUiFactory factory) { m_loginUiFactory = std::move(factory); }

    LocalSessionState State() const;
    void AdoptState(const LocalSessionState& state);
    // Takes the ends of a host program started elsewhere (the write end of its input, the read end of its
    // output), non-blocking as Open makes them; ends this pipe held are closed.
    void AttachEnds(platform::UniqueFd stdinWrite, platform::UniqueFd stdoutRead);
    // The host program started by the last Open, -1 before.
    pid_t ChildPid() const { return m_childPid; }
    // Whether SaveState(false) offered the open ends to a later pipe of this process.
    bool Offered() const;

    // Settings, in the record's terms.
    FixedText<512> m_switch3;
    int32_t m_appUser = 0;
    int32_t m_terminalNumber = 0;
    int32_t m_printerNumber = 0;
    int32_t m_flags = 0;
    FixedText<80> m_appPassword;
    FixedText<512> m_dataSet;  // also the host program's working folder
    FixedText<512> m_programDir;
    FixedText<512> m_runCommand;
    FixedText<128> m_switch1;
    FixedText<512> m_switch2;
    FixedText<128> m_switch4;
    FixedText<80> m_runText;
    int32_t m_mode = 0;

  protected:
    bool WriteBytes(const void* bytes, uint32_t count) override;
    // A block of at most PIPE_BUF bytes, which the pipe takes whole or not at all; a longer one is left.
    TryWriteResult TryWriteBytes(const void* bytes, uint32_t count) override;

  private:
    bool Launch();
    std::string HostCommandLine() const;
    struct SyncOutcome {
        enum class Kind { Synced, Refused, Failed };
        Kind kind = Kind::Failed;
        std::string text;  // Refused: the tool's report
    };
    bool LoginDownloadTool();
    // Shows nothing and touches nothing of the owner: it may run on a thread of the owner's choosing.
    SyncOutcome WaitForDownloadSync();
    // Registers a Read or Write in progress; false (with LastError set) when there is no end to use.
    bool BeginIo(const platform::UniqueFd& end, int& fd);
    void EndIo();
    // With m_ioMutex held: whether `end` may be used now; false (with LastError set) while closing or
    // without the end.
    bool EndUsable(const platform::UniqueFd& end) const;
    // Waits until `fd` is ready for `events` or Close wants the ends; Cancelled means the latter. With
    // `reader`, a WakeReader also ends the wait, Ready or TimedOut: the caller looks at the wake next.
    platform::WaitResult WaitForEnd(int fd, short events, bool reader = false) const;
    // Takes a pending WakeReader; true when there was one.
    bool TakeReaderWake();
    void CloseEnds();
    void InstallEnds(platform::UniqueFd stdinWrite, platform::UniqueFd stdoutRead);
    platform::UniqueFd SaveStateFor(bool withHeader, bool offer);

    LocalLoginUiFactory m_loginUiFactory;
    std::unique_ptr<LocalLoginUi> m_loginDlg;
    pid_t m_childPid = -1;
    std::chrono::milliseconds m_syncTimeout = kDefaultSyncTimeout;

    // The ends and the I/O in progress on them; Close waits for it to leave.
    mutable std::mutex m_ioMutex;
    std::condition_variable m_ioIdle;
    int m_ioActive = 0;
    std::atomic<bool> m_closing{false};  // set by Close, read by a waiting Read or Write
    platform::UniqueFd m_stdinWrite;
    platform::UniqueFd m_stdoutRead;
    platform::UniqueFd m_wake;  // eventfd that brings Read and Write out of their wait
    // WakeReader: the flag is the wake itself, the eventfd only brings a waiting Read to look at it.
    std::atomic<bool> m_readerWoken{false};
    platform::UniqueFd m_readerWake;
    bool m_offered = false;  // SaveState(false) published these ends for a later pipe of this process
};

}  // namespace hostlink
