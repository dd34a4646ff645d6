// The progress dialog of the automatic login: a worker thread connects and logs in while the bar shows how
// far it got; Cancel aborts the connection and waits for the worker before the dialog ends.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

#include "hostlink/login_ui.h"
#include "tools/login_worker.h"

class QProgressBar;
class QPushButton;
class QShowEvent;

namespace tools {

class CAutoLoginDlg : public QDialog {
    Q_OBJECT

  public:
    CAutoLoginDlg(hostlink::RemoteLoginTarget& target, QWidget* parent = nullptr);
    // A worker still running is aborted and joined.
    ~CAutoLoginDlg() override;

    // The user's cancel: the Cancel button, Escape and the close box. Aborts the connection, joins the
    // worker, and drops what the worker had to say.
    void reject() override;

  protected:
    // The worker starts when the dialog is first shown.
    void showEvent(QShowEvent* event) override;

  private:
    void OnWorkerEnded(int32_t result);
    void StopWorker(bool abort);

    hostlink::RemoteLoginTarget& m_target;
    QProgressBar* m_bar = nullptr;
    QPushButton* m_cancel = nullptr;
    std::unique_ptr<hostlink::ProgressSink> m_progress;
    bool m_sinkRegistered = false;
    // Set once the dialog has taken its way out (success, failure or cancel); later reports are ignored.
    bool m_finished = false;
    LoginWorker m_worker;
};

}  // namespace tools
