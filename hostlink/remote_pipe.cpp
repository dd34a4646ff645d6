// The remote host connection: settings, the choice of login dialogs, the cancellable connect with
// keep-alive, the STARTTLS upgrade, the login sequence, the option parser, the session switches and the
// RemoteSessionState record.
#include "hostlink/remote_pipe.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "hostlink/remote_log.h"
#include "platform/byte_order.h"
#include "platform/event_fd.h"
#include "platform/registry.h"
#include "practice/practice.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"

namespace hostlink {
namespace {

using Clock = std::chrono::steady_clock;
using platform::PromptIcon;

constexpr std::string_view kReadyForTls = "READYFORTLS";
constexpr std::string_view kStartTls = "STARTTLS\r\n";
// How long a line end that the host split from "READYFORTLS" may lag behind it.
constexpr std::chrono::milliseconds kTerminatorGrace{100};
constexpr uint32_t kDefaultKeepAliveSeconds = 300;
constexpr int kKeepAliveIntervalSeconds = 6;
constexpr int kMaxKeepIdleSeconds = 32767;     // the kernel's limit
constexpr std::size_t kReadAheadSize = 16384;  // the largest TLS record
constexpr int32_t kOperationAborted = 995;     // WakeReader interrupted the Read

std::string Format(const char* format, auto... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The quoted forms of -D, -P and -v: a leading quote and the text's last character are dropped.
std::string_view Unquote(std::string_view text) {
    if (text.empty() || text.front() != '"') {
        return text;
    }
    return text.substr(1, text.size() < 2 ? 0 : text.size() - 2);
}

// "-t%T" and "-p%P" of a run command: the numbers, or the four characters removed when a number is 0.
void ReplaceNumberMarker(std::string& command, std::string_view marker, int32_t value) {
    const std::string replacement =
        value != 0 ? std::string(marker.substr(0, 2)) + std::to_string(value) : "";
    for (std::size_t at = command.find(marker); at != std::string::npos;
         at = command.find(marker, at + replacement.size())) {
        command.replace(at, marker.size(), replacement);
    }
}

// Sockets that a pipe of this process left open for a successor (HostIsTrans off). A session record is
// only trusted with a socket number listed here: in any other process that number is some other file.
struct LeftSocket {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    std::unique_ptr<CSslSocket> tls;
    std::string unread;  // decrypted, not yet read
};

std::mutex g_leftMutex;
std::vector<LeftSocket>& LeftSockets() {
    static std::vector<LeftSocket> sockets;
    return sockets;
}

void LeaveSocket(int fd, std::unique_ptr<CSslSocket> tls, std::string unread) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return;
    }
    std::lock_guard lock(g_leftMutex);
    auto& sockets = LeftSockets();
    std::erase_if(sockets, [fd](const LeftSocket& left) { return left.fd == fd; });
    sockets.push_back({fd, info.st_dev, info.st_ino, std::move(tls), std::move(unread)});
}

std::optional<LeftSocket> TakeLeftSocket(int fd) {
    std::lock_guard lock(g_leftMutex);
    auto& sockets = LeftSockets();
    const auto it =
        std::find_if(sockets.begin(), sockets.end(), [fd](const LeftSocket& left) { return left.fd == fd; });
    if (it == sockets.end()) {
        return std::nullopt;
    }
    LeftSocket left = std::move(*it);
    sockets.erase(it);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_dev != left.device ||
        info.st_ino != left.inode) {
        return std::nullopt;  // closed and reused since
    }
    return left;
}

bool ReadRegistryText(std::string_view key, std::string_view name, uint32_t bufferSize, std::string& out) {
    std::vector<char> buffer(bufferSize);
    platform::RegType type = platform::RegType::Sz;
    uint32_t size = bufferSize;
    if (suite::RegReadValue(platform::HKey::LocalMachine, key, name, type, buffer.data(), size) != 0) {
        return false;
    }
    out.assign(buffer.data(), ::strnlen(buffer.data(), bufferSize));
    return true;
}

bool ReadRegistryDword(std::string_view key, std::string_view name, uint32_t& out) {
    uint32_t value = 0;
    platform::RegType type = platform::RegType::Dword;
    uint32_t size = sizeof value;
    if (suite::RegReadValue(platform::HKey::LocalMachine, key, name, type, &value, size) != 0 ||
        size != sizeof value) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

std::string FormatSystemId(const std::array<uint8_t, 6>& adapter, long desktop, std::string_view address) {
    std::string id = Format("%02X%02X%02X%02X%02X%02X", adapter[0], adapter[1], adapter[2], adapter[3],
                            adapter[4], adapter[5]);
    id += std::to_string(desktop);
    id += address;
    // Zeros in front, as the hosts compare the ID as a fixed-width field.
    if (id.size() < 32) {
        id.insert(0, 32 - id.size(), '0');
    }
    return id.substr(0, 32);
}

long DesktopNumber() {
    std::string display;
    if (const char* x11 = std::getenv("DISPLAY"); x11 != nullptr && *x11 != '\0') {
        display = x11;
    } else if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland != nullptr) {
        display = wayland;
    }
    const std::string identity = std::to_string(::getuid()) + ":" + display;
    uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : identity) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 16777619u;
    }
    return static_cast<long>(hash & 0x7FFFFFFFu);
}

CRemotePipe::CRemotePipe()
    : CCommPipe(1),
      m_ssl(std::make_unique<CSslSocket>()),
      m_cancelEvent(platform::MakeEventFd()),
      m_readerWake(platform::MakeEventFd()) {}

CRemotePipe::~CRemotePipe() {
    const int fd = m_socket.load(std::memory_order_acquire);
    if (m_HostIsTrans == 0 && fd >= 0 && !CancelRequested()) {
        // The control hands the live session to a later control of this process.
        m_socket.store(-1, std::memory_order_release);
        m_ssl->SetLogSink({});          // it would call into this pipe
        (void)m_ssl->TakeReaderWake();  // meant for this pipe's reader, not the next pipe's
        std::string unread;
        if (m_readAheadPos < m_readAheadEnd) {
            unread.assign(m_readAhead.data() + m_readAheadPos, m_readAheadEnd - m_readAheadPos);
        }
        LeaveSocket(fd, std::move(m_ssl), std::move(unread));
        return;
    }
    m_HostIsTrans = 1;
    Close();
}

void CRemotePipe::Log(std::string_view text) const {
    if (DebugOn()) {
        WriteRemoteLog(text);
    }
}

void CRemotePipe::Show(std::string text, PromptIcon icon, bool systemModal) const {
    platform::PromptRequest request;
    request.text = std::move(text);
    request.icon = icon;
    request.systemModal = systemModal;
    platform::DefaultPrompt().Show(request);
}

void CRemotePipe::Progress(int32_t percent) {
    std::lock_guard lock(m_progressMutex);
    if (m_progress != nullptr && !Aborted()) {
        m_progress->SetPosition(percent);
    }
}

void CRemotePipe::SetProgressSink(ProgressSink* sink) {
    // Once this returns no call into the previous sink is running, so its owner may destroy it.
    std::lock_guard lock(m_progressMutex);
    m_progress = sink;
}

void CRemotePipe::AdoptSocket(int fd) {
    std::lock_guard lock(m_socketMutex);
    const int previous = m_socket.exchange(fd, std::memory_order_acq_rel);
    if (previous >= 0 && previous != fd) {
        ::close(previous);
    }
    // A new connection starts in plain text, whatever the last one had become.
    if (m_ssl->IsConnected()) {
        m_ssl = std::make_unique<CSslSocket>();
        if (CancelRequested()) {
            m_ssl->Cancel();
        }
    }
    m_readAheadPos = 0;
    m_readAheadEnd = 0;
    m_readerWoken.store(false, std::memory_order_release);
    m_offered.store(false, std::memory_order_release);
}

void CRemotePipe::WakeReader() {
    std::lock_guard lock(m_socketMutex);
    if (m_ssl->IsConnected()) {
        m_ssl->WakeReader();
        return;
    }
    m_readerWoken.store(true, std::memory_order_release);
    platform::SignalEvent(m_readerWake);
}

bool CRemotePipe::TakeReaderWake() {
    // Every Read looks, most of them served from the read-ahead: the event is drained only for a wake,
    // as draining costs a call. An event left behind by a wake taken here only ends one wait early.
    const bool plain = m_readerWoken.load(std::memory_order_acquire) &&
                       m_readerWoken.exchange(false, std::memory_order_acq_rel);
    if (plain) {
        platform::DrainEvent(m_readerWake);
    }
    const bool tls = m_ssl->TakeReaderWake();
    return plain || tls;
}

CRemotePipe::WaitResult CRemotePipe::WaitFd(int fd, short events,
                                            std::optional<Clock::time_point> deadline) const {
    return platform::WaitForFd({.fd = fd,
                                .events = events,
                                .cancelled = &m_cancelRequested,
                                .cancelEvent = m_cancelEvent.Get(),
                                .deadline = deadline});
}

// ---- Transport ----

bool CRemotePipe::Read(void* buffer, uint32_t count, uint32_t& bytesRead) {
    bytesRead = 0;
    if (count == 0) {
        SetLastError(socket_error::kInvalidArgument);
        return false;
    }
    const int32_t wanted = static_cast<int32_t>(std::min<uint32_t>(count, INT32_MAX));
    int32_t got = -1;
    if (TakeReaderWake()) {
        errno = EINTR;  // before the read-ahead too: a woken Read takes no byte
    } else if (m_readAheadPos < m_readAheadEnd) {
        got = static_cast<int32_t>(
            std::min<std::size_t>(static_cast<std::size_t>(wanted), m_readAheadEnd - m_readAheadPos));
        std::memcpy(buffer, m_readAhead.data() + m_readAheadPos, static_cast<std::size_t>(got));
        m_readAheadPos += static_cast<std::size_t>(got);
    } else if (m_ssl->IsConnected() && static_cast<std::size_t>(wanted) < kReadAheadSize) {
        m_readAhead.resize(kReadAheadSize);
        got = m_ssl->Read(m_readAhead.data(), static_cast<int32_t>(kReadAheadSize));
        m_readAheadEnd = static_cast<std::size_t>(std::max(got, 0));
        m_readAheadPos = 0;
        if (got > 0) {
            got = std::min(got, wanted);
            std::memcpy(buffer, m_readAhead.data(), static_cast<std::size_t>(got));
            m_readAheadPos = static_cast<std::size_t>(got);
        }
    } else if (m_ssl->IsConnected()) {
        got = m_ssl->Read(buffer, wanted);
    } else {
        const int fd = Socket();
        if (fd < 0) {
            errno = ENOTSOCK;
        }
        while (fd >= 0) {
            if (TakeReaderWake()) {
                errno = EINTR;
                break;
            }
            const ssize_t n = ::recv(fd, buffer, static_cast<std::size_t>(wanted), MSG_DONTWAIT);
            if (n >= 0) {
                got = static_cast<int32_t>(n);
                break;
            }
            if (errno == EINTR) {
                continue;
            }
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                break;
            }
            // Without its eventfd a wake is looked for now and then.
            const WaitResult wait = platform::WaitForFd(
                {.fd = fd,
                 .events = POLLIN,
                 .cancelled = &m_cancelRequested,
                 .cancelEvent = m_cancelEvent.Get(),
                 .wakeEvent = m_readerWake.Get(),
                 .deadline =
                     m_readerWake ? std::nullopt : std::optional(Clock::now() + platform::kCancelSlice)});
            if (wait == WaitResult::Cancelled) {
                errno = ECANCELED;
                break;
            }
            if (wait == WaitResult::Failed) {
                break;
            }
        }
    }
    if (got > 0) {
        bytesRead = static_cast<uint32_t>(got);
        return true;
    }
    if (got == 0) {
        SetLastError(0);
        Log("recv() (0): The connection was closed by the remote host");
    } else if (errno == EINTR) {
        SetLastError(kOperationAborted);  // WakeReader: no failure, the session goes on
    } else {
        const int32_t code = SocketErrorFromErrno(errno);
        SetLastError(code);
        Log(SocketErrorLine("recv()", code));
    }
    return false;
}

bool CRemotePipe::WriteBytes(const void* bytes, uint32_t count) {
    if (count == 0) {
        return true;
    }
    const auto* at = static_cast<const uint8_t*>(bytes);
    uint32_t left = count;
    bool ok = true;
    if (m_ssl->IsConnected()) {
        while (ok && left > 0) {
            const int32_t chunk = static_cast<int32_t>(std::min<uint32_t>(left, INT32_MAX));
            ok = m_ssl->Write(at, chunk) == chunk;
            at += chunk;
            left -= static_cast<uint32_t>(chunk);
        }
    } else {
        const int fd = Socket();
        if (fd < 0) {
            errno = ENOTSOCK;
            ok = false;
        }
        // The whole block: a short send would drop the rest of a key sequence or login line.
        while (ok && left > 0) {
            const ssize_t n = ::send(fd, at, left, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                at += n;
                left -= static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const WaitResult wait = WaitFd(fd, POLLOUT, std::nullopt);
                if (wait == WaitResult::Ready) {
                    continue;
                }
                if (wait == WaitResult::Cancelled) {
                    errno = ECANCELED;
                }
            }
            ok = false;
        }
    }
    if (!ok) {
        const int32_t code = SocketErrorFromErrno(errno);
        SetLastError(code);
        Log(SocketErrorLine("send()", code));
    }
    return ok;
}

TryWriteResult CRemotePipe::TryWriteBytes(const void* bytes, uint32_t count) {
    if (count > INT32_MAX) {
        return TryWriteResult::NotWritten;
    }
    if (count == 0) {
        return TryWriteResult::Written;
    }
    if (m_ssl->IsConnected()) {
        const int32_t result = m_ssl->TryWrite(bytes, static_cast<int32_t>(count));
        if (result > 0) {
            return TryWriteResult::Written;
        }
        if (result == 0) {
            return TryWriteResult::NotWritten;
        }
        if (result == CSslSocket::kStarted) {
            return TryWriteResult::Started;
        }
    } else if (const int fd = Socket(); fd < 0) {
        errno = ENOTSOCK;
    } else {
        ssize_t n = 0;
        do {
            n = ::send(fd, bytes, count, MSG_NOSIGNAL | MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        if (n == static_cast<ssize_t>(count)) {
            return TryWriteResult::Written;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return TryWriteResult::NotWritten;
        }
        if (n >= 0) {
            // A stream socket may take part of a block; the rest goes before anything else.
            const auto* at = static_cast<const uint8_t*>(bytes);
            m_plainLeft.assign(at + n, at + count);
            return TryWriteResult::Started;
        }
    }
    const int32_t code = SocketErrorFromErrno(errno);
    SetLastError(code);
    Log(SocketErrorLine("send()", code));
    return TryWriteResult::Failed;
}

bool CRemotePipe::FinishBytes() {
    if (!m_plainLeft.empty()) {
        const std::vector<uint8_t> left = std::move(m_plainLeft);
        m_plainLeft.clear();
        return WriteBytes(left.data(), static_cast<uint32_t>(left.size()));
    }
    if (m_ssl->FinishWrite() >= 0) {
        return true;
    }
    const int32_t code = SocketErrorFromErrno(errno);
    SetLastError(code);
    Log(SocketErrorLine("send()", code));
    return false;
}

// ---- Opening and closing ----

int32_t CRemotePipe::ConnectionMode() const {
    if ((m_flags & flags::kServerWithoutS) != 0) {
        if (m_osUser.Empty() || m_osPassword.Empty()) {
            return 2;
        }
        if (!EqualsIgnoringCase(m_dataSet.View(), m_billingDataSet.View()) &&
            !(m_appUser != 0 && !m_appPassword.Empty())) {
            return 4;
        }
        return 8;
    }
    if ((m_appUser != 0 && !m_appPassword.Empty() && !m_osUser.Empty()) || !m_runCommand.Empty()) {
        if (m_flags == flags::kRunCommand && (m_osUser.Empty() || m_osPassword.Empty())) {
            return 2;
        }
        return 8;
    }
    return 6;
}

bool CRemotePipe::Open(PipeOwner* owner) {
    if (owner != nullptr) {
        m_owner = owner;
    }
    const int32_t mode = ConnectionMode();
    Log(Format("Connect mode is %d", mode));
    if (mode != 8) {
        if (m_loginUi == nullptr) {
            Show(
                "The connection needs a user name and password, but no login dialog is available to ask "
                "for them",
                PromptIcon::Stop, false);
            return false;
        }
        if (!m_loginUi->RunAuthLogin(*this, mode)) {
            return false;
        }
    }
    if (m_loginUi != nullptr) {
        if (!m_loginUi->RunAutoLogin(*this)) {
            return false;
        }
    } else if (ConnectAndLogin(0) != 0) {
        return false;
    }
    Log("Successful connect to remote host");
    return true;
}

void CRemotePipe::Close() {
    if (m_HostIsTrans == 0) {
        return;
    }
    std::lock_guard lock(m_socketMutex);
    const int fd = m_socket.exchange(-1, std::memory_order_acq_rel);
    if (fd < 0) {
        return;
    }
    // The TLS state belongs to the closed connection; a later connection starts afresh.
    m_ssl = std::make_unique<CSslSocket>();
    m_readAheadPos = 0;
    m_readAheadEnd = 0;
    m_offered.store(false, std::memory_order_release);
    if (CancelRequested()) {
        m_ssl->Cancel();
    }
    ::close(fd);
}

void CRemotePipe::AbortConnect() {
    m_cancelRequested.store(true, std::memory_order_release);
    SetAborted();
    platform::SignalEvent(m_cancelEvent);
    {
        std::lock_guard lock(m_socketMutex);
        const int fd = m_socket.load(std::memory_order_acquire);
        if (fd >= 0) {
            ::shutdown(fd, SHUT_RDWR);
        }
        m_ssl->Cancel();
    }
    Log("The user aborted the connection process");
}

// ---- Session operations ----

bool CRemotePipe::StartNewSession(std::string_view runText) {
    if ((m_flags & (flags::kBillingServer | flags::kMso)) == 0 && m_mode != session_mode::kAfterHostChange) {
        m_mode = session_mode::kFurtherWindow;
    }
    CopyField(m_runText, runText, "run text");
    platform::UniqueFd state = SaveState(false);
    if (!state) {
        return false;
    }
    return StartContainerWindow({"-h", "-x" + std::to_string(state.Get())}, state.Get());
}

void CRemotePipe::SetDataSet(std::string_view dataSet) {
    CopyField(m_dataSet, dataSet, "data set");
    m_settingsGiven = 1;
}

void CRemotePipe::SwitchMsoSession(std::string_view s1, std::string_view s2, std::string_view s3) {
    CopyField(m_switch1, s1, "first switch string");
    CopyField(m_switch2, s2, "second switch string");
    CopyField(m_dataSet, s2, "data set");
    CopyField(m_billingDataSet, s3, "billing data set");
    m_flags = (m_flags & flags::kServerWithoutS) | flags::kMso;
    m_runCommand.Clear();
    m_mode = session_mode::kAfterSwitch;
    m_settingsGiven = 1;
    StartNewSession("/m1");
}

void CRemotePipe::SwitchBillingSession(std::string_view s1, std::string_view s2, std::string_view s3,
                                       std::string_view s4) {
    CopyField(m_switch1, s1, "first switch string");
    CopyField(m_switch2, s2, "second switch string");
    CopyField(m_dataSet, s2, "data set");
    CopyField(m_billingDataSet, s3, "billing data set");
    CopyField(m_switch4, s4, "fourth switch string");
    m_flags = (m_flags & flags::kServerWithoutS) | flags::kBillingServer;
    m_runCommand.Clear();
    m_mode = session_mode::kAfterSwitch;
    m_settingsGiven = 1;
    StartNewSession("/m1");
}

void CRemotePipe::SetHost(std::string_view host) {
    CopyField(m_host, host, "host");
    m_settingsGiven = 1;
    m_mode = session_mode::kAfterHostChange;
}

void CRemotePipe::SetAppUser(int32_t user, std::string_view password) {
    m_appUser = user;
    CopyField(m_appPassword, password, "application password");
    if (m_owner != nullptr) {
        m_owner->SetAppUser(user, password);
    }
}

void CRemotePipe::SetOsCredentials(std::string_view user, std::string_view password) {
    CopyField(m_osUser, user, "OS user");
    CopyField(m_osPassword, password, "OS password");
}

void CRemotePipe::SetAppPassword(std::string_view password) {
    CopyField(m_appPassword, password, "application password");
}

// ---- Session record ----

platform::UniqueFd CRemotePipe::SaveState(bool withHeader) {
    namespace rs = remote_state;
    std::vector<uint8_t> record(rs::kSize, 0);
    platform::StoreLittleEndian(&record[rs::kSocket], Socket());
    platform::StoreLittleEndian(&record[rs::kMode], m_mode);
    platform::StoreLittleEndian(&record[rs::kWanMode], m_wanMode);
    platform::StoreLittleEndian(&record[rs::kSettingsGiven], m_settingsGiven);
    m_runText.WriteTo(&record[rs::kRunText]);
    m_terminalId.WriteTo(&record[rs::kTerminalId]);
    m_runCommand.WriteTo(&record[rs::kRunCommand]);
    platform::StoreLittleEndian(&record[rs::kBillServID], m_BillServID);
    m_switch1.WriteTo(&record[rs::kSwitch1]);
    m_switch2.WriteTo(&record[rs::kSwitch2]);
    m_billingDataSet.WriteTo(&record[rs::kBillingDataSet]);
    m_switch4.WriteTo(&record[rs::kSwitch4]);
    m_environment.WriteTo(&record[rs::kEnvironment]);
    m_host.WriteTo(&record[rs::kHost]);
    std::memcpy(&record[rs::kHostAddress], &m_hostAddress, sizeof m_hostAddress);  // network order as is
    m_dataSet.WriteTo(&record[rs::kDataSet]);
    m_programDir.WriteTo(&record[rs::kProgramDir]);
    platform::StoreLittleEndian(&record[rs::kPort], m_port);
    platform::StoreLittleEndian(&record[rs::kTerminal], m_terminal);
    platform::StoreLittleEndian(&record[rs::kPrinter], m_printer);
    platform::StoreLittleEndian(&record[rs::kFlags], m_flags);
    m_osUser.WriteTo(&record[rs::kOsUser]);
    m_osPassword.WriteTo(&record[rs::kOsPassword]);
    platform::StoreLittleEndian(&record[rs::kAppUser], m_appUser);
    m_appPassword.WriteTo(&record[rs::kAppPassword]);
    m_systemId.WriteTo(&record[rs::kSystemId]);
    platform::UniqueFd handle = CreateStateMapping(rs::kHeader, record, withHeader);
    if (handle && !withHeader && Socket() >= 0) {
        m_offered.store(true, std::memory_order_release);
    }
    return handle;
}

bool CRemotePipe::LoadState(int handle, pid_t processId, std::optional<std::span<const uint8_t>> record) {
    namespace rs = remote_state;
    std::vector<uint8_t> bytes;
    if (record) {
        // The caller mapped the view and keeps its handle.
        if (record->size() < rs::kSize) {
            LogLine("LoadState: the remote session record is " + std::to_string(record->size()) +
                    " bytes, not " + std::to_string(rs::kSize));
            return false;
        }
        bytes.assign(record->begin(), record->begin() + rs::kSize);
    } else {
        auto read = ReadStateMapping(handle, processId, rs::kSize);
        if (!read) {
            return false;
        }
        bytes = std::move(*read);
    }
    const std::span<const uint8_t> in(bytes);

    m_mode = platform::LoadLittleEndian<int32_t>(&in[rs::kMode]);
    m_wanMode = platform::LoadLittleEndian<int32_t>(&in[rs::kWanMode]);
    m_settingsGiven = platform::LoadLittleEndian<int32_t>(&in[rs::kSettingsGiven]);
    m_runText.ReadFrom(&in[rs::kRunText]);
    m_terminalId.ReadFrom(&in[rs::kTerminalId]);
    m_runCommand.ReadFrom(&in[rs::kRunCommand]);
    m_BillServID = platform::LoadLittleEndian<int32_t>(&in[rs::kBillServID]);
    m_switch1.ReadFrom(&in[rs::kSwitch1]);
    m_switch2.ReadFrom(&in[rs::kSwitch2]);
    m_billingDataSet.ReadFrom(&in[rs::kBillingDataSet]);
    m_switch4.ReadFrom(&in[rs::kSwitch4]);
    m_environment.ReadFrom(&in[rs::kEnvironment]);
    m_host.ReadFrom(&in[rs::kHost]);
    std::memcpy(&m_hostAddress, &in[rs::kHostAddress], sizeof m_hostAddress);
    m_dataSet.ReadFrom(&in[rs::kDataSet]);
    m_programDir.ReadFrom(&in[rs::kProgramDir]);
    m_port = platform::LoadLittleEndian<uint16_t>(&in[rs::kPort]);
    m_terminal = platform::LoadLittleEndian<int32_t>(&in[rs::kTerminal]);
    m_printer = platform::LoadLittleEndian<int32_t>(&in[rs::kPrinter]);
    m_flags = platform::LoadLittleEndian<int32_t>(&in[rs::kFlags]);
    m_osUser.ReadFrom(&in[rs::kOsUser]);
    m_osPassword.ReadFrom(&in[rs::kOsPassword]);
    m_appUser = platform::LoadLittleEndian<int32_t>(&in[rs::kAppUser]);
    m_appPassword.ReadFrom(&in[rs::kAppPassword]);
    m_systemId.ReadFrom(&in[rs::kSystemId]);

    const int socket = platform::LoadLittleEndian<int32_t>(&in[rs::kSocket]);
    if (socket >= 0) {
        if (auto left = TakeLeftSocket(socket)) {
            AdoptSocket(left->fd);
            std::lock_guard lock(m_socketMutex);
            m_ssl = left->tls ? std::move(left->tls) : std::make_unique<CSslSocket>();
            m_readAhead.assign(left->unread.begin(), left->unread.end());
            m_readAheadPos = 0;
            m_readAheadEnd = m_readAhead.size();
        } else {
            Log(Format("The session's socket %d is not held by this process; a new connection will be made",
                       socket));
        }
    }
    return true;
}

// ---- Configuration ----

void CRemotePipe::ApplyPractice(const practice::CPracticeConn& conn) {
    if (conn.m_PortNumber > 0 && conn.m_PortNumber <= UINT16_MAX) {
        m_port = static_cast<uint16_t>(conn.m_PortNumber);
    } else {
        LogLine("practice port " + std::to_string(conn.m_PortNumber) + " is no port; kept " +
                std::to_string(m_port));
    }
    m_terminal = conn.m_TerminalNumber;
    m_printer = conn.m_PrinterNumber;
    m_flags = conn.m_PracticeType;
    m_wanMode = conn.m_WanMode;
    m_BillServID = conn.m_BillServID;
    CopyField(m_host, conn.m_Host, "host");
    CopyField(m_dataSet, conn.m_SorelData, "data set");
    CopyField(m_programDir, conn.m_SorelProgs, "program directory");
    CopyField(m_environment, conn.m_Environment.GetEnvironmentString(), "environment");
    if ((m_flags & (flags::kBillingServer | flags::kMso)) != 0) {
        CopyField(m_billingDataSet, conn.m_SorelData, "billing data set");
    }
    if (conn.m_RunCommand != 0) {
        m_flags = flags::kRunCommand;
        CopyField(m_runCommand, conn.m_Command, "run command");
    } else {
        CopyField(m_runText, conn.m_Command, "run text");
    }
}

bool CRemotePipe::ParseOptions(PipeOwner* owner, std::string_view text, bool keep) {
    if (owner != nullptr) {
        m_owner = owner;
    }
    if (!keep) {
        m_appUser = 0;
        m_appPassword.Clear();
        m_runText.Clear();
        m_terminalId.Clear();
        m_runCommand.Clear();
    }
    if (text.empty()) {
        return true;
    }
    bool passwordNext = false;
    bool inRunCommand = false;
    for (const std::string& token : options::SplitTokens(text)) {
        if (passwordNext) {
            CopyField(m_appPassword, token, "application password");
            passwordNext = false;
            continue;
        }
        if (inRunCommand) {
            if (!m_runCommand.Append(token + " ")) {
                LogLine("run command: text longer than 511 characters, cut");
            }
            continue;
        }
        if (token.size() < 2 || token[0] != '-') {
            LogLine("unknown option \"" + token + "\"");
            return false;
        }
        const std::string_view rest = std::string_view(token).substr(2);
        switch (token[1]) {
            case '#':
                m_appUser = options::DecimalPrefix(rest);
                passwordNext = true;
                break;
            case 'D':
                CopyField(m_dataSet, Unquote(rest), "data set");
                break;
            case 'H':
                CopyField(m_host, rest, "host");
                m_settingsGiven = 1;
                break;
            case 'N': {
                const int32_t port = options::DecimalPrefix(rest);
                if (port <= 0 || port > UINT16_MAX) {
                    LogLine("option " + token + ": no port number");
                    return false;
                }
                m_port = static_cast<uint16_t>(port);
                break;
            }
            case 'P':
                if (!rest.empty() && rest.front() == 'W') {
                    CopyField(m_osPassword, rest.substr(1), "OS password");
                } else {
                    CopyField(m_programDir, Unquote(rest), "program directory");
                }
                break;
            case 'W':
                m_wanMode = options::DecimalPrefix(rest);
                break;
            case 'b':
                m_flags = flags::kBillingServer | (token == "-bs" ? 0 : flags::kServerWithoutS);
                break;
            case 'm':
                m_flags = flags::kMso | (token == "-ms" ? 0 : flags::kServerWithoutS);
                break;
            case 'c':
                CopyField(m_terminalId, rest, "terminal id");
                break;
            case 'd':
                CopyField(m_runText, rest, "run text");
                if (!rest.empty() && (rest.front() == 'g' || rest.front() == 'G') && m_owner != nullptr) {
                    m_owner->SetSimple(true);
                }
                break;
            case 'f':
                if (token == "-fromdesktop") {
                    m_flags |= flags::kFromDesktop;
                }
                break;
            case 'h': {
                // A bare -h only chose the remote connection; -h//host/dataset carries settings.
                if (rest.empty()) {
                    break;
                }
                if (rest.substr(0, 2) != "//") {
                    LogLine("option " + token + ": expected -h//host/dataset");
                    return false;
                }
                const std::string_view where = rest.substr(2);
                const std::size_t slash = where.find('/');
                const std::string_view host = where.substr(0, slash);
                if (host.empty()) {
                    LogLine("option " + token + ": no host");
                    return false;
                }
                CopyField(m_host, host, "host");
                if (slash != std::string_view::npos) {
                    std::string_view dataSet = where.substr(slash);
                    // "/C:/data" names a drive: the slash only separated it from the host.
                    if (dataSet.size() > 3 && dataSet[2] == ':') {
                        dataSet.remove_prefix(1);
                    }
                    CopyField(m_dataSet, dataSet, "data set");
                }
                m_settingsGiven = 1;
                break;
            }
            case 'p':
                m_printer = options::DecimalPrefix(rest);
                break;
            case 'r':
                m_flags = flags::kRunCommand;
                inRunCommand = true;
                break;
            case 's':
                if (token == "-simple" && m_owner != nullptr) {
                    m_owner->SetSimple(false);
                }
                break;
            case 't':
                m_terminal = options::DecimalPrefix(rest);
                break;
            case 'u':
                CopyField(m_osUser, rest, "OS user");
                break;
            case 'v':
                CopyField(m_environment, Unquote(rest), "environment");
                break;
            case 'w':
                m_mode = session_mode::kFurtherWindow;
                break;
            case 'x':
                if (!LoadState(options::DecimalPrefix(rest), 0, std::nullopt)) {
                    return false;
                }
                break;
            default:
                LogLine("unknown option \"" + token + "\"");
                return false;
        }
    }
    return true;
}

int32_t CRemotePipe::GetUnixEscKey() {
    suite::SetClientMode(suite::ClientMode::Remote);
    int32_t key = 0;
    return suite::ReadUnixEscKey(key) ? key : 1;
}

bool CRemotePipe::LoadSettings() {
    const std::string key = suite::ServerKey(suite::ClientMode::Remote);
    std::string host = m_host.Str();
    std::string dataSet = m_dataSet.Str();
    std::string programDir;
    std::string environment;
    uint32_t port = 0;
    uint32_t terminalNumber = 0;
    uint32_t printer = 0;
    bool ok = true;
    if (m_settingsGiven == 0) {
        ok = ReadRegistryText(key, "RemoteHost", suite::kRemoteHostSize, host) &&
             ReadRegistryText(key, "RemoteDataSet", suite::kDataSetSize, dataSet);
    }
    ok = ok && ReadRegistryText(key, "RemoteSorelProgs", suite::kProgramDirSize, programDir) &&
         ReadRegistryDword(key, "RemotePort", port) && port > 0 && port <= UINT16_MAX &&
         ReadRegistryDword(key, "RemoteTerm", terminalNumber) &&
         ReadRegistryDword(key, "RemotePrinter", printer) &&
         ReadRegistryText(key, "RemoteEnviro", suite::kRemoteEnviroSize, environment);
    if (!ok) {
        Show("Error Loading Network Registry Settings", PromptIcon::Stop, true);
        return false;
    }
    CopyField(m_host, host, "host");
    CopyField(m_dataSet, dataSet, "data set");
    CopyField(m_programDir, programDir, "program directory");
    CopyField(m_environment, environment, "environment");
    m_port = static_cast<uint16_t>(port);
    m_terminal = static_cast<int32_t>(terminalNumber);
    m_printer = static_cast<int32_t>(printer);
    if (m_billingDataSet.Empty()) {
        CopyField(m_billingDataSet, m_dataSet.View(), "billing data set");
    }
    uint32_t wan = 0;
    m_wanMode = ReadRegistryDword(key, "WANMode", wan) ? static_cast<int32_t>(wan) : 0;
    return true;
}

// ---- Connecting ----

int32_t CRemotePipe::ConnectAndLogin(int32_t loadSettings) {
    if (loadSettings != 0) {
        if (!LoadSettings()) {
            return 1;
        }
        Progress(10);
    }
    if (!Connect() || !Login()) {
        return 1;
    }
    Progress(100);
    return 0;
}

bool CRemotePipe::Connect() {
    Progress(20);
    if (CancelRequested()) {
        return false;
    }
    in_addr address{};
    if (!Resolve(m_host.Str(), address)) {
        if (!CancelRequested()) {
            Show("Hostname Lookup Failed", PromptIcon::Stop, true);
        }
        return false;
    }
    m_hostAddress = address.s_addr;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr = address;
    peer.sin_port = htons(m_port);
    if (!ConnectSocket(peer)) {
        return false;
    }
    const int fd = Socket();
    SetKeepAlive(fd);
    if (!StartTls(fd)) {
        return false;
    }
    Progress(30);
    return true;
}

bool CRemotePipe::Resolve(const std::string& host, in_addr& address) {
    // Dotted forms, as the hosts have always been given, need no lookup.
    if (::inet_aton(host.c_str(), &address) != 0) {
        return true;
    }
    // The lookup cannot be interrupted, so it runs on a thread of its own that a cancel abandons; the
    // shared state outlives whichever side finishes last.
    struct Lookup {
        std::mutex mutex;
        bool done = false;
        bool found = false;
        in_addr address{};
        platform::UniqueFd event{platform::MakeEventFd()};
    };
    auto lookup = std::make_shared<Lookup>();
    auto run = [lookup, host] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* result = nullptr;
        const bool found = ::getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result != nullptr;
        std::lock_guard lock(lookup->mutex);
        if (found) {
            lookup->address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
        }
        if (result != nullptr) {
            ::freeaddrinfo(result);
        }
        lookup->found = found;
        lookup->done = true;
        platform::SignalEvent(lookup->event);
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();  // no thread to be had: look up here, uncancellable
    }
    for (;;) {
        {
            std::lock_guard lock(lookup->mutex);
            if (lookup->done) {
                address = lookup->address;
                return lookup->found;
            }
        }
        const WaitResult wait = lookup->event ? WaitFd(lookup->event.Get(), POLLIN, std::nullopt)
                                              : WaitFd(-1, 0, Clock::now() + platform::kCancelSlice);
        if (wait == WaitResult::Cancelled || wait == WaitResult::Failed) {
            return false;
        }
    }
}

bool CRemotePipe::ConnectSocket(const sockaddr_in& address) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        Show("Error Creating Socket", PromptIcon::Stop, true);
        return false;
    }
    AdoptSocket(fd);
    const int on = 1;
    if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
        Show("Could Not Set TCP_NODELAY Option", PromptIcon::Exclamation, false);
    }
    int error = ECANCELED;
    if (!CancelRequested()) {
        error = platform::ConnectNonBlocking(
            fd, reinterpret_cast<const sockaddr*>(&address), sizeof address,
            {.cancelled = &m_cancelRequested, .cancelEvent = m_cancelEvent.Get()});
    }
    if (error != 0) {
        const int32_t code = SocketErrorFromErrno(error);
        if (!Aborted() && !CancelRequested()) {
            Log(SocketErrorLine("connect()", code));
            Show("Error Connecting To Remote Host", PromptIcon::Stop, true);
        }
        return false;
    }
    return true;
}

void CRemotePipe::SetKeepAlive(int fd) {
    uint32_t seconds = kDefaultKeepAliveSeconds;
    if (!ReadRegistryDword(suite::kBrantorKey, "KeepAlive", seconds)) {
        seconds = kDefaultKeepAliveSeconds;
    }
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
        Show(Format("Could not Set SO_KEEPALIVE Option %d", SocketErrorFromErrno(errno)),
             PromptIcon::Exclamation, false);
    }
    const int idle = static_cast<int>(std::clamp<uint32_t>(seconds, 1, kMaxKeepIdleSeconds));
    const int interval = kKeepAliveIntervalSeconds;
    if (::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0 ||
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0) {
        Show("Could Not Set SIO_KEEPALIVE_VALS Option", PromptIcon::Exclamation, false);
    }
}

StartTlsAnswer JudgeStartTlsAnswer(std::string_view seen) {
    const std::size_t found = seen.substr(0, kStartTlsAnswerLimit).find(kReadyForTls);
    if (found == std::string_view::npos) {
        if (seen.size() < kStartTlsAnswerLimit) {
            return {StartTlsVerdict::Waiting, {}};
        }
        return {StartTlsVerdict::Refused, "The host did not answer STARTTLS with READYFORTLS"};
    }
    const std::string_view after = seen.substr(found + kReadyForTls.size());
    if (after == "\r\n" || after == "\n") {
        return {StartTlsVerdict::Ready, {}};
    }
    if (after.empty() || after == "\r") {
        return {StartTlsVerdict::ReadyIfQuiet, {}};
    }
    return {StartTlsVerdict::Refused, "Unexpected bytes after READYFORTLS: connection aborted"};
}

bool CRemotePipe::StartTls(int fd) {
    const auto refuse = [this](std::string_view why) {
        if (CancelRequested()) {
            return false;
        }
        SetAborted();
        Log(why);
        Show("Server Doesn't Support TLS", PromptIcon::None, false);
        return false;
    };
    if (!Write(kStartTls.data(), static_cast<uint32_t>(kStartTls.size()))) {
        return refuse("STARTTLS could not be sent");
    }

    // The answer may come in pieces.
    const auto deadline = Clock::now() + m_startTlsTimeout;
    std::string seen;
    StartTlsAnswer answer = JudgeStartTlsAnswer(seen);
    std::array<char, 4096> buffer;
    while (answer.verdict == StartTlsVerdict::Waiting) {
        const WaitResult wait = WaitFd(fd, POLLIN, deadline);
        if (wait == WaitResult::Cancelled) {
            return false;
        }
        if (wait != WaitResult::Ready) {
            break;
        }
        const std::size_t room = std::min(buffer.size(), kStartTlsAnswerLimit - seen.size());
        const ssize_t n = ::recv(fd, buffer.data(), room, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        seen.append(buffer.data(), static_cast<std::size_t>(n));
        answer = JudgeStartTlsAnswer(seen);
    }
    if (answer.verdict == StartTlsVerdict::Waiting) {
        return refuse("The host did not answer STARTTLS with READYFORTLS");
    }
    while (answer.verdict == StartTlsVerdict::ReadyIfQuiet) {
        const WaitResult wait = WaitFd(fd, POLLIN, Clock::now() + kTerminatorGrace);
        if (wait == WaitResult::Cancelled) {
            return false;
        }
        if (wait != WaitResult::Ready) {
            break;  // quiet: the host sent no line end
        }
        char next = 0;
        const ssize_t n = ::recv(fd, &next, 1, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        if (n <= 0) {
            return refuse("The host closed the connection after READYFORTLS");
        }
        seen.push_back(next);
        answer = JudgeStartTlsAnswer(seen);
    }
    if (answer.verdict == StartTlsVerdict::Refused) {
        return refuse(answer.why);
    }
    // The host speaks next only after our hello; a byte waiting now is not part of the handshake.
    pollfd pending{fd, POLLIN, 0};
    if (::poll(&pending, 1, 0) > 0) {
        char next = 0;
        if (::recv(fd, &next, 1, MSG_DONTWAIT | MSG_PEEK) > 0) {
            return refuse("Unexpected bytes after READYFORTLS: connection aborted");
        }
    }

    m_ssl->SetLogSink([this](std::string_view line) { Log(line); });
    if (!m_ssl->Connect(fd)) {
        SetAborted();
        return false;
    }
    return true;
}

// ---- Login sequence ----

std::string CRemotePipe::BuildHostCommandLine() {
    std::string command;
    if (m_mode != session_mode::kNew) {
        command = Format("sorel -t%d -p%d -pipe", m_terminal, m_printer);
        m_flags |= flags::kPipeLogin;
    } else if ((m_flags & flags::kBillingServer) != 0) {
        command = Format("sorelserv n -t%d -p%d -pipe", m_terminal, m_printer);
    } else if ((m_flags & flags::kMso) != 0) {
        command = Format("msoserv n -t%d -p%d -pipe", m_terminal, m_printer);
    } else if ((m_flags & flags::kRunCommand) != 0) {
        command = m_runCommand.Str();
        if (command.find("@:tms") != std::string::npos) {
            command += "-noploc";
        }
        if (const std::size_t at = command.find('@'); at != std::string::npos && m_terminal != 0) {
            command.insert(at, "-t" + std::to_string(m_terminal) + " ");
        }
        if (command.find('%') != std::string::npos) {
            ReplaceNumberMarker(command, "-t%T", m_terminal);
            ReplaceNumberMarker(command, "-p%P", m_printer);
        }
    } else {
        command = Format("sorel -t%d -p%d -pipe", m_terminal, m_printer);
        m_flags |= flags::kPipeLogin;
    }
    if (m_wanMode != 0) {
        m_flags |= flags::kWan;
    }
    return command;
}

std::optional<std::array<uint8_t, 6>> CRemotePipe::AdapterAddress() const {
    uuid_t uuid;
    ::uuid_generate_time(uuid);
    if (::uuid_is_null(uuid) != 0) {
        return std::nullopt;
    }
    std::array<uint8_t, 6> node{};
    std::copy(uuid + 10, uuid + 16, node.begin());
    return node;
}

std::optional<std::string> CRemotePipe::BuildSystemId() {
    const auto adapter = AdapterAddress();
    if (!adapter) {
        Show("Failed to Build System ID", PromptIcon::Stop, true);
        return std::nullopt;
    }
    std::string address = "0.0.0.0";
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(Socket(), reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        Show("getsockname failed", PromptIcon::None, false);
    } else if (local.sin_family == AF_INET) {
        std::array<char, INET_ADDRSTRLEN> text{};
        if (::inet_ntop(AF_INET, &local.sin_addr, text.data(), text.size()) != nullptr) {
            address = text.data();
        }
    }
    std::string id = FormatSystemId(*adapter, DesktopNumber(), address);
    CopyField(m_systemId, id, "system ID");
    return id;
}

void CRemotePipe::SendPipeModeLines() {
    RecvSync();
    XmitInteger(m_mode);
    XmitFormat("%d %s\n", m_appUser, m_systemId.CStr());
    XmitString(m_appPassword.View());
    XmitString(m_terminalId.View());
    XmitString(m_runText.View());
}

bool CRemotePipe::Login() {
    const int32_t version = LoginVersionNumber();
    if (Aborted()) {
        return false;
    }
    const std::string command = BuildHostCommandLine();
    Log(command);
    Log("About to send login sequence to host");
    const auto systemId = BuildSystemId();
    if (!systemId) {
        return false;
    }
    try {
        XmitFormat("%d %s %d\n", m_flags | flags::kOnWire, systemId->c_str(), version);
        XmitString(m_osUser.View());
        XmitString(m_osPassword.View());
        XmitString(m_dataSet.View());
        XmitString(m_programDir.View());
        XmitInteger(m_terminal);
        XmitString(m_environment.View());
        XmitString(command);
        Progress(60);
        if ((m_flags & flags::kBillingServer) != 0) {
            Log("Sending billing service information");
            XmitString(m_billingDataSet.View());
            XmitString(m_switch1.View());
            XmitString(m_switch4.View());
        }
        if ((m_flags & flags::kMso) != 0) {
            Log("Sending MSO information");
            XmitString(m_billingDataSet.View());
            XmitString(m_switch1.View());
        }
        if ((m_flags & flags::kPipeLogin) != 0) {
            Log("Sending pipe-mode information");
            SendPipeModeLines();
        }
        if ((m_flags & flags::kRunCommand) != 0) {
            Log("Sending run command information");
            const std::string_view run = m_runCommand.View();
            if (run.starts_with("dload -pipelogin2") || run.starts_with("dload -pipelogin3")) {
                SendPipeModeLines();
            } else if (run.starts_with("dload -pipelogin")) {
                RecvSync();
            }
        }
        Log("Finished sending login sequence to host");
        if (m_mode == session_mode::kAfterSwitch) {
            m_mode = session_mode::kFurtherWindow;
        }
        Progress(80);
        return true;
    } catch (const CCommErr& error) {
        if (!Aborted()) {
            std::string text = error.UserText();
            for (std::size_t at = text.find("\r\r\n"); at != std::string::npos;
                 at = text.find("\r\r\n", at)) {
                text.replace(at, 3, "\r\n");
            }
            Log(text);
            Show(text, PromptIcon::Stop, true);
        }
        return false;
    }
}

}  // namespace hostlink
