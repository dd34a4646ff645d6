// The connection to a host program on a remote host: one TCP connection, upgraded to TLS after the plain
// STARTTLS exchange, over which the login sequence names the user, data set, terminal and host program.
// Also the option parser, the session switches and the RemoteSessionState hand-over record.
#pragma once

#include <netinet/in.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostlink/comm_pipe.h"
#include "hostlink/fixed_text.h"
#include "hostlink/login_ui.h"
#include "hostlink/ssl_socket.h"
#include "platform/poll_wait.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"

namespace hostlink {

// Byte offsets of the RemoteSessionState record. The 16-bit port leaves every later integer unaligned.
namespace remote_state {
inline constexpr std::size_t kSocket = 0;
inline constexpr std::size_t kMode = 4;
inline constexpr std::size_t kWanMode = 8;
inline constexpr std::size_t kSettingsGiven = 12;
inline constexpr std::size_t kRunText = 16;
inline constexpr std::size_t kTerminalId = 96;
inline constexpr std::size_t kRunCommand = 176;
inline constexpr std::size_t kBillServID = 688;
inline constexpr std::size_t kSwitch1 = 692;
inline constexpr std::size_t kSwitch2 = 820;
inline constexpr std::size_t kBillingDataSet = 1332;
inline constexpr std::size_t kSwitch4 = 1844;
inline constexpr std::size_t kEnvironment = 1972;
inline constexpr std::size_t kHost = 2996;
inline constexpr std::size_t kHostAddress = 3076;
inline constexpr std::size_t kDataSet = 3080;
inline constexpr std::size_t kProgramDir = 3592;
inline constexpr std::size_t kPort = 4104;
inline constexpr std::size_t kTerminal = 4106;
inline constexpr std::size_t kPrinter = 4110;
inline constexpr std::size_t kFlags = 4114;
inline constexpr std::size_t kOsUser = 4118;
inline constexpr std::size_t kOsPassword = 4198;
inline constexpr std::size_t kAppUser = 4278;
inline constexpr std::size_t kAppPassword = 4282;
inline constexpr std::size_t kSystemId = 4362;
inline constexpr std::size_t kSize = 4395;
inline constexpr std::string_view kHeader = "remote";
}  // namespace remote_state

// The 32-character system ID the login line carries: the adapter address as twelve upper-case hex digits,
// the desktop number and the local address, left-padded with '0' to 32 characters and cut to 32.
std::string FormatSystemId(const std::array<uint8_t, 6>& adapter, long desktop, std::string_view address);
// The desktop number of this user's session: the same for every window of one user on one display.
long DesktopNumber();

// The host's answer to STARTTLS as far as it has come: bytes before "READYFORTLS" are passed over, and
// only its line end may follow it, since anything else would be plain text slipped in ahead of TLS.
enum class StartTlsVerdict {
    Waiting,       // no "READYFORTLS" yet: read on
    ReadyIfQuiet,  // "READYFORTLS" with no line end or half of one: the line end may come in a segment of
                   // its own; a host that then stays quiet is ready, one that closes is not
    Ready,         // "READYFORTLS" and its line end, nothing after
    Refused,       // no "READYFORTLS" in the first kStartTlsAnswerLimit bytes, or bytes after its line end
};
struct StartTlsAnswer {
    StartTlsVerdict verdict = StartTlsVerdict::Waiting;
    std::string_view why;  // for the log when refused
};
// The most the host may send before "READYFORTLS".
inline constexpr std::size_t kStartTlsAnswerLimit = 10240;
// Judges every byte the host has sent since STARTTLS. Each further byte can only move the verdict on, in
// the order above.
StartTlsAnswer JudgeStartTlsAnswer(std::string_view seen);

class CRemotePipe : public CCommPipe, public RemoteLoginTarget {
  public:
    static constexpr std::chrono::milliseconds kDefaultStartTlsTimeout{std::chrono::seconds(30)};

    CRemotePipe();
    ~CRemotePipe() override;

    bool Read(void* buffer, uint32_t count, uint32_t& bytesRead) override;
    // Over TLS and plain alike: the socket stays open and every byte the socket, the TLS layer or this
    // pipe's read-ahead holds stays for the next Read. A session handed to a later pipe leaves any wake
    // behind.
    void WakeReader() override;
    bool Open(PipeOwner* owner) override;
    void Close() override;
    bool StartNewSession(std::string_view runText) override;
    void SetDataSet(std::string_view dataSet) override;
    void SwitchMsoSession(std::string_view s1, std::string_view s2, std::string_view s3) override;
    void SwitchBillingSession(std::string_view s1, std::string_view s2, std::string_view s3,
                              std::string_view s4) override;
    void SetHost(std::string_view host) override;
    std::string Describe() const override { return "remote"; }
    void SetAppUser(int32_t user, std::string_view password) override;
    platform::UniqueFd SaveState(bool withHeader) override;
    bool LoadState(int handle, pid_t processId, std::optional<std::span<const uint8_t>> record) override;
    void ApplyPractice(const practice::CPracticeConn& conn) override;
    bool ParseOptions(PipeOwner* owner, std::string_view text, bool keep) override;
    int32_t GetUnixEscKey() override;

    // RemoteLoginTarget: what the login wizard and the progress dialog do.
    int32_t Flags() const override { return m_flags; }
    void SetOsCredentials(std::string_view user, std::string_view password) override;
    void SetAppUserNumber(int32_t user) override { m_appUser = user; }
    void SetAppPassword(std::string_view password) override;
    int32_t ConnectAndLogin(int32_t loadSettings) override;
    void SetProgressSink(ProgressSink* sink) override;
    void SetAborted() override { m_aborted.store(1, std::memory_order_release); }
    bool Aborted() const override { return m_aborted.load(std::memory_order_acquire) != 0; }
    // Cancels the connection for good: wakes a lookup, connect, STARTTLS wait, handshake, Read or Write
    // that blocks another thread and makes them fail. Nothing is closed here; Close and the destructor
    // close the socket once those threads have returned.
    void AbortConnect() override;

    // The dialogs Open shows; without them Open connects on the calling thread when no question has to
    // be asked, and fails otherwise. Not owned.
    void SetLoginUi(RemoteLoginUi* ui) { m_loginUi = ui; }
    // Which dialogs the connection needs: 2 (the wizard's primary page), 4 (its application page), 6 (both
    // pages), or 8 (none).
    int32_t ConnectionMode() const;
    // The network settings of the registry (host and data set only when no settings were given). False,
    // after showing "Error Loading Network Registry Settings", when one is missing.
    bool LoadSettings();
    // The program the host runs, as the login sends it; adds the pipe-mode and WAN bits to the flags.
    std::string BuildHostCommandLine();
    // The system ID, or nullopt (after "Failed to Build System ID") when no adapter address is available.
    std::optional<std::string> BuildSystemId();
    // The control's property of that name: Close leaves the socket open, for a pipe of this process that
    // adopts the session record, when it is 0.
    void SetHostIsTrans(int32_t value) { m_HostIsTrans = value; }
    void SetStartTlsTimeout(std::chrono::milliseconds limit) { m_startTlsTimeout = limit; }
    int Socket() const { return m_socket.load(std::memory_order_acquire); }
    // Whether SaveState(false) offered the open connection to a later pipe of this process and HostIsTrans
    // off lets this pipe leave it open for that pipe.
    bool Offered() const { return m_offered.load(std::memory_order_acquire) && m_HostIsTrans == 0; }
    const CSslSocket& Tls() const { return *m_ssl; }

    // Settings and session fields, as the session record carries them.
    int32_t m_mode = session_mode::kNew;
    int32_t m_wanMode = 0;
    int32_t m_settingsGiven = 0;
    FixedText<80> m_runText;
    FixedText<128> m_switch1;
    FixedText<512> m_switch2;
    FixedText<512> m_billingDataSet;
    FixedText<128> m_switch4;
    FixedText<33> m_systemId;
    FixedText<1024> m_environment;
    FixedText<80> m_host;
    uint32_t m_hostAddress = 0;  // IPv4, network byte order
    FixedText<512> m_dataSet;
    FixedText<512> m_programDir;
    FixedText<512> m_runCommand;
    uint16_t m_port = 0;
    int32_t m_terminal = 0;
    int32_t m_printer = 0;
    int32_t m_flags = 0;
    FixedText<80> m_osUser;
    FixedText<80> m_osPassword;
    int32_t m_appUser = 0;
    FixedText<80> m_appPassword;
    int32_t m_HostIsTrans = 1;

  protected:
    bool WriteBytes(const void* bytes, uint32_t count) override;
    TryWriteResult TryWriteBytes(const void* bytes, uint32_t count) override;
    bool FinishBytes() override;
    // The network adapter address of this machine; nullopt when there is none to be had.
    virtual std::optional<std::array<uint8_t, 6>> AdapterAddress() const;

  private:
    using WaitResult = platform::WaitResult;

    bool Connect();
    bool Resolve(const std::string& host, in_addr& address);
    bool ConnectSocket(const sockaddr_in& address);
    void SetKeepAlive(int fd);
    bool StartTls(int fd);
    bool Login();
    void SendPipeModeLines();
    WaitResult WaitFd(int fd, short events,
                      std::optional<std::chrono::steady_clock::time_point> deadline) const;
    bool CancelRequested() const { return m_cancelRequested.load(std::memory_order_acquire); }
    // Takes the socket into m_socket; the previous one, if any, is closed.
    void AdoptSocket(int fd);
    // Takes a pending WakeReader, of the plain socket or of the TLS connection; true when there was one.
    bool TakeReaderWake();
    void Progress(int32_t percent);
    // A line of the error log, written only with the owner's Debug on.
    void Log(std::string_view text) const;
    void Show(std::string text, platform::PromptIcon icon, bool systemModal) const;

    std::atomic<int> m_socket{-1};
    std::unique_ptr<CSslSocket> m_ssl;
    // Decrypted bytes not yet handed out: one TLS read takes a whole record, so the reader's small reads
    // do not each pay for a call into the TLS connection. Only the reading thread touches it.
    std::vector<char> m_readAhead;
    // What a try-write on the plain socket left of its block; under the base's write lock.
    std::vector<uint8_t> m_plainLeft;
    std::size_t m_readAheadPos = 0;
    std::size_t m_readAheadEnd = 0;
    std::atomic<int32_t> m_aborted{0};
    std::atomic<bool> m_cancelRequested{false};
    platform::UniqueFd m_cancelEvent;  // readable for ever once AbortConnect ran
    // WakeReader on the plain socket (over TLS the connection keeps it): the flag is the wake, the
    // eventfd only brings a waiting Read to look at it.
    std::atomic<bool> m_readerWoken{false};
    std::atomic<bool> m_offered{false};  // SaveState(false) named the current socket
    platform::UniqueFd m_readerWake;
    std::mutex m_socketMutex;  // m_socket changes, and AbortConnect's shutdown of it
    std::mutex m_progressMutex;
    ProgressSink* m_progress = nullptr;  // guarded by m_progressMutex
    RemoteLoginUi* m_loginUi = nullptr;
    std::chrono::milliseconds m_startTlsTimeout = kDefaultStartTlsTimeout;
};

}  // namespace hostlink
