// What the host pipes and the file transfer need of the terminal control that owns them. The control
// implements it; tests use fakes. Calls marked "any thread" may come from the reader, sender or a worker
// thread: the control hands them to its user-interface thread and never blocks the caller on it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hostlink {

// Codes of the transfer's progress reports (the control shows them in its window).
enum class TransferProgress : int32_t {
    StatusText = 0,  // text: the status line
    FileBegins = 1,  // one file begins
    Ended = 2,       // the whole transfer ended, after "Done" or "Aborted"
    Position = 3,    // value: bytes so far
    Range = 4,       // value: total bytes
};

enum class FileDialogKind { Save, Open, OpenMultiple };

class PipeOwner {
  public:
    virtual ~PipeOwner() = default;

    // The session's application user changed (login dialog, host report).
    virtual void SetAppUser(int32_t user, std::string_view password) = 0;
    // The control's Debug setting: pipes log their steps only when it is on. Any thread.
    virtual bool Debug() const = 0;
    // "-simple" and "-dg...": the control runs in its simple form; with `noMenu` it builds no menu.
    virtual void SetSimple(bool noMenu) = 0;

    // The ClientFileName and PostCloseOnSorelExit properties. Any thread.
    virtual std::string ClientFileName() const = 0;
    virtual bool PostCloseOnSorelExit() const = 0;
    // Runs `wait`, which waits for the host and may take long, without freezing the owner's window: a
    // windowed owner runs it on a thread of its own and serves its window until it ends. `cancel` ends
    // the wait at once; the owner calls it, on its own thread, when it cannot wait for the end (it is
    // being closed). `wait` shows nothing and touches nothing of the owner. The default runs `wait` here.
    virtual void RunWait(const std::function<void()>& wait, const std::function<void()>& /*cancel*/) {
        wait();
    }
    // Fires the SorelExit event. Any thread.
    virtual void SorelExit() = 0;
    // A progress report of a file transfer. Any thread.
    virtual void ReportTransfer(TransferProgress code, int64_t value, std::string_view text) = 0;
    // A file dialog for a transfer whose host path begins with '*': `folder` is where it opens (may be
    // empty). Returns the chosen paths (one, or several for OpenMultiple), or nullopt when cancelled.
    // Any thread; the caller waits for the user's answer.
    virtual std::optional<std::vector<std::string>> ChooseFiles(FileDialogKind kind, std::string_view title,
                                                                std::string_view folder) = 0;
};

}  // namespace hostlink
