// The control's print jobs, one after the other in the order the host asked for them. The dialogs run on the
// user-interface thread; the bytes go to the spooler on a worker, so a slow printer never freezes the window.
#pragma once

#include <QObject>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "terminal/print/remote_print_job.h"

class QWidget;

namespace terminal {

class CRemotePrintQueue : public QObject {
    Q_OBJECT

  public:
    // Lives on `parent`'s thread, as its child.
    CRemotePrintQueue(QObject* parent, std::shared_ptr<PrintSpooler> spooler, std::shared_ptr<PrintJobUi> ui);
    // Stops the job being spooled; its file stays where it is.
    ~CRemotePrintQueue() override;

    // The queue of `owner`, made as its child on first use with the scheduler and the Qt dialogs.
    static CRemotePrintQueue& Of(QWidget& owner);

    void SetLogger(CRemotePrintJob::Logger logger) { m_log = std::move(logger); }
    // Queues a job (printer as the job takes it); it starts once the current event is done.
    void Add(std::string printer, std::filesystem::path file);
    // No job waiting or running.
    bool Idle() const { return !m_active && m_waiting.empty(); }

  private:
    void StartNext();
    // Spools `job` once it has a printer, or finishes; the queue may be gone after it returns.
    void SpoolWhenReady(std::shared_ptr<CRemotePrintJob> job, const std::shared_ptr<bool>& alive);
    void SpoolOnWorker(std::shared_ptr<CRemotePrintJob> job);
    void Spooled(const std::shared_ptr<CRemotePrintJob>& job, const SpoolOutcome& outcome);
    void Finished();
    void Log(std::string_view text) const;

    std::shared_ptr<PrintSpooler> m_spooler;
    std::shared_ptr<PrintJobUi> m_ui;
    CRemotePrintJob::Logger m_log;
    std::deque<std::pair<std::string, std::filesystem::path>> m_waiting;
    std::shared_ptr<CRemotePrintJob> m_active;
    // A dialog's event loop may delete the queue; the job's steps check this before going on.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::jthread m_worker;
};

}  // namespace terminal
