// The remote print job: one raw pass through the spooler, and the user's say over the file when it fails.
#include "terminal/print/remote_print_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/codepage.h"
#include "platform/unique_fd.h"
#include "platform/user_prompt.h"

namespace terminal {

namespace {

using Status = SpoolOutcome::Status;

std::string Shown(const std::filesystem::path& path) {
    return platform::Utf8ToCp1252(path.string());
}

}  // namespace

std::string OfferDeleteMessage(const std::filesystem::path& path) {
    return Shown(path) + "\r\nmay not have printed properly.\r\n" + "\r\n\r\nDelete file from local machine?";
}

CRemotePrintJob::CRemotePrintJob(std::shared_ptr<PrintSpooler> spooler, std::shared_ptr<PrintJobUi> ui,
                                 platform::UserPrompt* prompt)
    : m_spooler(std::move(spooler)), m_ui(std::move(ui)), m_prompt(prompt) {}

void CRemotePrintJob::SetJob(std::filesystem::path path, std::string printer) {
    if (printer.empty()) {
        AskForPrinter();
    } else {
        // The default printer is looked up when the job spools, off the user-interface thread.
        m_printer = std::move(printer);
    }
    m_path = std::move(path);
}

void CRemotePrintJob::RunJob() {
    while (ReadyToSpool()) {
        if (!Conclude(Spool())) {
            return;
        }
    }
}

bool CRemotePrintJob::ReadyToSpool() {
    if (m_printer == kCancelledPrinter) {
        OfferDelete();
        return false;
    }
    return true;
}

SpoolOutcome CRemotePrintJob::Spool(std::stop_token stop) const {
    SpoolOutcome outcome;
    outcome.printer = m_printer;

    platform::UniqueFd file(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!file) {
        outcome.status = Status::CannotReadFile;
        outcome.why = "cannot open " + m_path.string() + ": " + std::strerror(errno);
        return outcome;
    }
    if (platform::EqualsNoCase(outcome.printer, kDefaultPrinterWord)) {
        outcome.printer = m_spooler->DefaultPrinter();
    }
    std::unique_ptr<SpoolDocument> document = m_spooler->Open(outcome.printer, outcome.why);
    if (!document) {
        outcome.status = Status::UnknownPrinter;
        return outcome;
    }
    std::string why;
    if (!document->Start(kRemoteDocumentName, why)) {
        outcome.status = Status::StartFailed;
        outcome.why = "Error Starting Document on Printer \"" + outcome.printer + "\": " + why;
        return outcome;
    }
    std::array<char, kPrintChunkSize> chunk{};
    for (;;) {
        if (stop.stop_requested()) {
            outcome.status = Status::Stopped;
            outcome.why = "stopped before the whole file was sent";
            return outcome;
        }
        const ssize_t got = ::read(file.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            // Half a document must not print as if it were the whole one: dropping it withdraws it.
            outcome.status = Status::CannotReadFile;
            outcome.why = "cannot read " + m_path.string() + ": " + std::strerror(errno);
            return outcome;
        }
        if (got == 0) {
            break;
        }
        if (!document->Write(std::span<const char>(chunk.data(), static_cast<std::size_t>(got)), why)) {
            outcome.status = Status::WriteFailed;
            outcome.why = "Error Writing to Printer \"" + outcome.printer + "\": " + why;
            return outcome;
        }
    }
    file.Reset();
    if (!document->Finish(stop, why)) {
        outcome.status = stop.stop_requested() ? Status::Stopped : Status::NotPrinted;
        outcome.why = "the job on printer \"" + outcome.printer + "\" did not complete: " + why;
        return outcome;
    }
    outcome.status = Status::Printed;
    return outcome;
}

bool CRemotePrintJob::Conclude(const SpoolOutcome& outcome) {
    m_printer = outcome.printer;
    switch (outcome.status) {
        case Status::Printed: {
            std::error_code error;
            if (!std::filesystem::remove(m_path, error) && error) {
                Log("Printed " + m_path.string() + " but could not delete it: " + error.message());
            }
            return false;
        }
        case Status::UnknownPrinter: {
            Log("Cannot print on printer \"" + outcome.printer + "\": " + outcome.why);
            platform::PromptRequest request;
            request.text = "Error printing to printer: \r\n" + outcome.printer;
            request.icon = platform::PromptIcon::Stop;
            request.systemModal = true;
            Prompt().Show(request);
            AskForPrinter();
            return true;
        }
        case Status::Stopped:
            // The control is going away: nobody is left to ask, so the file stays where the host put it.
            Log("Print job for " + m_path.string() + " stopped, file kept: " + outcome.why);
            return false;
        case Status::CannotReadFile:
        case Status::StartFailed:
        case Status::WriteFailed:
        case Status::NotPrinted:
            Log(outcome.why);
            OfferDelete();
            return false;
    }
    return false;
}

void CRemotePrintJob::OfferDelete() {
    switch (m_ui->OfferDelete(OfferDeleteMessage(m_path))) {
        case DeleteChoice::Delete: {
            std::error_code error;
            if (!std::filesystem::remove(m_path, error) && error) {
                Log("Could not delete " + m_path.string() + ": " + error.message());
            }
            break;
        }
        case DeleteChoice::Keep:
            Prompt().Message(Shown(m_path) + "\n\nWas not deleted", platform::PromptIcon::Exclamation);
            break;
        case DeleteChoice::NotShown:
            Prompt().Message("File Print Delete Dialog Box could not be created", platform::PromptIcon::Stop);
            break;
    }
}

void CRemotePrintJob::AskForPrinter() {
    std::optional<std::string> chosen = m_ui->ChoosePrinter();
    m_printer = chosen ? std::move(*chosen) : std::string(kCancelledPrinter);
}

void CRemotePrintJob::Log(const std::string& text) const {
    if (m_log) {
        m_log(text);
    }
}

platform::UserPrompt& CRemotePrintJob::Prompt() const {
    return m_prompt != nullptr ? *m_prompt : platform::DefaultPrompt();
}

}  // namespace terminal
