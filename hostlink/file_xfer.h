// The dial-back file transfer: the host's escape command B names a port, a direction and a path; the client
// connects back to the host, starts TLS at once and sends or receives files on a worker thread, reporting
// progress to the control that owns it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "hostlink/fixed_text.h"
#include "hostlink/pipe_owner.h"
#include "hostlink/ssl_socket.h"
#include "platform/unique_fd.h"

namespace hostlink {

// Where the transfer dials back to: the remote pipe's host text (for messages) and the IPv4 address its
// connection resolved, in network byte order.
struct DialBackTarget {
    std::string hostText;
    uint32_t address = 0;
};

// A failure of Init or of a transfer step; what() is the text shown to the user.
class FileXferError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class FileXferThread;

class CClientFileXfer {
  public:
    static constexpr std::size_t kMaxPath = 511;
    static constexpr std::size_t kMaxDirection = 9;
    static constexpr std::size_t kChunkSize = 2048;
    // Sizes above this are refused rather than written until the disk is full.
    static constexpr uint64_t kMaxFileSize = uint64_t{64} << 30;
    static constexpr std::string_view kAbortedText = "File Transfer Aborted";

    CClientFileXfer();
    ~CClientFileXfer();
    CClientFileXfer(const CClientFileXfer&) = delete;
    CClientFileXfer& operator=(const CClientFileXfer&) = delete;

    // Parses the host's text ("<word> <port> <direction> <path>") and keeps the owner. Throws FileXferError
    // with the text the user is to see; nothing is connected or opened yet.
    void Init(std::string_view text, PipeOwner& owner, const DialBackTarget& target);

    // The whole transfer on the calling thread: every outcome goes to the owner and the user; never throws.
    void Run();
    // Any thread: wakes a blocked connect, read or write; the transfer then ends quietly as aborted. A file
    // dialog that is open is not closed: the control answers it at its teardown.
    void Cancel();
    bool Cancelled() const { return m_cancelled.load(std::memory_order_acquire); }

    // The worker's body: runs the transfer, then deletes it.
    static void FileXferThreadProc(std::unique_ptr<CClientFileXfer> xfer);
    // Runs the transfer on its own thread, which owns it; the handle stops and joins it.
    static FileXferThread Start(std::unique_ptr<CClientFileXfer> xfer);

    int32_t Port() const { return m_port; }
    std::string_view Direction() const { return m_direction; }
    // The path as the host gave it, after blanks and environment expansion (host text, Windows-1252).
    std::string_view Path() const { return m_path; }

  private:
    struct CancelLink;
    friend class FileXferThread;

    void Connect();
    void ReceiveFile();
    void SendFile(const std::filesystem::path& local, const std::string& shownPath);
    void SendSingle();
    void SendMultiple();
    void EndHandshake();
    void RenameForClient(const std::filesystem::path& received);
    void Fail(const std::string& text);
    void CloseSocket();

    // The local path for the host's path; throws when it is refused.
    std::filesystem::path LocalPath(const std::string& hostPath) const;
    // A '*' path: the user chooses the file.
    bool DialogPath() const { return !m_path.empty() && m_path.front() == '*'; }
    // The folder a '*' path names for its dialog, or empty.
    std::string DialogFolder() const;
    // A single chosen file from a dialog; throws "File Transfer Aborted" when cancelled.
    std::string ChooseOne(FileDialogKind kind, std::string_view title);

    void Status(std::string_view text);
    void Report(TransferProgress code, int64_t value);
    void WriteAll(std::string_view bytes, const char* errorFormat);
    [[noreturn]] void ThrowSocketError(const char* format, int32_t result);

    std::unique_ptr<CSslSocket> m_tls;  // guarded by m_tlsMutex against Cancel
    std::mutex m_tlsMutex;
    std::string m_status;
    std::string m_path;
    std::string m_direction;
    int32_t m_port = 0;
    FixedText<80> m_hostText;
    uint32_t m_address = 0;
    PipeOwner* m_owner = nullptr;
    platform::UniqueFd m_socket;
    platform::UniqueFd m_cancelEvent;
    std::atomic<bool> m_cancelled{false};
    std::shared_ptr<CancelLink> m_link;
};

// A transfer running on its own thread. The control keeps one per transfer; destroying it (or Cancel and
// Join) stops the transfer and waits for its thread. Never destroyed on the transfer's own thread.
class FileXferThread {
  public:
    FileXferThread() = default;
    FileXferThread(FileXferThread&&) noexcept = default;
    FileXferThread& operator=(FileXferThread&& other) noexcept;
    ~FileXferThread();

    void Cancel();
    void Join();
    bool Joinable() const { return m_thread.joinable(); }
    // True once the transfer has ended and deleted itself.
    bool Finished() const;

  private:
    friend class CClientFileXfer;
    std::shared_ptr<CClientFileXfer::CancelLink> m_link;
    std::thread m_thread;
};

}  // namespace hostlink
