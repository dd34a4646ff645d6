// The local host pipe: options, login step, the host program's start with its command line and environment,
// the download tool's login exchange, session switches, new windows and the LocalSessionState record.
#include "hostlink/local_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>
#include <utility>
#include <vector>

#include "platform/byte_order.h"
#include "platform/event_fd.h"
#include "platform/host_path.h"
#include "platform/poll_wait.h"
#include "platform/process_environment.h"
#include "platform/registry.h"
#include "platform/sigpipe_block.h"
#include "platform/spawn.h"
#include "platform/user_prompt.h"
#include "platform/win32_error.h"
#include "practice/practice.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"

namespace hostlink {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kBrokenPipe = 109;        // the host closed its output
constexpr int32_t kNoData = 232;            // the host closed its input
constexpr int32_t kOperationAborted = 995;  // Close interrupted the call
constexpr uint8_t kEsc = 0x1B;

// Byte offsets of the record's fields.
namespace offset {
constexpr std::size_t kMode = 0;
constexpr std::size_t kSwitch4 = 4;
constexpr std::size_t kRunText = 132;
constexpr std::size_t kTerminalId = 212;
constexpr std::size_t kAppUser = 292;
constexpr std::size_t kTerminalNumber = 296;
constexpr std::size_t kPrinterNumber = 300;
constexpr std::size_t kFlags = 304;
constexpr std::size_t kAppPassword = 308;
constexpr std::size_t kDataSet = 388;
constexpr std::size_t kProgramDir = 900;
constexpr std::size_t kSwitch3 = 1412;
constexpr std::size_t kRunCommand = 1924;
constexpr std::size_t kBillServID = 2436;
constexpr std::size_t kStdinWrite = 2440;
constexpr std::size_t kStdoutRead = 2444;
constexpr std::size_t kSwitch1 = 2448;
constexpr std::size_t kSwitch2 = 2576;
static_assert(kSwitch2 + 512 == LocalSessionState::kSize);
}  // namespace offset

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Pipe ends that a pipe offered with SaveState(false) and that outlived it, waiting for the pipe of this
// process that loads the record naming them (a control re-created on the same session).
struct ParkedEnds {
    platform::UniqueFd stdinWrite;
    platform::UniqueFd stdoutRead;
};
std::mutex g_parkedMutex;
std::map<std::pair<int, int>, ParkedEnds>& Parked() {
    static std::map<std::pair<int, int>, ParkedEnds> parked;
    return parked;
}

// The login dialog's place when none is installed: it knows the remembered user number and can take
// credentials, but cannot ask for them.
class NoLoginDialog : public LocalLoginUi {
  public:
    NoLoginDialog() {
        platform::RegType type = platform::RegType::Dword;
        uint32_t value = 0;
        uint32_t size = sizeof value;
        if (suite::RegReadValue(platform::HKey::CurrentUser, suite::ServerKey(suite::GetClientMode()),
                                "UserNumber", type, &value, size) == platform::win32::kSuccess &&
            size == sizeof value) {
            m_user = static_cast<int32_t>(value);
        }
    }
    int32_t UserNumber() const override { return m_user; }
    std::string Password() const override { return m_password; }
    void SetCredentials(int32_t user, std::string_view password) override {
        m_user = user;
        m_password = std::string(password);
    }
    bool ShowModal() override {
        platform::DefaultPrompt().Message(
            "Cannot log in: no login dialog is available to ask for the user number and password.",
            platform::PromptIcon::Stop);
        return false;
    }

  private:
    int32_t m_user = 1;
    std::string m_password;
};

bool IsWindowsPath(std::string_view path) {
    const bool drive =
        path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    return drive || path.find('\\') != std::string_view::npos;
}

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
    for (std::size_t pos = text.find(what); pos != std::string::npos;
         pos = text.find(what, pos + with.size())) {
        text.replace(pos, what.size(), with);
    }
}

}  // namespace

LocalSessionState::Bytes LocalSessionState::ToRecord() const {
    Bytes out{};
    uint8_t* at = out.data();
    platform::StoreLittleEndian(at + offset::kMode, m_mode);
    m_switch4.WriteTo(at + offset::kSwitch4);
    m_runText.WriteTo(at + offset::kRunText);
    m_terminalId.WriteTo(at + offset::kTerminalId);
    platform::StoreLittleEndian(at + offset::kAppUser, m_appUser);
    platform::StoreLittleEndian(at + offset::kTerminalNumber, m_terminalNumber);
    platform::StoreLittleEndian(at + offset::kPrinterNumber, m_printerNumber);
    platform::StoreLittleEndian(at + offset::kFlags, m_flags);
    m_appPassword.WriteTo(at + offset::kAppPassword);
    m_dataSet.WriteTo(at + offset::kDataSet);
    m_programDir.WriteTo(at + offset::kProgramDir);
    m_switch3.WriteTo(at + offset::kSwitch3);
    m_runCommand.WriteTo(at + offset::kRunCommand);
    platform::StoreLittleEndian(at + offset::kBillServID, m_BillServID);
    platform::StoreLittleEndian(at + offset::kStdinWrite, m_stdinWrite);
    platform::StoreLittleEndian(at + offset::kStdoutRead, m_stdoutRead);
    m_switch1.WriteTo(at + offset::kSwitch1);
    m_switch2.WriteTo(at + offset::kSwitch2);
    return out;
}

std::optional<LocalSessionState> LocalSessionState::FromRecord(std::span<const uint8_t> record) {
    if (record.size() < kSize) {
        return std::nullopt;
    }
    const uint8_t* at = record.data();
    LocalSessionState state;
    state.m_mode = platform::LoadLittleEndian<int32_t>(at + offset::kMode);
    state.m_switch4.ReadFrom(at + offset::kSwitch4);
    state.m_runText.ReadFrom(at + offset::kRunText);
    state.m_terminalId.ReadFrom(at + offset::kTerminalId);
    state.m_appUser = platform::LoadLittleEndian<int32_t>(at + offset::kAppUser);
    state.m_terminalNumber = platform::LoadLittleEndian<int32_t>(at + offset::kTerminalNumber);
    state.m_printerNumber = platform::LoadLittleEndian<int32_t>(at + offset::kPrinterNumber);
    state.m_flags = platform::LoadLittleEndian<int32_t>(at + offset::kFlags);
    state.m_appPassword.ReadFrom(at + offset::kAppPassword);
    state.m_dataSet.ReadFrom(at + offset::kDataSet);
    state.m_programDir.ReadFrom(at + offset::kProgramDir);
    state.m_switch3.ReadFrom(at + offset::kSwitch3);
    state.m_runCommand.ReadFrom(at + offset::kRunCommand);
    state.m_BillServID = platform::LoadLittleEndian<int32_t>(at + offset::kBillServID);
    state.m_stdinWrite = platform::LoadLittleEndian<int32_t>(at + offset::kStdinWrite);
    state.m_stdoutRead = platform::LoadLittleEndian<int32_t>(at + offset::kStdoutRead);
    state.m_switch1.ReadFrom(at + offset::kSwitch1);
    state.m_switch2.ReadFrom(at + offset::kSwitch2);
    return state;
}

CLocalPipe::CLocalPipe(PipeOwner* owner)
    : CCommPipe(0), m_wake(platform::MakeEventFd()), m_readerWake(platform::MakeEventFd()) {
    m_owner = owner;
}

CLocalPipe::~CLocalPipe() {
    std::unique_lock lock(m_ioMutex);
    if (m_offered && m_stdinWrite && m_stdoutRead) {
        std::lock_guard parkedLock(g_parkedMutex);
        const std::pair key(m_stdinWrite.Get(), m_stdoutRead.Get());
        Parked()[key] = ParkedEnds{std::move(m_stdinWrite), std::move(m_stdoutRead)};
        return;
    }
    lock.unlock();
    Close();
}

bool CLocalPipe::EndUsable(const platform::UniqueFd& end) const {
    if (m_closing || !end) {
        SetLastError(m_closing ? kOperationAborted : platform::win32::kInvalidHandle);
        return false;
    }
    return true;
}

bool CLocalPipe::BeginIo(const platform::UniqueFd& end, int& fd) {
    std::lock_guard lock(m_ioMutex);
    if (!EndUsable(end)) {
        return false;
    }
    fd = end.Get();
    ++m_ioActive;
    return true;
}

platform::WaitResult CLocalPipe::WaitForEnd(int fd, short events, bool reader) const {
    platform::FdWait wait{.fd = fd, .events = events, .cancelled = &m_closing, .cancelEvent = m_wake.Get()};
    if (reader) {
        wait.wakeEvent = m_readerWake.Get();
        if (!m_readerWake) {
            // No eventfd to be woken by: look at the flag now and then instead.
            wait.deadline = std::chrono::steady_clock::now() + platform::kCancelSlice;
        }
    }
    return platform::WaitForFd(wait);
}

void CLocalPipe::WakeReader() {
    m_readerWoken.store(true, std::memory_order_release);
    platform::SignalEvent(m_readerWake);
}

bool CLocalPipe::TakeReaderWake() {
    // Drained first: a wake that lands in between leaves the flag set for the next look, and at worst a
    // signalled eventfd that makes one wait end for nothing.
    platform::DrainEvent(m_readerWake);
    return m_readerWoken.exchange(false, std::memory_order_acq_rel);
}

bool CLocalPipe::Offered() const {
    std::lock_guard lock(m_ioMutex);
    return m_offered;
}

void CLocalPipe::EndIo() {
    std::lock_guard lock(m_ioMutex);
    if (--m_ioActive == 0) {
        m_ioIdle.notify_all();
    }
}

bool CLocalPipe::Read(void* buffer, uint32_t count, uint32_t& bytesRead) {
    bytesRead = 0;
    int fd = -1;
    if (!BeginIo(m_stdoutRead, fd)) {
        return false;
    }
    if (count == 0) {
        EndIo();
        return true;
    }
    bool ok = false;
    // While the host keeps writing, bytes are waiting: the end is non-blocking, so read first and wait
    // only when it has nothing.
    bool wait = false;
    for (;;) {
        // A wake is looked at before every read, so one that came before the wait is never slept through.
        // Draining its event costs a call, so only a set flag drains it: an event left by a wake taken
        // here ends one wait early, and the wait drains it.
        const bool woken = m_readerWoken.load(std::memory_order_acquire) && TakeReaderWake();
        if (woken) {
            SetLastError(kOperationAborted);
            break;
        }
        if (wait) {
            BeforeReadWait();
            const platform::WaitResult result = WaitForEnd(fd, POLLIN, true);
            if (result == platform::WaitResult::Cancelled) {
                SetLastError(kOperationAborted);
                break;
            }
            if (result == platform::WaitResult::TimedOut) {
                continue;
            }
            if (result != platform::WaitResult::Ready) {
                SetLastError(platform::win32::FromErrno(errno));
                break;
            }
            if (m_readerWoken.load(std::memory_order_acquire)) {
                continue;  // the wake goes before bytes that are waiting too
            }
        }
        wait = true;
        const ssize_t n = ::read(fd, buffer, count);
        if (n > 0) {
            bytesRead = static_cast<uint32_t>(n);
            ok = true;
            break;
        }
        if (n == 0) {
            SetLastError(kBrokenPipe);
            break;
        }
        if (errno != EINTR && errno != EAGAIN) {
            SetLastError(platform::win32::FromErrno(errno));
            break;
        }
    }
    EndIo();
    return ok;
}

bool CLocalPipe::WriteBytes(const void* bytes, uint32_t count) {
    int fd = -1;
    if (!BeginIo(m_stdinWrite, fd)) {
        return false;
    }
    const auto* next = static_cast<const uint8_t*>(bytes);
    std::size_t left = count;
    bool ok = true;
    while (left > 0) {
        const ssize_t n = platform::WriteHoldingSigpipe(fd, next, left);
        if (n > 0) {
            next += n;
            left -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            // The host is behind with its input: wait for room, or for Close.
            const platform::WaitResult wait = WaitForEnd(fd, POLLOUT);
            if (wait == platform::WaitResult::Ready) {
                continue;
            }
            SetLastError(wait == platform::WaitResult::Cancelled ? kOperationAborted
                                                                 : platform::win32::FromErrno(errno));
            ok = false;
            break;
        }
        SetLastError(n < 0 && errno == EPIPE ? kNoData : platform::win32::FromErrno(n < 0 ? errno : EIO));
        ok = false;
        break;
    }
    EndIo();
    return ok;
}

TryWriteResult CLocalPipe::TryWriteBytes(const void* bytes, uint32_t count) {
    if (count > PIPE_BUF) {
        return TryWriteResult::NotWritten;  // a longer write could be cut by a host that reads slowly
    }
    // The write never waits, so it runs under the I/O lock itself: a Close waits for it as for any I/O under
    // way, and the key pays for one lock where registering it as I/O in progress would take two.
    std::lock_guard lock(m_ioMutex);
    if (!EndUsable(m_stdinWrite)) {
        return TryWriteResult::Failed;
    }
    ssize_t n = 0;
    do {
        // The end is non-blocking.
        n = count == 0 ? 0 : platform::WriteHoldingSigpipe(m_stdinWrite.Get(), bytes, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && errno == EAGAIN) {
        return TryWriteResult::NotWritten;
    }
    if (n < 0) {
        SetLastError(errno == EPIPE ? kNoData : platform::win32::FromErrno(errno));
        return TryWriteResult::Failed;
    }
    return TryWriteResult::Written;
}

void CLocalPipe::CloseEnds() {
    std::unique_lock lock(m_ioMutex);
    m_closing.store(true, std::memory_order_release);
    platform::SignalEvent(m_wake);
    m_ioIdle.wait(lock, [this] { return m_ioActive == 0; });
    m_stdinWrite.Reset();
    m_stdoutRead.Reset();
    platform::DrainEvent(m_wake);
    m_closing.store(false, std::memory_order_release);
    m_offered = false;
}

void CLocalPipe::Close() {
    CloseEnds();
}

void CLocalPipe::InstallEnds(platform::UniqueFd stdinWrite, platform::UniqueFd stdoutRead) {
    std::lock_guard lock(m_ioMutex);
    m_stdinWrite = std::move(stdinWrite);
    m_stdoutRead = std::move(stdoutRead);
    m_offered = false;
    (void)TakeReaderWake();  // a wake meant for the reader of earlier ends
}

void CLocalPipe::AttachEnds(platform::UniqueFd stdinWrite, platform::UniqueFd stdoutRead) {
    SetNonBlocking(stdinWrite.Get());
    SetNonBlocking(stdoutRead.Get());
    CloseEnds();
    InstallEnds(std::move(stdinWrite), std::move(stdoutRead));
}

bool CLocalPipe::Open(PipeOwner* owner) {
    if (owner != nullptr) {
        m_owner = owner;
    }
    m_loginDlg = m_loginUiFactory ? m_loginUiFactory() : nullptr;
    if (!m_loginDlg) {
        m_loginDlg = std::make_unique<NoLoginDialog>();
    }
    const bool serverWithoutS = (m_flags & flags::kServerWithoutS) != 0 && m_mode == session_mode::kNew;
    if (!serverWithoutS) {
        const std::string_view run = m_runCommand.View();
        const bool pipeLogin = run.find(" -pipelogin2") != std::string_view::npos ||
                               run.find(" -pipelogin3") != std::string_view::npos;
        if (!run.empty() && !pipeLogin) {
            // The program logs in by itself: the dialog's remembered values, never shown.
        } else if (m_appUser > 0 && !m_appPassword.Empty()) {
            m_loginDlg->SetCredentials(m_appUser, m_appPassword.View());
        } else if (!m_loginDlg->ShowModal()) {
            return false;
        }
        m_appUser = m_loginDlg->UserNumber();
        CopyField(m_appPassword, m_loginDlg->Password(), "application password");
    }
    if (!Launch()) {
        CloseEnds();
        return false;
    }
    return true;
}

std::string CLocalPipe::HostCommandLine() const {
    std::string command;
    if (!m_runCommand.Empty()) {
        command = m_runCommand.Str();
    } else if ((m_flags & flags::kBillingServer) != 0) {
        command = "billsrv  -t%T -p%P";
    } else if ((m_flags & flags::kMso) != 0) {
        command = "billsrv  -t%T -p%P -s";
    } else {
        command = "sorel -t%T -p%P";
    }
    const std::string_view run = m_runCommand.View();
    const bool pipeLogin = run.find(" -pipelogin2") != std::string_view::npos ||
                           run.find(" -pipelogin3") != std::string_view::npos;
    if (m_appUser > 0 && !m_appPassword.Empty() && !pipeLogin) {
        command += " -#" + std::to_string(m_appUser) + " " + m_appPassword.Str();
    }
    if (m_mode != session_mode::kNew) {
        command += " -w";
    }
    if (!m_runText.Empty()) {
        command += " -d" + m_runText.Str();
    }
    if (!m_terminalId.Empty()) {
        command += " -c" + m_terminalId.Str();
    }
    if (!m_switch4.Empty()) {
        command += " B" + m_switch4.Str();
    }
    if ((m_flags & flags::kFromDesktop) != 0) {
        command += " -fromdesktop";
    }
    if (command.find('%') != std::string::npos) {
        ReplaceAll(command, "-t%T", m_terminalNumber != 0 ? "-t" + std::to_string(m_terminalNumber) : "");
        ReplaceAll(command, "-p%P", m_printerNumber != 0 ? "-p" + std::to_string(m_printerNumber) : "");
    }
    if (command.find("@:tms") != std::string::npos) {
        // Its own argument even when options follow the run command, else it would end the last one.
        if (command.back() != ' ') {
            command += ' ';
        }
        command += "-noploc";
    }
    return command;
}

bool CLocalPipe::Launch() {
    platform::SetProcessVariable("VARNELVER", std::to_string(VarnelVersionNumber()));
    CloseEnds();  // the ends of an earlier start, or ones a record handed over, make way
    if (m_mode == session_mode::kAfterSwitch || m_mode == session_mode::kAfterHostChange) {
        m_mode = session_mode::kNew;
        m_flags = 0;
    }
    // A carriage return ends the run text when it came from the host's own command.
    if (m_runText.View().ends_with('\r')) {
        const std::string text = m_runText.Str();
        m_runText.Assign(std::string_view(text).substr(0, text.size() - 1));
    }
    const std::string command = HostCommandLine();

    // The data set is the host program's folder; a Windows form is a host-given path.
    std::optional<fs::path> folder = fs::path();
    std::string why;
    if (!m_dataSet.Empty()) {
        if (IsWindowsPath(m_dataSet.View())) {
            folder = platform::HostPath(platform::Registry::Default()).Translate(m_dataSet.View(), &why);
        } else {
            folder = fs::path(m_dataSet.Str());
        }
    }

    auto start = [&](const std::string& line) -> std::optional<platform::SpawnedProcess> {
        if (!folder) {
            return std::nullopt;
        }
        std::vector<std::string> argv = platform::SplitCommandLine(line);
        if (argv.empty() || argv.front().empty()) {
            why = "no program in \"" + line + "\"";
            return std::nullopt;
        }
        platform::SpawnOptions options;
        options.program = argv.front();
        options.argv = std::move(argv);
        options.workingFolder = *folder;
        options.pipeStdin = true;
        options.pipeStdout = true;
        options.stderrToStdout = true;
        int32_t error = 0;
        std::string message;
        auto child = platform::Spawn(options, &error, &message);
        if (!child) {
            SetLastError(error);
            why = message;
        }
        return child;
    };

    std::string tried = command;
    std::optional<platform::SpawnedProcess> child = start(command);
    if (!child && !m_programDir.Empty()) {
        const std::string_view dir = m_programDir.View();
        tried = std::string(dir) + (dir.ends_with('/') || dir.ends_with('\\') ? "" : "/") + command;
        child = start(tried);
    }
    if (!child) {
        if (!folder) {
            why = "the data set \"" + m_dataSet.Str() + "\" cannot be the working folder: " + why;
        }
        LogLine("Launch: " + why);
        platform::DefaultPrompt().Message("Error Creating Child: \"" + tried + "\"",
                                          platform::PromptIcon::Stop);
        return false;
    }
    SetNonBlocking(child->stdinWrite.Get());
    SetNonBlocking(child->stdoutRead.Get());
    InstallEnds(std::move(child->stdinWrite), std::move(child->stdoutRead));
    m_childPid = child->pid;
    // The host program ends on its own time; reap it then so that no zombie stays behind.
    std::thread([pid = child->pid] { platform::WaitForExit(pid); }).detach();
    return LoginDownloadTool();
}

CLocalPipe::SyncOutcome CLocalPipe::WaitForDownloadSync() {
    // A tool that never answers must not hold the open for ever; Close ends the wait at once.
    const auto deadline = std::chrono::steady_clock::now() + m_syncTimeout;
    auto next = [this, deadline](uint8_t& byte) {
        int fd = -1;
        if (!BeginIo(m_stdoutRead, fd)) {
            return false;
        }
        platform::FdWait wait{
            .fd = fd, .events = POLLIN, .cancelled = &m_closing, .cancelEvent = m_wake.Get()};
        wait.deadline = deadline;
        const platform::WaitResult ready = platform::WaitForFd(wait);
        EndIo();
        if (ready != platform::WaitResult::Ready) {
            LogLine(ready == platform::WaitResult::TimedOut
                        ? "The download tool did not send its sync in time"
                        : "The wait for the download tool's sync ended");
            return false;
        }
        uint32_t got = 0;
        return Read(&byte, 1, got) && got == 1;
    };
    const SyncOutcome failed{SyncOutcome::Kind::Failed, {}};
    for (;;) {
        uint8_t byte = 0;
        if (!next(byte)) {
            return failed;
        }
        if (byte == '~') {
            return {SyncOutcome::Kind::Synced, {}};
        }
        if (byte != kEsc) {
            continue;
        }
        // A host report: ESC '[' '%' text 0x01 kind; anything else after the ESC is dropped.
        if (!next(byte)) {
            return failed;
        }
        if (byte != '[') {
            continue;
        }
        if (!next(byte)) {
            return failed;
        }
        if (byte != '%') {
            continue;
        }
        std::string text;
        bool cut = false;
        for (;;) {
            if (!next(byte)) {
                return failed;
            }
            if (byte == 0x01) {
                break;
            }
            AppendHostText(text, byte, cut, "Download sync");
        }
        if (!next(byte)) {
            return failed;
        }
        if (byte == 'P') {
            return {SyncOutcome::Kind::Refused, std::move(text)};  // the tool's own words, and no session
        }
    }
}

bool CLocalPipe::LoginDownloadTool() {
    static constexpr std::string_view kPipeLogin = "dload -pipelogin";
    const std::string_view run = m_runCommand.View();
    if ((m_flags & flags::kRunCommand) == 0 || !run.starts_with(kPipeLogin)) {
        return true;
    }
    // The wait may be long: the owner keeps its window alive meanwhile, and may end the wait by closing.
    SyncOutcome sync;
    const auto wait = [this, &sync] { sync = WaitForDownloadSync(); };
    if (m_owner != nullptr) {
        m_owner->RunWait(wait, [this] { Close(); });
    } else {
        wait();
    }
    switch (sync.kind) {
        case SyncOutcome::Kind::Synced:
            break;
        case SyncOutcome::Kind::Refused:
            platform::DefaultPrompt().Message(sync.text, platform::PromptIcon::Stop);
            return false;
        case SyncOutcome::Kind::Failed:
            platform::DefaultPrompt().Message("Error Receiving Dload Sync", platform::PromptIcon::Stop);
            return false;
    }
    if (run.size() > kPipeLogin.size() && run[kPipeLogin.size()] == '2') {
        try {
            XmitInteger(m_mode);
            XmitFormat("%d\n", m_appUser);
            XmitString(m_appPassword.View());
            XmitString(m_terminalId.View());
            XmitString(m_runText.View());
        } catch (const CCommErr& err) {
            platform::DefaultPrompt().Message(err.UserText(), platform::PromptIcon::Stop, "Ostrel");
            return false;
        }
    }
    return true;
}

bool CLocalPipe::StartNewSession(std::string_view runText) {
    if ((m_flags & (flags::kBillingServer | flags::kMso)) == 0 && m_mode != session_mode::kAfterHostChange) {
        m_mode = session_mode::kFurtherWindow;
    }
    CopyField(m_runText, runText, "run text");
    platform::UniqueFd handle = SaveStateFor(false, false);
    if (!handle) {
        return false;
    }
    // The new window holds its inherited copy; ours closes with `handle`.
    return StartContainerWindow({"-x" + std::to_string(handle.Get())}, handle.Get());
}

void CLocalPipe::SetDataSet(std::string_view dataSet) {
    CopyField(m_dataSet, dataSet, "data set");
}

void CLocalPipe::SwitchMsoSession(std::string_view s1, std::string_view s2, std::string_view /*s3*/) {
    CopyField(m_switch1, s1, "first switch string");
    CopyField(m_switch2, s2, "second switch string");
    m_runCommand.Clear();
    m_flags = flags::kMso;
    m_mode = session_mode::kAfterSwitch;
    StartNewSession("/m1");
}

void CLocalPipe::SwitchBillingSession(std::string_view s1, std::string_view s2, std::string_view s3,
                                      std::string_view s4) {
    CopyField(m_switch1, s1, "first switch string");
    CopyField(m_switch2, s2, "second switch string");
    CopyField(m_switch3, s3, "third switch string");
    CopyField(m_switch4, s4, "fourth switch string");
    SetDataSet(s2);
    m_runCommand.Clear();
    m_flags = flags::kBillingServer;
    m_mode = session_mode::kAfterSwitch;
    platform::SetProcessVariable("SORELPRACTICE", "(*)" + std::string(s1));
    StartNewSession("/m1");
}

void CLocalPipe::SetAppUser(int32_t user, std::string_view password) {
    m_appUser = user;
    CopyField(m_appPassword, password, "application password");
    if (m_owner != nullptr) {
        m_owner->SetAppUser(user, password);
    }
}

LocalSessionState CLocalPipe::State() const {
    LocalSessionState state;
    state.m_mode = m_mode;
    state.m_switch4 = m_switch4;
    state.m_runText = m_runText;
    state.m_terminalId = m_terminalId;
    state.m_appUser = m_appUser;
    state.m_terminalNumber = m_terminalNumber;
    state.m_printerNumber = m_printerNumber;
    state.m_flags = m_flags;
    state.m_appPassword = m_appPassword;
    state.m_dataSet = m_dataSet;
    state.m_programDir = m_programDir;
    state.m_switch3 = m_switch3;
    state.m_runCommand = m_runCommand;
    state.m_BillServID = m_BillServID;
    {
        std::lock_guard lock(m_ioMutex);
        state.m_stdinWrite = m_stdinWrite.Get();
        state.m_stdoutRead = m_stdoutRead.Get();
    }
    state.m_switch1 = m_switch1;
    state.m_switch2 = m_switch2;
    return state;
}

void CLocalPipe::AdoptState(const LocalSessionState& state) {
    m_mode = state.m_mode;
    m_switch4 = state.m_switch4;
    m_runText = state.m_runText;
    m_terminalId = state.m_terminalId;
    m_appUser = state.m_appUser;
    m_terminalNumber = state.m_terminalNumber;
    m_printerNumber = state.m_printerNumber;
    m_flags = state.m_flags;
    m_appPassword = state.m_appPassword;
    m_dataSet = state.m_dataSet;
    m_programDir = state.m_programDir;
    m_switch3 = state.m_switch3;
    m_runCommand = state.m_runCommand;
    m_BillServID = state.m_BillServID;
    m_switch1 = state.m_switch1;
    m_switch2 = state.m_switch2;

    // The ends the record names, when a pipe of this process left them for us.
    ParkedEnds ends;
    {
        std::lock_guard parkedLock(g_parkedMutex);
        auto it = Parked().find({state.m_stdinWrite, state.m_stdoutRead});
        if (it == Parked().end()) {
            return;
        }
        ends = std::move(it->second);
        Parked().erase(it);
    }
    CloseEnds();
    InstallEnds(std::move(ends.stdinWrite), std::move(ends.stdoutRead));
}

platform::UniqueFd CLocalPipe::SaveStateFor(bool withHeader, bool offer) {
    const LocalSessionState::Bytes record = State().ToRecord();
    platform::UniqueFd handle = CreateStateMapping(LocalSessionState::kHeader, record, withHeader);
    if (handle && offer) {
        std::lock_guard lock(m_ioMutex);
        m_offered = m_stdinWrite && m_stdoutRead;
    }
    return handle;
}

platform::UniqueFd CLocalPipe::SaveState(bool withHeader) {
    // A record without header stays in this process (the detach record): its ends may be taken over.
    return SaveStateFor(withHeader, !withHeader);
}

bool CLocalPipe::LoadState(int handle, pid_t processId, std::optional<std::span<const uint8_t>> record) {
    std::optional<LocalSessionState> state;
    if (record) {
        state = LocalSessionState::FromRecord(*record);
        if (!state) {
            LogLine("LoadState: the local session record is " + std::to_string(record->size()) +
                    " bytes, not " + std::to_string(LocalSessionState::kSize));
            return false;
        }
    } else {
        const std::optional<std::vector<uint8_t>> bytes =
            ReadStateMapping(handle, processId, LocalSessionState::kSize);
        if (!bytes) {
            return false;
        }
        state = LocalSessionState::FromRecord(*bytes);
    }
    AdoptState(*state);
    return true;
}

void CLocalPipe::ApplyPractice(const practice::CPracticeConn& conn) {
    m_terminalNumber = conn.m_TerminalNumber;
    m_printerNumber = conn.m_PrinterNumber;
    m_BillServID = conn.m_BillServID;
    CopyField(m_dataSet, conn.m_SorelData, "data set");
    CopyField(m_programDir, conn.m_SorelProgs, "program directory");
    m_flags = conn.m_PracticeType;
    if (conn.m_RunCommand == 0) {
        CopyField(m_runText, conn.m_Command, "run text");
    } else {
        m_flags = flags::kRunCommand;
        CopyField(m_runCommand, conn.m_Command, "run command");
    }
}

bool CLocalPipe::ParseOptions(PipeOwner* owner, std::string_view text, bool keep) {
    if (owner != nullptr) {
        m_owner = owner;
    }
    if (!keep) {
        m_appUser = 0;
        m_appPassword.Clear();
        m_runText.Clear();
        m_terminalId.Clear();
        m_runCommand.Clear();
        std::string programDir;
        if (suite::ReadSorelProgs(programDir)) {
            CopyField(m_programDir, programDir, "program directory");
        } else {
            platform::DefaultPrompt().Message("CLocalPipe(): Error Reading SorelProgs Registry Entry",
                                              platform::PromptIcon::Stop);
        }
    }
    const std::vector<std::string> tokens = options::SplitTokens(text);
    for (std::size_t n = 0; n < tokens.size(); ++n) {
        const std::string& token = tokens[n];
        if (token.size() < 2 || token[0] != '-') {
            return false;
        }
        const std::string_view rest = std::string_view(token).substr(2);
        switch (token[1]) {
            case '#':
                m_appUser = options::DecimalPrefix(rest);
                if (n + 1 < tokens.size()) {
                    CopyField(m_appPassword, tokens[++n], "application password");
                }
                break;
            case 'b':
                m_flags = flags::kBillingServer | (token == "-bs" ? 0 : flags::kServerWithoutS);
                break;
            case 'c':
                CopyField(m_terminalId, rest, "terminal id");
                break;
            case 'd':
                CopyField(m_runText, rest, "run text");
                if (!rest.empty() && (rest[0] == 'g' || rest[0] == 'G') && m_owner != nullptr) {
                    m_owner->SetSimple(true);
                }
                break;
            case 'f':
                if (token == "-fromdesktop") {
                    m_flags |= flags::kFromDesktop;
                }
                break;
            case 'l':
                break;
            case 'm':
                m_flags = flags::kMso | (token == "-ms" ? 0 : flags::kServerWithoutS);
                break;
            case 'p':
                m_printerNumber = options::DecimalPrefix(rest);
                break;
            case 'r': {
                std::string command = m_runCommand.Str();
                while (++n < tokens.size()) {
                    command += tokens[n] + " ";
                }
                CopyField(m_runCommand, command, "run command");
                break;
            }
            case 's':
                if (token == "-simple" && m_owner != nullptr) {
                    m_owner->SetSimple(false);
                }
                break;
            case 't':
                m_terminalNumber = options::DecimalPrefix(rest);
                break;
            case 'w':
                m_mode = session_mode::kFurtherWindow;
                break;
            case 'x':
                LoadState(options::DecimalPrefix(rest), 0, std::nullopt);
                break;
            default:
                return false;
        }
    }
    return true;
}

int32_t CLocalPipe::GetUnixEscKey() {
    suite::SetClientMode(suite::ClientMode::Local);
    int32_t key = 0;
    return suite::ReadUnixEscKey(key) ? key : 0;
}

}  // namespace hostlink
