// Print files the host has placed in the temp folder: the bytes go unchanged to a printer as one raw job,
// and the file is deleted only once the spooler has printed it; otherwise the user keeps or deletes it.
// The spooler and the dialogs are interfaces, so the job logic runs without a toolkit or a real spooler.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

namespace platform {
class UserPrompt;
}

namespace terminal {

// The printer word a job carries once the user has cancelled the printer choice.
inline constexpr std::string_view kCancelledPrinter = "UserWantsToCancelJob";
// The printer word that stands for the default printer (any case).
inline constexpr std::string_view kDefaultPrinterWord = "MODDefaultPrinter";
inline constexpr std::string_view kRemoteDocumentName = "Remote Printing";
inline constexpr std::size_t kPrintChunkSize = 512;

// One raw document on its way into a spooler. A document that is dropped before Finish succeeded is
// withdrawn, so that it cannot print later behind the user's back.
class SpoolDocument {
  public:
    virtual ~SpoolDocument() = default;
    virtual bool Start(std::string_view documentName, std::string& why) = 0;
    virtual bool Write(std::span<const char> bytes, std::string& why) = 0;
    // Ends the document and waits until the spooler has printed it or given up on it. False unless the
    // printing is known to have completed; `stop` ends the wait early (and answers false).
    virtual bool Finish(std::stop_token stop, std::string& why) = 0;
};

class PrintSpooler {
  public:
    virtual ~PrintSpooler() = default;
    // The default printer's name (8-bit text); empty when there is none.
    virtual std::string DefaultPrinter() = 0;
    // A raw document on `printer` (8-bit text); null with the reason when there is no such printer or the
    // spooler cannot be reached.
    virtual std::unique_ptr<SpoolDocument> Open(std::string_view printer, std::string& why) = 0;
};

enum class DeleteChoice { Delete, Keep, NotShown };

// What the job asks of the user; called on the user-interface thread only.
class PrintJobUi {
  public:
    virtual ~PrintJobUi() = default;
    // The print dialog: the chosen printer's name (8-bit text), nullopt when the user cancelled.
    virtual std::optional<std::string> ChoosePrinter() = 0;
    // The keep-or-delete dialog with `message` (8-bit text); NotShown when it could not be created.
    virtual DeleteChoice OfferDelete(std::string_view message) = 0;
};

// How one pass through the spooler ended.
struct SpoolOutcome {
    enum class Status {
        Printed,
        CannotReadFile,
        UnknownPrinter,
        StartFailed,
        WriteFailed,
        NotPrinted,
        Stopped
    };
    Status status = Status::NotPrinted;
    std::string printer;  // the printer used, the default printer resolved to its name
    std::string why;      // for the log
};

class CRemotePrintJob {
  public:
    using Logger = std::function<void(std::string_view)>;

    // Messages go to `prompt`, or to the process prompt when it is null (not owned).
    CRemotePrintJob(std::shared_ptr<PrintSpooler> spooler, std::shared_ptr<PrintJobUi> ui,
                    platform::UserPrompt* prompt = nullptr);
    CRemotePrintJob(const CRemotePrintJob&) = delete;
    CRemotePrintJob& operator=(const CRemotePrintJob&) = delete;

    void SetLogger(Logger logger) { m_log = std::move(logger); }

    // An empty printer lets the user choose; kDefaultPrinterWord (any case) is the default printer.
    void SetJob(std::filesystem::path path, std::string printer);
    // The whole job on the calling thread: spool, on an unknown printer tell the user and let them choose
    // another, then delete the file or offer to.
    void RunJob();
    // Shows the keep-or-delete dialog for the file.
    void OfferDelete();

    // RunJob in pieces, for a caller that spools off the user-interface thread:
    //   while (ReadyToSpool()) { if (!Conclude(Spool(stop))) break; }
    // ReadyToSpool and Conclude talk to the user; Spool does not and may run on any thread while the job
    // is not otherwise used.
    bool ReadyToSpool();
    SpoolOutcome Spool(std::stop_token stop = {}) const;
    // Deletes the file after a printed job or offers to; true when the user chose another printer and the
    // job should be spooled again.
    bool Conclude(const SpoolOutcome& outcome);

    const std::string& Printer() const { return m_printer; }
    const std::filesystem::path& Path() const { return m_path; }

  private:
    void AskForPrinter();
    void Log(const std::string& text) const;
    platform::UserPrompt& Prompt() const;

    std::string m_printer;
    std::filesystem::path m_path;
    std::shared_ptr<PrintSpooler> m_spooler;
    std::shared_ptr<PrintJobUi> m_ui;
    platform::UserPrompt* m_prompt;
    Logger m_log;
};

// The text of the keep-or-delete dialog for `path`.
std::string OfferDeleteMessage(const std::filesystem::path& path);

}  // namespace terminal
