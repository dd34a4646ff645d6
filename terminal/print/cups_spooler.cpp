// Raw jobs through the scheduler. A job counts as printed only when the scheduler says it completed: a job
// that is held, stopped, aborted or cancelled, or that waits on a stopped printer, has not printed, and is
// withdrawn so that the user's copy of the file is the only one left.
#include "terminal/print/cups_spooler.h"

#include <sys/socket.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <span>

#include "platform/codepage.h"
#include "platform/print/cups_library.h"

namespace terminal {

namespace {

// Only called once Open or DefaultPrinter found the library loaded.
const platform::CupsLibrary& Cups() {
    return platform::CupsLibrary::Get();
}

struct HttpClose {
    void operator()(http_t* http) const { Cups().httpClose(http); }
};
struct DestFree {
    void operator()(cups_dest_t* dest) const { Cups().cupsFreeDests(1, dest); }
};
struct DestInfoFree {
    void operator()(cups_dinfo_t* info) const { Cups().cupsFreeDestInfo(info); }
};
struct IppDelete {
    void operator()(ipp_t* ipp) const { Cups().ippDelete(ipp); }
};
using Http = std::unique_ptr<http_t, HttpClose>;
using Dest = std::unique_ptr<cups_dest_t, DestFree>;
using DestInfo = std::unique_ptr<cups_dinfo_t, DestInfoFree>;
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// Short enough that a control closing while the scheduler does not answer is not held up for long.
constexpr int kConnectTimeoutMs = 10000;

std::string LastError(std::string_view what) {
    const char* text = Cups().cupsLastErrorString();
    return std::string(what) + ": " +
           (text != nullptr && *text != '\0' ? text : Cups().ippErrorString(Cups().cupsLastError()));
}

Http Connect(const std::string& server, std::string& why) {
    std::string host = server.empty() ? std::string(Cups().cupsServer()) : server;
    int port = Cups().ippPort();
    // A socket path has no port; "host:port" does (an IPv6 literal is bracketed).
    if (!host.starts_with('/')) {
        const std::size_t colon = host.rfind(':');
        const std::size_t bracket = host.rfind(']');
        if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
            port = std::atoi(host.c_str() + colon + 1);
            host.resize(colon);
        }
    }
    Http http(Cups().httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, Cups().cupsEncryption(), 1,
                                  kConnectTimeoutMs, nullptr));
    if (!http) {
        why = "cannot reach the print scheduler at " + host;
    }
    return http;
}

// "name" or "name/instance", as print dialogs name instances.
Dest NamedDest(http_t* http, std::string_view printer) {
    std::string name(printer);
    std::string instance;
    if (const std::size_t slash = name.find('/'); slash != std::string::npos) {
        instance = name.substr(slash + 1);
        name.resize(slash);
    }
    return Dest(Cups().cupsGetNamedDest(http, name.empty() ? nullptr : name.c_str(),
                                        instance.empty() ? nullptr : instance.c_str()));
}

enum class JobProgress { Printed, Waiting, Failed };

JobProgress Judge(ipp_jstate_t job, const std::string& jobReasons, ipp_pstate_t printer) {
    switch (job) {
        case IPP_JSTATE_COMPLETED:
            return JobProgress::Printed;
        case IPP_JSTATE_CANCELED:
        case IPP_JSTATE_ABORTED:
        case IPP_JSTATE_STOPPED:
            return JobProgress::Failed;
        case IPP_JSTATE_HELD:
            // Held while its document is still coming in is normal; held for any other reason (a failed
            // attempt waiting to be retried, a hold set by someone) means it does not print now.
            return jobReasons.find("job-incoming") != std::string::npos ? JobProgress::Waiting
                                                                        : JobProgress::Failed;
        case IPP_JSTATE_PENDING:
        case IPP_JSTATE_PROCESSING:
            return printer == IPP_PSTATE_STOPPED ? JobProgress::Failed : JobProgress::Waiting;
    }
    return JobProgress::Failed;
}

std::string Keywords(ipp_attribute_t* attribute) {
    std::string text;
    for (int i = 0; attribute != nullptr && i < Cups().ippGetCount(attribute); ++i) {
        if (const char* value = Cups().ippGetString(attribute, i, nullptr)) {
            text += (text.empty() ? "" : ",") + std::string(value);
        }
    }
    return text;
}

class CupsDocument : public SpoolDocument {
  public:
    CupsDocument(Http http, Dest dest, DestInfo info, const CupsSpooler::Options& options)
        : m_http(std::move(http)), m_dest(std::move(dest)), m_info(std::move(info)), m_options(options) {
        const char* uri = Cups().cupsGetOption("printer-uri-supported", m_dest->num_options, m_dest->options);
        if (uri != nullptr) {
            m_printerUri = uri;
        } else {
            char assembled[1024];
            Cups().httpAssembleURIf(HTTP_URI_CODING_ALL, assembled, sizeof(assembled), "ipp", nullptr,
                                    "localhost", Cups().ippPort(), "/printers/%s", m_dest->name);
            m_printerUri = assembled;
        }
    }

    ~CupsDocument() override {
        if (m_jobId > 0 && !m_finished) {
            Cups().cupsCancelDestJob(m_http.get(), m_dest.get(), m_jobId);
        }
    }

    bool Start(std::string_view documentName, std::string& why) override {
        m_title = documentName;
        const ipp_status_t created = Cups().cupsCreateDestJob(m_http.get(), m_dest.get(), m_info.get(),
                                                              &m_jobId, m_title.c_str(), 0, nullptr);
        if (created > IPP_STATUS_OK_CONFLICTING || m_jobId <= 0) {
            why = LastError("the scheduler refused the job");
            return false;
        }
        return true;
    }

    bool Write(std::span<const char> bytes, std::string& why) override {
        // The document opens with its first bytes: the scheduler refuses a document without any.
        if (!m_documentOpen) {
            if (Cups().cupsStartDestDocument(m_http.get(), m_dest.get(), m_info.get(), m_jobId,
                                             m_title.c_str(), CUPS_FORMAT_RAW, 0, nullptr,
                                             1) != HTTP_STATUS_CONTINUE) {
                why = LastError("the scheduler refused the document");
                return false;
            }
            m_documentOpen = true;
        }
        if (Cups().cupsWriteRequestData(m_http.get(), bytes.data(), bytes.size()) != HTTP_STATUS_CONTINUE) {
            why = LastError("writing the document failed");
            return false;
        }
        return true;
    }

    bool Finish(std::stop_token stop, std::string& why) override {
        if (!m_documentOpen) {
            // An empty file prints nothing; the empty job is withdrawn and there is nothing to wait for.
            Cups().cupsCancelDestJob(m_http.get(), m_dest.get(), m_jobId);
            m_finished = true;
            return true;
        }
        if (Cups().cupsFinishDestDocument(m_http.get(), m_dest.get(), m_info.get()) >
            IPP_STATUS_OK_CONFLICTING) {
            why = LastError("the scheduler did not accept the document");
            return false;
        }
        // From here the scheduler holds the whole document; only its verdict decides about the file.
        const auto deadline = std::chrono::steady_clock::now() + m_options.printLimit;
        std::mutex mutex;
        std::condition_variable_any wake;
        for (;;) {
            ipp_jstate_t jobState = IPP_JSTATE_PENDING;
            std::string reasons;
            if (!QueryJob(jobState, reasons, why)) {
                m_finished = true;  // unknown fate: leave the job be, the user decides about the file
                return false;
            }
            switch (Judge(jobState, reasons, QueryPrinterState())) {
                case JobProgress::Printed:
                    m_finished = true;
                    return true;
                case JobProgress::Failed:
                    why = "job " + std::to_string(m_jobId) + " is " +
                          Cups().ippEnumString("job-state", jobState) +
                          (reasons.empty() ? "" : " (" + reasons + ")");
                    return false;  // not finished: withdrawn when dropped
                case JobProgress::Waiting:
                    break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                m_finished = true;  // it may still print: leave it queued
                why = "job " + std::to_string(m_jobId) + " has not printed after " +
                      std::to_string(m_options.printLimit.count()) + " ms";
                return false;
            }
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, stop, m_options.pollInterval, [] { return false; });
                stop.stop_requested()) {
                m_finished = true;  // the whole document is queued; it prints without us
                why = "stopped while waiting for job " + std::to_string(m_jobId);
                return false;
            }
        }
    }

  private:
    // Asks the scheduler for `attributes` of the printer, or of our job when `ofJob`; null when it did not
    // answer.
    Ipp QueryAttributes(ipp_op_t operation, std::span<const char* const> attributes, bool ofJob) {
        ipp_t* request = Cups().ippNewRequest(operation);
        Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                            m_printerUri.c_str());
        if (ofJob) {
            Cups().ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", m_jobId);
        }
        Cups().ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                            Cups().cupsUser());
        Cups().ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                             static_cast<int>(attributes.size()), nullptr, attributes.data());
        return Ipp(Cups().cupsDoRequest(m_http.get(), request, "/"));
    }

    bool QueryJob(ipp_jstate_t& state, std::string& reasons, std::string& why) {
        static const char* const kAttributes[] = {"job-state", "job-state-reasons"};
        Ipp response = QueryAttributes(IPP_OP_GET_JOB_ATTRIBUTES, kAttributes, true);
        ipp_attribute_t* stateAttribute =
            response ? Cups().ippFindAttribute(response.get(), "job-state", IPP_TAG_ENUM) : nullptr;
        if (stateAttribute == nullptr) {
            why = LastError("asking for job " + std::to_string(m_jobId) + " failed");
            return false;
        }
        state = static_cast<ipp_jstate_t>(Cups().ippGetInteger(stateAttribute, 0));
        reasons = Keywords(Cups().ippFindAttribute(response.get(), "job-state-reasons", IPP_TAG_KEYWORD));
        return true;
    }

    ipp_pstate_t QueryPrinterState() {
        static const char* const kAttributes[] = {"printer-state"};
        Ipp response = QueryAttributes(IPP_OP_GET_PRINTER_ATTRIBUTES, kAttributes, false);
        ipp_attribute_t* state =
            response ? Cups().ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM) : nullptr;
        // Not knowing the printer's state is no reason to give up on the job; its own state still counts.
        return state != nullptr ? static_cast<ipp_pstate_t>(Cups().ippGetInteger(state, 0)) : IPP_PSTATE_IDLE;
    }

    Http m_http;
    Dest m_dest;
    DestInfo m_info;
    CupsSpooler::Options m_options;
    std::string m_printerUri;
    std::string m_title;
    int m_jobId = 0;
    bool m_documentOpen = false;
    bool m_finished = false;
};

}  // namespace

CupsSpooler::CupsSpooler() : CupsSpooler(Options{}) {}

CupsSpooler::CupsSpooler(Options options) : m_options(std::move(options)) {}

std::string CupsSpooler::DefaultPrinter() {
    if (!Cups().Loaded()) {
        return {};
    }
    std::string why;
    Http http = Connect(m_options.server, why);
    if (!http) {
        return {};
    }
    Dest dest = NamedDest(http.get(), {});
    if (!dest) {
        return {};
    }
    std::string name = dest->name;
    if (dest->instance != nullptr) {
        name += "/" + std::string(dest->instance);
    }
    return platform::Utf8ToCp1252(name);
}

std::unique_ptr<SpoolDocument> CupsSpooler::Open(std::string_view printer, std::string& why) {
    if (printer.empty()) {
        why = "no printer named";
        return nullptr;
    }
    if (!Cups().Loaded()) {
        why = Cups().Error();
        return nullptr;
    }
    Http http = Connect(m_options.server, why);
    if (!http) {
        return nullptr;
    }
    Dest dest = NamedDest(http.get(), platform::Cp1252ToUtf8(printer));
    if (!dest) {
        why = LastError("no printer \"" + std::string(printer) + "\"");
        return nullptr;
    }
    DestInfo info(Cups().cupsCopyDestInfo(http.get(), dest.get()));
    if (!info) {
        why = LastError("the printer's capabilities could not be read");
        return nullptr;
    }
    return std::make_unique<CupsDocument>(std::move(http), std::move(dest), std::move(info), m_options);
}

}  // namespace terminal
