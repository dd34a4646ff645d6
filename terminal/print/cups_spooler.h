// The print spooler on the local scheduler: one raw job per document, written through the scheduler's IPP
// interface, and followed until the scheduler reports how it ended.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "terminal/print/remote_print_job.h"

namespace terminal {

class CupsSpooler : public PrintSpooler {
  public:
    struct Options {
        // "host", "host:port" or the path of the scheduler's Unix socket; empty: the user's configured one.
        std::string server;
        // How long a finished document may take to print before the file is handed back to the user. The
        // job stays queued then: it may still print, and the user is told it may not have.
        std::chrono::milliseconds printLimit = std::chrono::minutes(10);
        std::chrono::milliseconds pollInterval = std::chrono::milliseconds(100);
    };

    CupsSpooler();
    explicit CupsSpooler(Options options);

    std::string DefaultPrinter() override;
    std::unique_ptr<SpoolDocument> Open(std::string_view printer, std::string& why) override;

  private:
    Options m_options;
};

}  // namespace terminal
