// The automatic login's progress dialog. The worker never waits for this thread: its progress and its end
// arrive as queued calls, and its messages are kept until it has ended, so Cancel can always join it.
#include "tools/auto_login_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/user_prompt.h"

namespace tools {

namespace {

// Hands the worker's positions to the bar on its own thread without waiting.
class QueuedProgress final : public hostlink::ProgressSink {
  public:
    explicit QueuedProgress(QProgressBar* bar) : m_bar(bar) {}
    void SetPosition(int32_t percent) override {
        QMetaObject::invokeMethod(
            m_bar, [bar = m_bar, percent] { bar->setValue(percent); }, Qt::QueuedConnection);
    }

  private:
    QProgressBar* m_bar;
};

}  // namespace

CAutoLoginDlg::CAutoLoginDlg(hostlink::RemoteLoginTarget& target, QWidget* parent)
    : QDialog(parent), m_target(target), m_worker(target) {
    setWindowTitle(QStringLiteral("Connecting..."));
    auto* text = new QLabel(QStringLiteral("Logging On Remote Server"), this);
    text->setObjectName(QStringLiteral("statusText"));
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    // No default button: Enter must not cancel a connection.
    m_cancel->setAutoDefault(false);
    m_cancel->setDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);

    connect(m_cancel, &QPushButton::clicked, this, &CAutoLoginDlg::reject);
    m_progress = std::make_unique<QueuedProgress>(m_bar);
}

CAutoLoginDlg::~CAutoLoginDlg() {
    StopWorker(!m_finished);
}

void CAutoLoginDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_finished || m_worker.Started()) {
        return;
    }
    m_target.SetProgressSink(m_progress.get());
    m_sinkRegistered = true;
    m_worker.Start([this](int32_t result) {
        QMetaObject::invokeMethod(
            this, [this, result] { OnWorkerEnded(result); }, Qt::QueuedConnection);
    });
}

void CAutoLoginDlg::reject() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    StopWorker(true);
    QDialog::reject();
}

void CAutoLoginDlg::OnWorkerEnded(int32_t result) {
    if (m_finished) {
        return;
    }
    m_finished = true;
    // A worker that reports success on an aborted connection did not log in; without this the dialog
    // would wait for a close that never comes.
    const bool success = result == 0 && !m_target.Aborted();
    StopWorker(!success);
    for (const platform::PromptRequest& request : m_worker.Messages()) {
        platform::DefaultPrompt().Show(request);
    }
    done(success ? QDialog::Accepted : QDialog::Rejected);
}

void CAutoLoginDlg::StopWorker(bool abort) {
    // A worker that never ran has no connection to abort.
    if (abort && m_worker.Started()) {
        m_worker.Abort();
    }
    m_worker.Join();
    if (m_sinkRegistered) {
        m_target.SetProgressSink(nullptr);
        m_sinkRegistered = false;
    }
}

}  // namespace tools
