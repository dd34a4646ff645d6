// The terminal control's connection life cycle without its widget: the ways into a session (Login,
// Connect, AutoLogin, ReConnect, BootSorel), the pipe factories, the hand-shake with the container, the
// reader and key sender threads, the new-window hand-over, the DetachRecord and the teardown.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "hostlink/comm_pipe.h"
#include "hostlink/pipe_owner.h"
#include "platform/unique_fd.h"
#include "terminal/control/quillet_properties.h"
#include "terminal/core/key_sender.h"

namespace terminal {

// Result codes of Login.
inline constexpr int32_t kLoginOk = 0;
inline constexpr int32_t kLoginUsage = 87;
inline constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);
inline constexpr int32_t kEInvalidArg = static_cast<int32_t>(0x80070057u);
// Connect's answer when the container's pipe cannot be opened.
inline constexpr int32_t kCallRejected = static_cast<int32_t>(0x80010006u);

// What the session needs of the control. Everything but PostToUi and the PipeOwner calls marked "any
// thread" is called on the user-interface thread.
class SessionHost : public hostlink::PipeOwner {
  public:
    // Runs `task` on the user-interface thread later, in posting order. Any thread; never blocks.
    virtual void PostToUi(std::function<void()> task) = 0;
    virtual bool WindowValid() const = 0;
    virtual void SetWaitCursor(bool on) = 0;

    // Events of the control.
    virtual void FireShowContainer(int eventFd) = 0;
    virtual void FireSorelExit() = 0;
    virtual void FireNewWindow(int32_t pipeHandle, int32_t processId) = 0;
    // PostCloseOnSorelExit: close the container's frame instead of firing SorelExit.
    virtual void CloseContainerFrame() = 0;

    // Before the pipe opens: stop the caret timer, create the toolbars and the status bar as the
    // properties say.
    virtual void PrepareConnectedUi() = 0;
    // Once it is open: margins, font, layout, toolbars shown, the field editor created. `restored` is
    // true after ReConnect, where the restored screen names the toolbar.
    virtual void ShowConnectedUi(bool restored) = 0;
    // The connection ended: toolbars and status bar gone, connected flag cleared, repaint when asked.
    virtual void ConnectionEnded(bool repaint) = 0;
    virtual void FocusFieldEditor() = 0;
    virtual void FocusControl() = 0;
    virtual bool FieldInputInactive() const = 0;
    virtual void SetUnixEscKey(bool unixEscKey) = 0;
    virtual void MergeInPlaceMenu() = 0;

    // One block of host bytes for the screen.
    virtual void HostData(std::span<const uint8_t> bytes) = 0;
    // The screen snapshot in a new mapping, and adopting one (the handle is closed once read).
    virtual platform::UniqueFd SaveScreen() = 0;
    virtual bool RestoreScreen(int handle) = 0;
    // A line for the debug log.
    virtual void LogLine(std::string_view text) = 0;
};

// Builds and configures the pipes. The default makes the host link's real pipes; tests make fakes.
class PipeFactory {
  public:
    virtual ~PipeFactory() = default;
    virtual std::unique_ptr<hostlink::CCommPipe> MakeEmpty(bool remote) = 0;
    // The size of the pipe kind's session record, behind the 80-byte header in a hand-over mapping.
    virtual std::size_t StateRecordSize(bool remote) const = 0;
    // The pipe with the properties copied in, as Connect uses it.
    virtual std::unique_ptr<hostlink::CCommPipe> MakeConfigured(bool remote,
                                                                const QuilletProperties& props) = 0;
    // Login type 2: the remote pipe's own registry settings; false (after its message) when missing.
    virtual bool LoadRemoteSettings(hostlink::CCommPipe& pipe) = 0;
    // Login type 3: terminal 1, printer 1, data set and program folder, flags 0.
    virtual void ConfigureLocal(hostlink::CCommPipe& pipe, std::string_view dataSet,
                                std::string_view programDir) = 0;
    // AutoLogin: the settings the adopted session brought, back into the properties.
    virtual void CopyBack(const hostlink::CCommPipe& pipe, QuilletProperties& props) = 0;
    virtual void SetHostIsTrans(hostlink::CCommPipe& pipe, bool value) = 0;
    // A further window of this session outside the container: the pipe starts it. A chain command that is
    // not empty replaces the pipe's own new-window text.
    virtual bool StartNewSession(hostlink::CCommPipe& pipe, std::string_view chainCommand) = 0;
    // The session record, with header, for a further window inside the container: saved in the pipe's
    // new-window mode, with the chain command as above.
    virtual platform::UniqueFd SaveNewWindowState(hostlink::CCommPipe& pipe,
                                                  std::string_view chainCommand) = 0;
    // Brings a Read or Write that blocks another thread out of it; the pipe cannot carry the session on.
    virtual void WakeIo(hostlink::CCommPipe& pipe) = 0;
};

std::unique_ptr<PipeFactory> MakeHostPipeFactory();

class CQuilletSession {
  public:
    struct Options {
        std::chrono::milliseconds handshakeTimeout{5000};
        // How long keys queued at a teardown that leaves the session running may take to reach the host.
        std::chrono::milliseconds drainTimeout{2000};
        std::unique_ptr<PipeFactory> factory;  // null: the host link's pipes
    };

    static constexpr uint32_t kReadBlock = 1024;
    // Blocks read and not yet shown that the reader holds at most before it waits for the screen.
    static constexpr std::size_t kMailboxBlocks = 128;
    // With a pipe that says when it is about to wait, the reader wakes the user-interface thread then, or
    // once this many blocks wait, rather than at the first block: a flood costs fewer wakes.
    static constexpr std::size_t kWakeAfterBlocks = 16;
    static_assert(kWakeAfterBlocks <= kMailboxBlocks, "a full mailbox must have woken the screen");

    CQuilletSession(SessionHost& host, QuilletProperties& properties, Options options);
    CQuilletSession(SessionHost& host, QuilletProperties& properties);
    // A live session is left in the DetachRecord for a later control of this process, then torn down. Host
    // bytes its reader took from the pipe but the screen has not shown stay with the session: the control
    // that adopts it with ReConnect shows them before anything it reads itself.
    ~CQuilletSession();
    CQuilletSession(const CQuilletSession&) = delete;
    CQuilletSession& operator=(const CQuilletSession&) = delete;

    // The ways in. `commandLine` is the container's command line.
    int32_t Login(int16_t loginType, std::string_view commandLine);
    int32_t Connect();
    bool AutoLogin(int32_t pipeHandle, int32_t processId);
    int32_t ReConnect();
    // The post-connect set-up on a pipe that is already open.
    int32_t BootSorel() { return SetUp(false); }

    // The host closed the session or a command ended it (window message 1028): `fireExit` fires SorelExit
    // (or closes the frame); `repaint` repaints the control. Keys queued before are written first, within
    // a bound.
    void Disconnect(bool fireExit, bool repaint);
    // The new-window command (window message 1030).
    void NewWindow();
    // The HostIsTrans property changed: an open remote pipe takes the new value.
    void HostIsTransChanged();

    bool HasPipe() const { return m_pipe != nullptr; }
    hostlink::CCommPipe* Pipe() { return m_pipe.get(); }
    // Where the control's key senders and the field editor post: always the current connection's sender
    // thread, and refused while there is no live pipe.
    KeyPoster& Poster() { return m_poster; }
    // Whether Poster takes writes now; false from the moment a teardown begins. Any thread.
    bool WritesAccepted();
    // Host bytes handed to the screen so far, by every connection of this session.
    uint64_t BytesShown() const { return m_bytesShown; }
    // How the current connection's writes went: at once on the caller's thread, or through the sender
    // thread. Zero without a connection.
    CKeySenderThread::Counts SenderCounts() const {
        return m_sender ? m_sender->GetCounts() : CKeySenderThread::Counts{};
    }

  private:
    enum class SenderEnd { Drop, Drain };
    struct ReaderState;
    class GatedPipe;
    class SessionPoster : public KeyPoster {
      public:
        bool Post(SenderMessage message) override;
        bool Send(SenderMessage message) override;
        bool SendRaw(std::span<const uint8_t> bytes) override;
        std::mutex m_mutex;
        CKeySenderThread* m_sender = nullptr;  // guarded by m_mutex; null while no live pipe
        uint64_t m_posted = 0;                 // messages the current sender accepted

      private:
        // Hands over to the current sender with `pass`, under m_mutex; false without one.
        template <typename Pass>
        bool Forward(Pass&& pass);
    };

    bool Handshake();
    // 0 on success, 1 on failure (the pipe is gone after a failed open).
    int32_t SetUp(bool open);
    bool OpenPipe();
    void StartThreads();
    void ReaderLoop(std::shared_ptr<ReaderState> state, hostlink::CCommPipe* pipe);
    // On the user-interface thread: hands the screen the blocks in the mailbox until it is empty, or
    // (`bounded`) until a budget of blocks is spent and the rest is left to a further drain task.
    void Drain(const std::shared_ptr<ReaderState>& state, bool bounded);
    // Queues a bounded drain of the mailbox on the user-interface thread.
    void PostDrain(const std::shared_ptr<ReaderState>& state);
    // On the reader thread, as the pipe is about to wait: wakes the user-interface thread for the blocks
    // that wait unannounced.
    void WakeBeforeReadWait(const std::shared_ptr<ReaderState>& state);
    void Show(std::span<const uint8_t> bytes);
    void TearDown(bool fireExit, bool repaint, SenderEnd end, bool handOver = false);
    void StopSender(SenderEnd end);
    // Closes (unless the session is handed over) and deletes the pipe.
    void DropPipe(bool handOver = false);
    bool ReadPracticeBlock(std::string& commandLine, bool& usage);
    bool WindowAndConnectedCheck(const char* connectedText);
    // True when a record was left; `stateCopy` then gets a descriptor of the state mapping it names.
    bool WriteDetachRecordNow(platform::UniqueFd& stateCopy);
    void Message(const std::string& text, bool stopIcon);

    SessionHost& m_host;
    QuilletProperties& m_props;
    std::chrono::milliseconds m_handshakeTimeout;
    std::chrono::milliseconds m_drainTimeout;
    std::unique_ptr<PipeFactory> m_factory;

    std::unique_ptr<hostlink::CCommPipe> m_pipe;
    std::unique_ptr<GatedPipe> m_gate;
    std::unique_ptr<CKeySenderThread> m_sender;
    SessionPoster m_poster;
    std::shared_ptr<ReaderState> m_reader;
    std::thread m_readerThread;
    // What a hand-over teardown's reader had read but the screen had not taken.
    std::vector<uint8_t> m_unfed;
    uint64_t m_bytesShown = 0;
    // While the pipe's Open runs; a teardown asked for meanwhile waits for it in m_endAfterOpen.
    struct EndAfterOpen {
        bool fireExit = false;
        bool repaint = false;
    };
    bool m_opening = false;
    std::optional<EndAfterOpen> m_endAfterOpen;
};

}  // namespace terminal
