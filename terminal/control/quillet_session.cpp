// The connection life cycle. Threads: the reader reads the pipe and hands its blocks to the user-interface
// thread through a bounded mailbox; the key sender writes. Teardown, always on the user-interface thread,
// stops the sender, brings the reader out and joins it, and only then lets the pipe go.
#include "terminal/control/quillet_session.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <utility>

#include "platform/event_fd.h"
#include "platform/poll_wait.h"
#include "platform/shared_mapping.h"
#include "platform/user_prompt.h"
#include "practice/memory_mapped_file.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"
#include "terminal/control/detach_record.h"

namespace terminal {

using hostlink::CCommPipe;
using Clock = std::chrono::steady_clock;

namespace {

// Host bytes a detached session's reader had taken from the pipe but the screen had not shown. A process
// has one DetachRecord, so one slot: each detach replaces it and the next adoption empties it. The slot
// keeps its own descriptor of the session-state mapping the record names, so that mapping cannot be
// freed and its identity given to another while the bytes wait; an adopter gets them only by naming it.
struct UnfedSlot {
    std::mutex mutex;
    platform::UniqueFd state;
    std::vector<uint8_t> bytes;
};

UnfedSlot& Unfed() {
    static UnfedSlot slot;
    return slot;
}

bool SameFile(int a, int b) {
    struct stat first {};
    struct stat second {};
    return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

void LeaveUnfed(platform::UniqueFd state, std::vector<uint8_t> bytes) {
    UnfedSlot& slot = Unfed();
    std::lock_guard lock(slot.mutex);
    slot.state = bytes.empty() ? platform::UniqueFd() : std::move(state);
    slot.bytes = std::move(bytes);
}

// Empties the slot; the bytes only when they belong to the session whose state `stateHandle` is.
std::vector<uint8_t> TakeUnfed(int stateHandle) {
    UnfedSlot& slot = Unfed();
    std::lock_guard lock(slot.mutex);
    std::vector<uint8_t> bytes;
    if (slot.state && SameFile(slot.state.Get(), stateHandle)) {
        bytes = std::move(slot.bytes);
    }
    slot.state.Reset();
    slot.bytes.clear();
    return bytes;
}

}  // namespace

// What the reader thread and the user-interface thread share for one connection: a bounded mailbox of
// blocks in the order read. The reader reads straight into the next free slot and waits while there is
// none; it wakes the user-interface thread only when no drain is queued or running. A drain feeds every
// block that waits, in place, and frees their slots in one step.
struct CQuilletSession::ReaderState {
    static constexpr std::size_t kSlots = kMailboxBlocks;

    std::mutex mutex;
    std::condition_variable room;  // slots came free, or stop
    bool stop = false;             // teardown asks the reader to end
    bool inRead = false;           // the reader is inside the pipe's Read
    bool drainPosted = false;      // a drain is queued or running
    bool readerWaiting = false;    // the reader waits for room
    bool wakeBeforeWait = false;   // the pipe runs WakeBeforeReadWait; set before the reader starts
    std::array<std::array<uint8_t, kReadBlock>, kSlots> slots{};
    std::array<uint32_t, kSlots> sizes{};
    // Slots [head, head + count) hold blocks; the reader fills only beyond them and only the drain moves
    // head, so the drain reads its blocks without the lock.
    std::size_t head = 0;
    std::size_t count = 0;
    // User-interface thread only, on a cache line of their own: blocks from head on that the screen has
    // been given, their slots not yet freed; and teardown's mark that tasks posted by this reader do
    // nothing from then on.
    alignas(64) std::size_t given = 0;
    bool cancelled = false;

    // What was read and not given to the screen, in order; once the reader has ended.
    std::vector<uint8_t> TakeAll() {
        std::vector<uint8_t> bytes;
        for (std::size_t i = given; i < count; ++i) {
            const std::size_t at = (head + i) % kSlots;
            bytes.insert(bytes.end(), slots[at].begin(), slots[at].begin() + sizes[at]);
        }
        head = count = given = 0;
        return bytes;
    }
};

// What the sender thread writes through: it forwards to the pipe, counts what was written so that a
// teardown can wait for the queue to empty, and drops everything once told to.
class CQuilletSession::GatedPipe final : public CCommPipe {
  public:
    explicit GatedPipe(CCommPipe& pipe) : CCommPipe(pipe.m_remote), m_pipe(pipe) {}

    bool Read(void*, uint32_t, uint32_t& bytesRead) override {
        bytesRead = 0;
        return false;
    }
    bool Open(hostlink::PipeOwner*) override { return false; }
    void Close() override {}
    bool StartNewSession(std::string_view) override { return false; }
    std::string Describe() const override { return m_pipe.Describe(); }
    void SetAppUser(int32_t, std::string_view) override {}
    platform::UniqueFd SaveState(bool) override { return {}; }
    bool LoadState(int, pid_t, std::optional<std::span<const uint8_t>>) override { return false; }
    void ApplyPractice(const practice::CPracticeConn&) override {}
    bool ParseOptions(hostlink::PipeOwner*, std::string_view, bool) override { return false; }
    int32_t GetUnixEscKey() override { return 0; }

    bool WriteChannel0(const void* bytes, uint32_t count) override {
        return Forward([&] { return m_pipe.WriteChannel0(bytes, count); });
    }
    bool WriteChannel1(const void* bytes, uint32_t count) override {
        return Forward([&] { return m_pipe.WriteChannel1(bytes, count); });
    }
    void SetChannelPrefix(int32_t flag) override {
        Forward([&] {
            m_pipe.SetChannelPrefix(flag);
            return true;
        });
    }

    // True once `count` messages were written or dropped, false at the deadline.
    bool WaitDone(uint64_t count, Clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_until(lock, deadline, [&] {
            return m_done + m_tried.load(std::memory_order_relaxed) >= count;
        });
    }
    // True once no write is in progress, false at the deadline.
    bool WaitIdle(Clock::time_point deadline) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_until(lock, deadline, [&] { return !m_inWrite; });
    }
    void Drop() {
        std::lock_guard lock(m_mutex);
        m_dropping.store(true, std::memory_order_release);
    }
    uint64_t Dropped() const {
        std::lock_guard lock(m_mutex);
        return m_dropped + m_triedDropped.load(std::memory_order_relaxed);
    }

    // Passed on whole: the pipe's write lock keeps the blocks apart, so the gate takes none of its own.
    // Only a caller of Send tries a write, on its own thread, and it holds the poster's lock until it
    // returns; a teardown takes that lock before it waits, so it finds these counts complete and no such
    // write under way, and nothing here needs the gate's lock or a wake. Counted when it ends the message:
    // a block left to the queue is counted when the thread writes it, one that was begun when the thread
    // finishes it.
    hostlink::TryWriteResult TryWrite(const void* bytes, uint32_t count) override {
        if (m_dropping.load(std::memory_order_acquire)) {
            m_triedDropped.fetch_add(1, std::memory_order_relaxed);
            m_tried.fetch_add(1, std::memory_order_relaxed);
            return hostlink::TryWriteResult::Failed;
        }
        const hostlink::TryWriteResult result = m_pipe.TryWrite(bytes, count);
        if (result == hostlink::TryWriteResult::Written || result == hostlink::TryWriteResult::Failed) {
            m_tried.fetch_add(1, std::memory_order_relaxed);
        }
        return result;
    }
    bool FinishWrite() override {
        return Forward([&] { return m_pipe.FinishWrite(); });
    }

  protected:
    // The pipe's Write finishes a block its try-write began before anything else.
    bool WriteBytes(const void* bytes, uint32_t count) override {
        return Forward([&] { return m_pipe.Write(bytes, count); });
    }

  private:
    template <typename Fn>
    bool Forward(Fn&& write) {
        {
            std::lock_guard lock(m_mutex);
            if (m_dropping.load(std::memory_order_relaxed)) {
                ++m_dropped;
                ++m_done;
                m_changed.notify_all();
                return false;
            }
            m_inWrite = true;
        }
        const bool ok = write();
        {
            std::lock_guard lock(m_mutex);
            m_inWrite = false;
            ++m_done;
        }
        m_changed.notify_all();
        return ok;
    }

    CCommPipe& m_pipe;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<bool> m_dropping{false};  // stored under m_mutex
    bool m_inWrite = false;               // a write of the thread's; under m_mutex
    uint64_t m_done = 0;                  // the thread's messages ended, under m_mutex
    uint64_t m_dropped = 0;
    std::atomic<uint64_t> m_tried{0};  // blocks a Send caller wrote or had fail at once
    std::atomic<uint64_t> m_triedDropped{0};
};

template <typename Pass>
bool CQuilletSession::SessionPoster::Forward(Pass&& pass) {
    // Held across a write made at once: a teardown must not take the sender away under it.
    std::lock_guard lock(m_mutex);
    if (m_sender == nullptr) {
        return false;  // no live pipe: nothing to write to
    }
    if (!pass(*m_sender)) {
        return false;
    }
    ++m_posted;
    return true;
}

bool CQuilletSession::SessionPoster::Post(SenderMessage message) {
    return Forward([&](CKeySenderThread& sender) { return sender.Post(std::move(message)); });
}

bool CQuilletSession::SessionPoster::Send(SenderMessage message) {
    return Forward([&](CKeySenderThread& sender) { return sender.Send(std::move(message)); });
}

bool CQuilletSession::SessionPoster::SendRaw(std::span<const uint8_t> bytes) {
    return Forward([&](CKeySenderThread& sender) { return sender.SendRaw(bytes); });
}

bool CQuilletSession::WritesAccepted() {
    std::lock_guard lock(m_poster.m_mutex);
    return m_poster.m_sender != nullptr;
}

CQuilletSession::CQuilletSession(SessionHost& host, QuilletProperties& properties, Options options)
    : m_host(host),
      m_props(properties),
      m_handshakeTimeout(options.handshakeTimeout),
      m_drainTimeout(options.drainTimeout),
      m_factory(options.factory ? std::move(options.factory) : MakeHostPipeFactory()) {}

CQuilletSession::CQuilletSession(SessionHost& host, QuilletProperties& properties)
    : CQuilletSession(host, properties, Options{}) {}

CQuilletSession::~CQuilletSession() {
    platform::UniqueFd detached;
    const bool handOver = m_pipe && WriteDetachRecordNow(detached);
    TearDown(false, false, SenderEnd::Drain, handOver);
    if (handOver) {
        if (!detached && !m_unfed.empty()) {
            m_host.LogLine("Detach: host bytes not yet shown are lost");
        }
        LeaveUnfed(std::move(detached), std::move(m_unfed));
    }
}

void CQuilletSession::Message(const std::string& text, bool stopIcon) {
    platform::DefaultPrompt().Message(text,
                                      stopIcon ? platform::PromptIcon::Stop : platform::PromptIcon::None);
}

// ---- Ways in ----

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string TrimLeft(std::string text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    return text.substr(i);
}

void ApplyPracticeToProperties(const practice::CPracticeConn& conn, QuilletProperties& p) {
    if (std::string_view(conn.GetConnTypeName()) != "Local") {
        p.m_Connector = "remote";
        p.m_RemoteDataSet = conn.m_SorelData;
        p.m_RemoteSorelProgs = conn.m_SorelProgs;
        p.m_RemoteHost = conn.m_Host;
        p.m_RemotePort = static_cast<int16_t>(static_cast<uint16_t>(conn.m_PortNumber));
        p.m_RemoteTerm = ClampToInt16(conn.m_TerminalNumber);
        p.m_RemotePrinter = ClampToInt16(conn.m_PrinterNumber);
        p.m_RemoteEnviro = conn.m_Environment.GetEnvironmentString();
        p.m_WanMode = ClampToInt16(conn.m_WanMode);
    } else {
        p.m_Connector = "local";
        p.m_LocalDataSet = conn.m_SorelData;
        p.m_LocalSorelProgs = conn.m_SorelProgs;
        p.m_LocalPrinter = ClampToInt16(conn.m_PrinterNumber);
        p.m_LocalTerm = ClampToInt16(conn.m_TerminalNumber);
    }
    p.m_BillServID = conn.m_BillServID;
}

bool ReadLocalServerValue(std::string_view name, std::string& out) {
    std::array<char, 1024> buffer{};
    platform::RegType type = platform::RegType::Sz;
    uint32_t size = buffer.size();
    if (suite::RegReadValue(platform::HKey::LocalMachine, suite::ServerKey(suite::ClientMode::Local), name,
                            type, buffer.data(), size) != 0) {
        return false;
    }
    out.assign(buffer.data(), ::strnlen(buffer.data(), std::min<std::size_t>(size, buffer.size())));
    return true;
}

}  // namespace

// Login type 1: "-X" and the handle of the selector's practice block. The switch and its number leave the
// command line; what remains is for the pipe's options.
bool CQuilletSession::ReadPracticeBlock(std::string& commandLine, bool& usage) {
    usage = false;
    const std::size_t at = commandLine.find("-X");
    if (at == std::string::npos) {
        usage = true;
        return false;
    }
    std::size_t pos = at + 2;
    // The selector writes "-X %ld", with a blank.
    while (pos < commandLine.size() && IsBlank(commandLine[pos])) {
        ++pos;
    }
    const std::size_t digitsBegin = pos;
    while (pos < commandLine.size() && pos - digitsBegin < 80 && commandLine[pos] >= '0' &&
           commandLine[pos] <= '9') {
        ++pos;
    }
    const std::string digits = commandLine.substr(digitsBegin, pos - digitsBegin);
    int64_t handle = 0;
    bool usable = !digits.empty();
    for (char c : digits) {
        handle = handle * 10 + (c - '0');
        if (handle > INT_MAX) {
            usable = false;
            break;
        }
    }
    if (!usable) {
        m_host.LogLine("Login: \"-X\" names no usable handle: \"" + digits + "\"");
        Message("Unable to map view of a file", true);
        return false;
    }
    // Only a mapping of exactly the block's size is taken over; any other descriptor is left alone.
    struct stat st {};
    if (::fstat(static_cast<int>(handle), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != static_cast<off_t>(practice::kPracticeConnBlockSize)) {
        m_host.LogLine("Login: handle " + digits + " is not a practice block");
        Message("Unable to map view of a file", true);
        return false;
    }
    std::string error;
    const std::optional<practice::CPracticeConn> conn =
        practice::ReadPracticeConnBlock(static_cast<int>(handle), &error);
    if (!conn) {
        m_host.LogLine("Login: practice block refused: " + error);
        Message(error, true);
        return false;
    }
    ApplyPracticeToProperties(*conn, m_props);
    const bool remote = conn->m_ConnType != 0;
    m_pipe = m_factory->MakeEmpty(remote);
    suite::SetClientMode(remote ? suite::ClientMode::Remote : suite::ClientMode::Local);
    m_props.m_Connector = remote ? "remote" : "local";
    m_pipe->ApplyPractice(*conn);
    commandLine = TrimLeft(commandLine.substr(0, at) + commandLine.substr(pos));
    return true;
}

int32_t CQuilletSession::Login(int16_t loginType, std::string_view commandLineView) {
    if (m_pipe) {
        return kEFail;
    }
    std::string commandLine(commandLineView);
    switch (loginType) {
        case 1: {
            bool usage = false;
            if (!ReadPracticeBlock(commandLine, usage)) {
                return usage ? kLoginUsage : kEFail;
            }
            if (!commandLine.empty() && !m_pipe->ParseOptions(&m_host, commandLine, true)) {
                m_pipe.reset();
                return kLoginUsage;
            }
            break;
        }
        case 2:
            m_pipe = m_factory->MakeEmpty(true);
            suite::SetClientMode(suite::ClientMode::Remote);
            m_props.m_Connector = "remote";
            if (!m_factory->LoadRemoteSettings(*m_pipe)) {
                m_pipe.reset();
                return kEFail;
            }
            if (!m_pipe->ParseOptions(&m_host, commandLine, false)) {
                m_pipe.reset();
                return kLoginUsage;
            }
            break;
        case 3: {
            SetClientMode(suite::ClientMode::Local);
            m_props.m_Connector = "local";
            std::string dataSet;
            std::string programDir;
            if (!ReadLocalServerValue("SorelData", dataSet) ||
                !ReadLocalServerValue("SorelProgs", programDir)) {
                Message("Ostrel Registry settings are Missing", true);
                return kEFail;
            }
            m_pipe = m_factory->MakeEmpty(false);
            m_props.m_LocalTerm = m_props.m_LocalPrinter = 1;
            m_props.m_LocalDataSet = dataSet;
            m_props.m_LocalSorelProgs = programDir;
            m_factory->ConfigureLocal(*m_pipe, dataSet, programDir);
            if (!m_pipe->ParseOptions(&m_host, commandLine, false)) {
                m_pipe.reset();
                return kLoginUsage;
            }
            break;
        }
        default:
            return kEInvalidArg;
    }
    if (!OpenPipe()) {
        return kEFail;
    }
    if (!Handshake()) {
        DropPipe();
        return kEFail;
    }
    if (SetUp(false) != 0) {
        return kEFail;
    }
    if (!m_host.FieldInputInactive()) {
        m_host.FocusFieldEditor();
    }
    const uint32_t program = m_props.IsLocal() ? 1 : (m_props.IsRemote() ? 2 : 0);
    if (suite::RegWriteValue(platform::HKey::CurrentUser, suite::kCompanyKey, "PROGRAM",
                             platform::RegType::Dword, &program, sizeof program) != 0) {
        // The session runs; only the container's title depends on this value.
        m_host.LogLine("Login: the PROGRAM value could not be written");
    }
    return kLoginOk;
}

bool CQuilletSession::WindowAndConnectedCheck(const char* connectedText) {
    if (!m_props.m_InVarnel && !m_host.WindowValid()) {
        Message("Window handle is invalid", true);
        return false;
    }
    if (m_pipe) {
        Message(connectedText, true);
        return false;
    }
    return true;
}

int32_t CQuilletSession::Connect() {
    if (!WindowAndConnectedCheck("Control Already Connected")) {
        return 1;
    }
    if (m_props.IsRemote()) {
        suite::SetClientMode(suite::ClientMode::Remote);
        m_pipe = m_factory->MakeConfigured(true, m_props);
    } else if (m_props.IsLocal()) {
        suite::SetClientMode(suite::ClientMode::Local);
        m_pipe = m_factory->MakeConfigured(false, m_props);
    } else {
        Message("Invalid Connector Specified", true);
        return 1;
    }
    if (!m_props.m_InVarnel) {
        return SetUp(true);
    }
    if (!OpenPipe()) {
        return kCallRejected;
    }
    if (!Handshake()) {
        DropPipe();
        return 1;
    }
    return SetUp(false);
}

bool CQuilletSession::AutoLogin(int32_t pipeHandle, int32_t processId) {
    if (!WindowAndConnectedCheck("Control Already Connected")) {
        return false;
    }
    // The handle is ours when the container inherited it, else the parent's, reached through its pid.
    const auto map = [&](std::size_t size, bool& own) -> std::optional<platform::SharedMapping> {
        std::optional<platform::SharedMapping> view =
            platform::SharedMapping::OpenFd(pipeHandle, size, false);
        own = view.has_value();
        if (!view && processId > 0) {
            view = platform::SharedMapping::OpenFromProcess(processId, pipeHandle, size);
        }
        return view;
    };
    bool own = false;
    std::optional<platform::SharedMapping> view = map(hostlink::kStateHeaderSize, own);
    if (!view) {
        Message(processId > 0 ? "Error opening source process" : "Error mapping view of file", processId > 0);
        return false;
    }
    // The name stops at its field's end even without a terminating zero.
    const char* name = reinterpret_cast<const char*>(view->Data());
    const std::string connector(name, ::strnlen(name, hostlink::kStateHeaderSize));
    m_props.m_Connector = connector;
    if (connector != "remote" && connector != "local") {
        Message("Invalid Connector Specified.  AutoLogin will abort.", true);
        return false;
    }
    const bool remote = connector == "remote";
    view = map(hostlink::kStateHeaderSize + m_factory->StateRecordSize(remote), own);
    if (!view) {
        Message("Error mapping view of file", false);
        return false;
    }
    m_pipe = m_factory->MakeEmpty(remote);
    suite::SetClientMode(remote ? suite::ClientMode::Remote : suite::ClientMode::Local);
    const bool loaded =
        m_pipe->LoadState(pipeHandle, own ? 0 : processId, view->Bytes().subspan(hostlink::kStateHeaderSize));
    view.reset();
    if (own) {
        ::close(pipeHandle);  // copied out: the inherited handle has done its work
    }
    if (!loaded) {
        m_pipe.reset();
        return false;
    }
    m_factory->CopyBack(*m_pipe, m_props);
    int32_t result = 0;
    if (m_props.m_InVarnel) {
        if (!OpenPipe()) {
            return false;
        }
        if (!Handshake()) {
            DropPipe();
            return false;
        }
        result = SetUp(false);
    } else {
        result = SetUp(true);
    }
    if (result != 0) {
        Message("BootStrapThreads failed in AutoLogin.", false);
        return false;
    }
    return true;
}

int32_t CQuilletSession::ReConnect() {
    if (!WindowAndConnectedCheck("Already connected to a server")) {
        return 1;
    }
    std::string why;
    const std::optional<std::filesystem::path> path = DetachRecordPath(::getpid(), &why);
    if (!path) {
        m_host.LogLine("ReConnect: " + why);
        return Connect();
    }
    DetachRecord record;
    switch (ReadDetachRecord(*path, record, &why)) {
        case DetachReadResult::Missing:
            return Connect();
        case DetachReadResult::Refused:
            // Whatever lies there names nothing this process left: start afresh.
            m_host.LogLine("ReConnect: detach record refused: " + why);
            return Connect();
        case DetachReadResult::Read:
            break;
    }
    m_props.m_chainable = record.chainable;
    // Before the pipe adopts the state handle, which may close it.
    const std::vector<uint8_t> unfed = TakeUnfed(record.stateHandle);
    const bool remote = record.isRemote != 0;
    m_pipe = m_factory->MakeEmpty(remote);
    suite::SetClientMode(remote ? suite::ClientMode::Remote : suite::ClientMode::Local);
    m_props.m_Connector = remote ? "remote" : "local";
    const bool loaded = m_pipe->LoadState(record.stateHandle, 0, std::nullopt);
    m_host.RestoreScreen(record.snapshotHandle);
    if (!loaded) {
        m_host.LogLine("ReConnect: the session record could not be adopted");
        m_pipe.reset();
        return 1;
    }
    m_host.PrepareConnectedUi();
    if (m_host.FieldInputInactive()) {
        m_host.FocusControl();
    } else {
        m_host.FocusFieldEditor();
    }
    m_host.ShowConnectedUi(true);
    StartThreads();
    m_host.SetUnixEscKey(m_pipe->GetUnixEscKey() != 0);
    // The new reader's blocks reach the screen through tasks on this thread, so only after these.
    for (std::size_t at = 0; at < unfed.size(); at += kReadBlock) {
        Show(std::span<const uint8_t>(unfed).subspan(at,
                                                     std::min<std::size_t>(kReadBlock, unfed.size() - at)));
    }
    return 0;
}

// ---- Hand-shake and set-up ----

bool CQuilletSession::Handshake() {
    platform::UniqueFd event = platform::MakeEventFd();
    if (!event) {
        Message("Fatal error creating event.", false);
        return false;
    }
    m_host.FireShowContainer(event.Get());
    platform::FdWait wait;
    wait.fd = event.Get();
    wait.events = POLLIN;
    wait.deadline = Clock::now() + m_handshakeTimeout;
    if (platform::WaitForFd(wait) != platform::WaitResult::Ready) {
        m_host.LogLine("The container did not answer ShowContainer");
        return false;
    }
    uint64_t value = 0;
    return ::read(event.Get(), &value, sizeof value) == static_cast<ssize_t>(sizeof value);
}

bool CQuilletSession::OpenPipe() {
    m_host.SetWaitCursor(true);
    m_opening = true;
    const bool opened = m_pipe->Open(&m_host);
    m_opening = false;
    m_host.SetWaitCursor(false);
    if (m_endAfterOpen) {
        // A teardown came while the open served the window; it happens now that the pipe is free.
        const EndAfterOpen end = *std::exchange(m_endAfterOpen, std::nullopt);
        TearDown(end.fireExit, end.repaint, SenderEnd::Drop);
        return false;
    }
    if (!opened) {
        m_pipe.reset();
    }
    return opened;
}

int32_t CQuilletSession::SetUp(bool open) {
    if (!m_pipe) {
        return 1;
    }
    m_host.PrepareConnectedUi();
    if (open && !OpenPipe()) {
        return 1;
    }
    m_host.ShowConnectedUi(false);
    StartThreads();
    m_host.SetUnixEscKey(m_pipe->GetUnixEscKey() != 0);
    if (m_props.m_InVarnel && !m_props.m_DirectChainMode) {
        m_host.MergeInPlaceMenu();
    }
    return 0;
}

void CQuilletSession::StartThreads() {
    if (!m_sender) {
        m_gate = std::make_unique<GatedPipe>(*m_pipe);
        m_sender = std::make_unique<CKeySenderThread>();
        m_sender->Start(*m_gate);
        std::lock_guard lock(m_poster.m_mutex);
        m_poster.m_sender = m_sender.get();
        m_poster.m_posted = 0;
    }
    if (!m_readerThread.joinable()) {
        m_reader = std::make_shared<ReaderState>();
        m_reader->wakeBeforeWait = m_pipe->CallsBeforeReadWait();
        if (m_reader->wakeBeforeWait) {
            m_pipe->SetBeforeReadWait([this, state = m_reader] { WakeBeforeReadWait(state); });
        }
        m_readerThread = std::thread(&CQuilletSession::ReaderLoop, this, m_reader, m_pipe.get());
    }
}

// ---- Reader thread ----

void CQuilletSession::ReaderLoop(std::shared_ptr<ReaderState> state, CCommPipe* pipe) {
    // One lock per block: a block is committed and the next slot taken in the same turn.
    std::unique_lock lock(state->mutex);
    for (;;) {
        // Room first, so that nothing read is ever held outside the mailbox.
        state->readerWaiting = true;
        state->room.wait(lock, [&] { return state->count < ReaderState::kSlots || state->stop; });
        state->readerWaiting = false;
        if (state->stop) {
            return;
        }
        state->inRead = true;
        // Only this thread fills the slot past the mailbox's blocks; freeing slots does not move it.
        const std::size_t at = (state->head + state->count) % ReaderState::kSlots;
        lock.unlock();
        uint32_t count = 0;
        const bool ok = pipe->Read(state->slots[at].data(), kReadBlock, count);
        lock.lock();
        state->inRead = false;
        bool wake = false;
        if (ok && count != 0) {
            state->sizes[at] = std::min(count, kReadBlock);
            ++state->count;
            // With no drain to come, the first block wakes the screen, unless the pipe says when it
            // waits: then the blocks gather until it does, or until enough wait.
            wake = !state->drainPosted && (!state->wakeBeforeWait || state->count >= kWakeAfterBlocks);
            state->drainPosted = state->drainPosted || wake;
        }
        if (state->stop) {
            return;  // what was read stays in the mailbox, for a hand-over to pass on
        }
        if (!ok) {
            lock.unlock();
            // The session is over; the pipe is not touched again from here. What the mailbox holds is
            // shown first.
            m_host.PostToUi([this, state] {
                if (!state->cancelled) {
                    Drain(state, false);
                }
                if (!state->cancelled) {
                    TearDown(true, false, SenderEnd::Drop);
                }
            });
            return;
        }
        if (wake) {
            lock.unlock();
            PostDrain(state);
            lock.lock();
        }
    }
}

void CQuilletSession::PostDrain(const std::shared_ptr<ReaderState>& state) {
    m_host.PostToUi([this, state] {
        if (!state->cancelled) {
            Drain(state, true);
        }
    });
}

void CQuilletSession::WakeBeforeReadWait(const std::shared_ptr<ReaderState>& state) {
    {
        std::lock_guard lock(state->mutex);
        if (state->drainPosted || state->count == 0) {
            return;
        }
        state->drainPosted = true;
    }
    PostDrain(state);
}

void CQuilletSession::Drain(const std::shared_ptr<ReaderState>& shared, bool bounded) {
    ReaderState& state = *shared;
    // A host that sends without pause must not keep this thread from painting and input: past this many
    // blocks the drain queues itself behind what else waits.
    constexpr std::size_t kBudget = 256;
    std::size_t fed = 0;
    std::unique_lock lock(state.mutex);
    for (;;) {
        const std::size_t waiting = state.count;
        if (waiting == 0) {
            state.drainPosted = false;  // the reader wakes this thread for the next block
            return;
        }
        if (bounded && fed >= kBudget) {
            lock.unlock();
            PostDrain(shared);
            return;  // drainPosted stays set: the reader need not wake this thread
        }
        lock.unlock();
        while (state.given < waiting) {
            const std::size_t at = (state.head + state.given) % ReaderState::kSlots;
            // Counted as given before the screen sees it: a teardown from inside HostData must not pass
            // it on again.
            ++state.given;
            Show(std::span<const uint8_t>(state.slots[at].data(), state.sizes[at]));
            if (state.cancelled) {
                // The teardown took what was not given. (Only the read-failure task drains inside a
                // running drain, from a nested event loop, and it always ends in that teardown.)
                return;
            }
        }
        fed += waiting;
        lock.lock();
        state.head = (state.head + waiting) % ReaderState::kSlots;
        state.count -= waiting;
        state.given = 0;
        if (state.readerWaiting) {
            state.room.notify_one();
        }
    }
}

void CQuilletSession::Show(std::span<const uint8_t> bytes) {
    m_bytesShown += bytes.size();
    m_host.HostData(bytes);
}

// ---- Teardown ----

void CQuilletSession::Disconnect(bool fireExit, bool repaint) {
    TearDown(fireExit, repaint, SenderEnd::Drain);
}

void CQuilletSession::StopSender(SenderEnd end) {
    if (end == SenderEnd::Drop) {
        m_gate->Drop();  // before anyone can see the session stop taking writes
    }
    uint64_t posted = 0;
    {
        std::lock_guard lock(m_poster.m_mutex);
        posted = m_poster.m_posted;
        m_poster.m_sender = nullptr;  // nothing more is accepted for this pipe
    }
    const Clock::time_point deadline = Clock::now() + m_drainTimeout;
    if (end == SenderEnd::Drain && !m_gate->WaitDone(posted, deadline)) {
        m_host.LogLine("Teardown: queued keys not written in time; the rest is dropped");
    }
    m_gate->Drop();
    if (!m_gate->WaitIdle(deadline)) {
        // The host takes no bytes: only waking the write lets the sender end.
        m_host.LogLine("Teardown: a write to the host does not end; the pipe is woken");
        m_factory->WakeIo(*m_pipe);
    }
    m_sender->Stop();
    m_sender.reset();
    if (const uint64_t dropped = m_gate->Dropped(); dropped != 0) {
        m_host.LogLine("Teardown: " + std::to_string(dropped) + " queued writes dropped");
    }
}

void CQuilletSession::DropPipe(bool handOver) {
    if (!m_pipe) {
        return;
    }
    if (!handOver) {
        m_pipe->Close();
    }
    m_pipe.reset();
}

void CQuilletSession::TearDown(bool fireExit, bool repaint, SenderEnd end, bool handOver) {
    if (m_opening) {
        // The pipe's open is below us on this thread (its wait serves the window): it may not go yet.
        // The open is woken and the teardown follows when it returns.
        m_endAfterOpen = EndAfterOpen{fireExit || (m_endAfterOpen && m_endAfterOpen->fireExit),
                                      repaint || (m_endAfterOpen && m_endAfterOpen->repaint)};
        if (m_pipe) {
            m_factory->WakeIo(*m_pipe);
        }
        return;
    }
    m_unfed.clear();
    if (!m_pipe && !m_sender && !m_readerThread.joinable()) {
        return;
    }
    if (m_reader) {
        m_reader->cancelled = true;
    }
    if (m_sender) {
        StopSender(end);
    }
    if (m_readerThread.joinable()) {
        bool wake = false;
        {
            std::lock_guard lock(m_reader->mutex);
            m_reader->stop = true;
            wake = m_reader->inRead;
        }
        m_reader->room.notify_all();
        if (wake && m_pipe) {
            m_factory->WakeIo(*m_pipe);
        }
        m_readerThread.join();
        if (m_pipe) {
            m_pipe->SetBeforeReadWait({});  // it holds the reader's state, and the pipe may go on alone
        }
    }
    if (handOver && m_reader) {
        m_unfed = m_reader->TakeAll();  // the reader has ended: no lock needed
    }
    m_reader.reset();
    DropPipe(handOver);
    m_gate.reset();
    m_props.m_chainable = 1;
    m_host.ConnectionEnded(repaint);
    if (fireExit) {
        if (m_props.m_PostCloseOnSorelExit) {
            m_host.CloseContainerFrame();
        } else {
            m_host.FireSorelExit();
        }
    }
}

// ---- Hand-over ----

void CQuilletSession::NewWindow() {
    if (!m_pipe) {
        return;
    }
    const std::string chain = m_props.m_NewWindowChainCommand;
    if (!m_props.m_InVarnel) {
        m_factory->StartNewSession(*m_pipe, chain);
        return;
    }
    platform::UniqueFd state = m_factory->SaveNewWindowState(*m_pipe, chain);
    if (!state) {
        return;
    }
    // The container starts the new window with the mapping inherited; once the event has returned, the
    // new process holds its own copy and ours would only pile up.
    m_host.FireNewWindow(state.Get(), static_cast<int32_t>(::getpid()));
}

void CQuilletSession::HostIsTransChanged() {
    if (m_pipe && m_props.IsRemote()) {
        m_factory->SetHostIsTrans(*m_pipe, m_props.m_HostIsTrans);
    }
}

bool CQuilletSession::WriteDetachRecordNow(platform::UniqueFd& stateCopy) {
    std::string why;
    const std::optional<std::filesystem::path> path = DetachRecordPath(::getpid(), &why);
    if (!path) {
        m_host.LogLine("Detach: " + why);
        Message("Error opening detach file", true);
        return false;
    }
    platform::UniqueFd state = m_pipe->SaveState(false);
    platform::UniqueFd snapshot = m_host.SaveScreen();
    DetachRecord record;
    record.isRemote = m_props.IsRemote() ? 1 : 0;
    record.stateHandle = state.Get();
    record.snapshotHandle = snapshot.Get();
    record.chainable = m_props.m_chainable;
    if (!WriteDetachRecord(*path, record, &why)) {
        m_host.LogLine("Detach: " + why);
        Message("Error opening detach file", true);
        return false;
    }
    // Names the session to the slot that carries bytes not yet shown; without it only those cannot go.
    stateCopy.Reset(::fcntl(state.Get(), F_DUPFD_CLOEXEC, 0));
    // The mappings stay open for the control that adopts them.
    state.Release();
    snapshot.Release();
    return true;
}

}  // namespace terminal
