// Running print jobs in turn: dialogs here, spooling on a worker that only posts its outcome back.
#include "terminal/print/remote_print_queue.h"

#include <QMetaObject>
#include <QWidget>

#include "terminal/print/cups_spooler.h"
#include "terminal/print/file_print_delete_dlg.h"

namespace terminal {

CRemotePrintQueue::CRemotePrintQueue(QObject* parent, std::shared_ptr<PrintSpooler> spooler,
                                     std::shared_ptr<PrintJobUi> ui)
    : QObject(parent), m_spooler(std::move(spooler)), m_ui(std::move(ui)) {}

CRemotePrintQueue::~CRemotePrintQueue() {
    *m_alive = false;
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_worker.join();
    }
    // The worker's posted outcome, if any, is dropped with this object.
    if (m_active) {
        Log("Print job for " + m_active->Path().string() + " stopped with the control");
    }
    for (const auto& [printer, file] : m_waiting) {
        Log("Print job for " + file.string() + " not started, file kept");
    }
}

CRemotePrintQueue& CRemotePrintQueue::Of(QWidget& owner) {
    if (auto* queue = owner.findChild<CRemotePrintQueue*>(QString(), Qt::FindDirectChildrenOnly)) {
        return *queue;
    }
    return *new CRemotePrintQueue(&owner, std::make_shared<CupsSpooler>(),
                                  std::make_shared<QtPrintJobUi>(&owner));
}

void CRemotePrintQueue::Add(std::string printer, std::filesystem::path file) {
    m_waiting.emplace_back(std::move(printer), std::move(file));
    if (!m_active) {
        // Not inside the host command that asked: its feed ends first and the screen comes back.
        QMetaObject::invokeMethod(
            this, [this] { StartNext(); }, Qt::QueuedConnection);
    }
}

void CRemotePrintQueue::StartNext() {
    if (m_active || m_waiting.empty()) {
        return;
    }
    auto [printer, file] = std::move(m_waiting.front());
    m_waiting.pop_front();
    auto job = std::make_shared<CRemotePrintJob>(m_spooler, m_ui);
    job->SetLogger([alive = m_alive, this](std::string_view text) {
        if (*alive) {
            Log(text);
        }
    });
    m_active = job;
    const std::shared_ptr<bool> alive = m_alive;
    job->SetJob(std::move(file), std::move(printer));
    if (!*alive) {
        return;
    }
    SpoolWhenReady(std::move(job), alive);
}

void CRemotePrintQueue::SpoolWhenReady(std::shared_ptr<CRemotePrintJob> job,
                                       const std::shared_ptr<bool>& alive) {
    // Asking may run a dialog, and the queue may be gone when it returns: `alive` says.
    if (!job->ReadyToSpool()) {
        if (*alive) {
            Finished();
        }
        return;
    }
    if (*alive) {
        SpoolOnWorker(std::move(job));
    }
}

void CRemotePrintQueue::SpoolOnWorker(std::shared_ptr<CRemotePrintJob> job) {
    if (m_worker.joinable()) {
        m_worker.join();  // the previous pass has posted its outcome and is ending
    }
    m_worker = std::jthread([this, job](std::stop_token stop) {
        SpoolOutcome outcome = job->Spool(stop);
        // The destructor joins this thread before the object goes, so posting to it is safe; an outcome
        // still queued then is dropped with it.
        QMetaObject::invokeMethod(
            this, [this, job, outcome = std::move(outcome)] { Spooled(job, outcome); }, Qt::QueuedConnection);
    });
}

void CRemotePrintQueue::Spooled(const std::shared_ptr<CRemotePrintJob>& job, const SpoolOutcome& outcome) {
    const std::shared_ptr<bool> alive = m_alive;
    const std::shared_ptr<CRemotePrintJob> keep = job;
    if (!keep->Conclude(outcome) || !*alive) {
        if (*alive) {
            Finished();
        }
        return;
    }
    // The user chose another printer after an unknown one.
    SpoolWhenReady(keep, alive);
}

void CRemotePrintQueue::Finished() {
    m_active.reset();
    if (!m_waiting.empty()) {
        QMetaObject::invokeMethod(
            this, [this] { StartNext(); }, Qt::QueuedConnection);
    }
}

void CRemotePrintQueue::Log(std::string_view text) const {
    if (m_log) {
        m_log(text);
    }
}

}  // namespace terminal
