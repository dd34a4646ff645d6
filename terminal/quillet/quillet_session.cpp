// The control's session glue: the pipes with their login dialogs, what the session, the reader and the
// hand-over ask of the control, the host commands' requests, the host objects and the transfers' dialogs.
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_ctrl_parts.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "hostlink/local_pipe.h"
#include "hostlink/remote_pipe.h"
#include "suite/debug_log.h"
#include "suite/qt/qt_text.h"
#include "terminal/print/remote_print_queue.h"
#include "terminal/quillet/quillet_menus.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/calendar/calendar_dlg.h"
#include "tools/qt_login_ui.h"

namespace terminal {

namespace automation = platform::automation;
using automation::Variant;

namespace {

// Makes the host link's pipes and gives them the Qt login dialogs over the control's window.
class QtPipeFactory final : public PipeFactory {
  public:
    QtPipeFactory(std::unique_ptr<PipeFactory> inner, hostlink::RemoteLoginUi& remoteUi,
                  std::function<QWidget*()> anchor)
        : m_inner(std::move(inner)), m_remoteUi(remoteUi), m_anchor(std::move(anchor)) {}

    std::unique_ptr<hostlink::CCommPipe> MakeEmpty(bool remote) override {
        return WithUi(m_inner->MakeEmpty(remote));
    }
    std::size_t StateRecordSize(bool remote) const override { return m_inner->StateRecordSize(remote); }
    std::unique_ptr<hostlink::CCommPipe> MakeConfigured(bool remote,
                                                        const QuilletProperties& props) override {
        return WithUi(m_inner->MakeConfigured(remote, props));
    }
    bool LoadRemoteSettings(hostlink::CCommPipe& pipe) override { return m_inner->LoadRemoteSettings(pipe); }
    void ConfigureLocal(hostlink::CCommPipe& pipe, std::string_view dataSet,
                        std::string_view programDir) override {
        m_inner->ConfigureLocal(pipe, dataSet, programDir);
    }
    void CopyBack(const hostlink::CCommPipe& pipe, QuilletProperties& props) override {
        m_inner->CopyBack(pipe, props);
    }
    void SetHostIsTrans(hostlink::CCommPipe& pipe, bool value) override {
        m_inner->SetHostIsTrans(pipe, value);
    }
    bool StartNewSession(hostlink::CCommPipe& pipe, std::string_view chainCommand) override {
        return m_inner->StartNewSession(pipe, chainCommand);
    }
    platform::UniqueFd SaveNewWindowState(hostlink::CCommPipe& pipe, std::string_view chainCommand) override {
        return m_inner->SaveNewWindowState(pipe, chainCommand);
    }
    void WakeIo(hostlink::CCommPipe& pipe) override { m_inner->WakeIo(pipe); }

  private:
    std::unique_ptr<hostlink::CCommPipe> WithUi(std::unique_ptr<hostlink::CCommPipe> pipe) {
        if (auto* local = dynamic_cast<hostlink::CLocalPipe*>(pipe.get())) {
            local->SetLoginUi(tools::QtLocalLoginUi(m_anchor()));
        } else if (auto* remote = dynamic_cast<hostlink::CRemotePipe*>(pipe.get())) {
            remote->SetLoginUi(&m_remoteUi);
        }
        return pipe;
    }

    std::unique_ptr<PipeFactory> m_inner;
    hostlink::RemoteLoginUi& m_remoteUi;
    std::function<QWidget*()> m_anchor;
};

std::optional<std::vector<std::string>> RunFileDialog(QWidget* parent, hostlink::FileDialogKind kind,
                                                      const QString& title, const QString& folder) {
    std::vector<std::string> chosen;
    switch (kind) {
        case hostlink::FileDialogKind::Save:
        case hostlink::FileDialogKind::Open: {
            const QString path = kind == hostlink::FileDialogKind::Save
                                     ? QFileDialog::getSaveFileName(parent, title, folder)
                                     : QFileDialog::getOpenFileName(parent, title, folder);
            if (path.isEmpty()) {
                return std::nullopt;
            }
            chosen.push_back(QFile::encodeName(path).toStdString());
            break;
        }
        case hostlink::FileDialogKind::OpenMultiple: {
            const QStringList paths = QFileDialog::getOpenFileNames(parent, title, folder);
            if (paths.isEmpty()) {
                return std::nullopt;
            }
            for (const QString& path : paths) {
                chosen.push_back(QFile::encodeName(path).toStdString());
            }
            break;
        }
    }
    return chosen;
}

}  // namespace

std::unique_ptr<PipeFactory> MakeQtPipeFactory(std::unique_ptr<PipeFactory> inner,
                                               hostlink::RemoteLoginUi& remoteUi,
                                               std::function<QWidget*()> anchor) {
    return std::make_unique<QtPipeFactory>(std::move(inner), remoteUi, std::move(anchor));
}

// A file dialog a transfer worker waits for. The teardown answers it (cancelled) when the worker must
// end before the user does.
struct FileChoice {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    std::optional<std::vector<std::string>> paths;

    void Answer(std::optional<std::vector<std::string>> result) {
        {
            std::lock_guard lock(mutex);
            if (done) {
                return;
            }
            done = true;
            paths = std::move(result);
        }
        answered.notify_all();
    }
};

// ---- hostlink::PipeOwner ----

void CQuilletCtrl::SetAppUser(int32_t user, std::string_view password) {
    m_props.m_AuthSorelUser = user;
    m_props.m_AuthSorelPassword = std::string(password);
    FireTamsel("USRCHANGE");
}

void CQuilletCtrl::SetSimple(bool noMenu) {
    m_props.m_Simple = true;
    if (noMenu) {
        m_props.m_DirectChainMode = true;
    }
    // Toolbars made later read the property; these follow it now.
    if (m_bars) {
        m_bars->SetSimple(true);
    }
}

void CQuilletCtrl::ShareWithWorkers() {
    std::lock_guard lock(m_sharedMutex);
    m_sharedClientFileName = m_props.m_ClientFileName;
    m_sharedPostClose = m_props.m_PostCloseOnSorelExit;
}

std::string CQuilletCtrl::ClientFileName() const {
    std::lock_guard lock(m_sharedMutex);
    return m_sharedClientFileName;
}

bool CQuilletCtrl::PostCloseOnSorelExit() const {
    std::lock_guard lock(m_sharedMutex);
    return m_sharedPostClose;
}

void CQuilletCtrl::SorelExit() {
    PostToUi([this] {
        if (!m_props.m_PostCloseOnSorelExit) {
            FireSorelExit();
        }
    });
}

void CQuilletCtrl::RunWait(const std::function<void()>& wait, const std::function<void()>& cancel) {
    if (QThread::currentThread() != m_uiTarget->thread()) {
        wait();
        return;
    }
    // The window keeps painting and can be closed meanwhile; what the user types waits for the open.
    std::shared_ptr<automation::IDispatch> keepAlive = weak_from_this().lock();
    QEventLoop loop;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        wait();
        done.store(true, std::memory_order_release);
        QMetaObject::invokeMethod(
            &loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    const std::function<void()>* outer = std::exchange(m_waitCancel, &cancel);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done.load(std::memory_order_acquire)) {
        cancel();  // the loop was told to end (the application quits): the wait cannot outlive it
    }
    worker.join();
    m_waitCancel = outer;
    ReleaseAfterCall(std::move(keepAlive));
}

void CQuilletCtrl::ReportTransfer(hostlink::TransferProgress code, int64_t value, std::string_view text) {
    // The status bar shows these once it exists; until then they go to the debug log.
    LogLine("Transfer " + std::to_string(static_cast<int32_t>(code)) + " " + std::to_string(value) + " " +
            std::string(text));
}

std::optional<std::vector<std::string>> CQuilletCtrl::ChooseFiles(hostlink::FileDialogKind kind,
                                                                  std::string_view title,
                                                                  std::string_view folder) {
    const QString caption = suite::FromCp1252(title);
    const QString start = QFile::decodeName(QByteArray(folder.data(), static_cast<qsizetype>(folder.size())));
    if (QThread::currentThread() == m_uiTarget->thread()) {
        return RunFileDialog(m_window, kind, caption, start);
    }
    auto choice = std::make_shared<FileChoice>();
    {
        std::lock_guard lock(m_choicesMutex);
        m_choices.push_back(choice);
    }
    PostToUi([this, choice, kind, caption, start] {
        if (std::lock_guard lock(choice->mutex); choice->done) {
            return;
        }
        choice->Answer(RunFileDialog(m_window, kind, caption, start));
    });
    std::unique_lock lock(choice->mutex);
    choice->answered.wait(lock, [&] { return choice->done; });
    return choice->paths;
}

// ---- SessionHost ----

void CQuilletCtrl::PostToUi(std::function<void()> task) {
    QMetaObject::invokeMethod(m_uiTarget.get(), std::move(task), Qt::QueuedConnection);
}

void CQuilletCtrl::SetWaitCursor(bool on) {
    if (on) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void CQuilletCtrl::CloseContainerFrame() {
    if (!m_window) {
        return;
    }
    QWidget* frame = m_window->window();
    if (frame != m_window) {
        // Posted, so the frame closes only after the teardown has returned.
        QMetaObject::invokeMethod(frame, &QWidget::close, Qt::QueuedConnection);
    }
}

void CQuilletCtrl::PrepareConnectedUi() {
    m_activated = false;
    if (m_bars) {
        if (m_props.m_Toolbars) {
            m_bars->CreateToolbars(m_props.m_Simple);
        }
        if (m_props.m_StatusBar) {
            m_bars->CreateStatusBar();
        }
    }
}

void CQuilletCtrl::ShowConnectedUi(bool restored) {
    if (m_terminal == nullptr) {
        return;
    }
    m_terminal->SetFrameStyle(m_props.m_Border, m_props.m_Toolbars);
    if (m_bars) {
        m_terminal->SetStatusBarHeight(m_bars->StatusBarHeight());
        if (restored) {
            m_bars->SwitchMain(m_terminal->Screen().CurrentToolbar());
        }
        if (m_props.m_Toolbars) {
            m_bars->ShowToolbars();
        }
        m_bars->ShowStatusBar();
    }
    ApplyFontChange(m_props);
    m_terminal->LoadFontFromRegistry();
    Layout();
    m_terminal->show();
    m_window->update();
    ReadKeyboardLocks();
}

void CQuilletCtrl::ConnectionEnded(bool repaint) {
    EndTransfers();
    if (m_bars) {
        m_bars->DestroyToolbars();
        m_bars->DestroyStatusBar();
    }
    if (m_terminal != nullptr) {
        m_terminal->KeepCursorBlinking(false);
        m_terminal->hide();
        m_terminal->SetStatusBarHeight(0);
    }
    m_activated = false;
    if (repaint && m_window) {
        m_window->update();
    }
}

void CQuilletCtrl::HostData(std::span<const uint8_t> bytes) {
    if (m_terminal != nullptr) {
        // The selection covered cells the host may be about to change.
        if (m_menus && m_menus->Tracker().IsActive()) {
            m_menus->ClearSelection();
        }
        m_terminal->Feed(bytes);
    }
}

platform::UniqueFd CQuilletCtrl::SaveScreen() {
    return m_terminal != nullptr ? m_terminal->Screen().SaveSnapshot() : platform::UniqueFd();
}

bool CQuilletCtrl::RestoreScreen(int handle) {
    return m_terminal != nullptr && m_terminal->Screen().RestoreSnapshot(handle);
}

void CQuilletCtrl::LogLine(std::string_view text) {
    if (m_debug) {
        suite::DebugLog(std::string(text) + "\n");
    }
}

// ---- HostCommandSink ----

void CQuilletCtrl::WriteToHost(std::string_view bytes) {
    m_keySender->SendBytes(bytes);
}

void CQuilletCtrl::Beep() {
    QApplication::beep();
}

hostlink::CCommPipe* CQuilletCtrl::Pipe() {
    return m_session->Pipe();
}

void CQuilletCtrl::SwitchOwnToolbar(int32_t bar) {
    if (m_bars) {
        m_bars->SwitchMain(bar);
    }
}

void CQuilletCtrl::RequestCalendar(const CalendarDate& date) {
    // Once the current feed is done, as the host command's posted message was.
    PostToUi([this, date] {
        if (!m_window) {
            return;
        }
        // The dialog runs its own event loop, in which a container may let go of the control.
        std::shared_ptr<automation::IDispatch> keepAlive = weak_from_this().lock();
        hostlink::CCommPipe* const pipe = m_session->Pipe();
        const bool field = !FieldInputInactive();
        if (field) {
            // Keys typed meanwhile wait in the field's type-ahead.
            m_field->Model().HideField();
            m_keySender->SetChannelPrefix(0);
        }
        std::optional<tools::CalendarDay> chosen;
        {
            QPointer<tools::CCalendarDlg> dialog =
                new tools::CCalendarDlg(tools::CalendarStartDay(date, CalendarDate::Now()), m_window);
            if (dialog->exec() == QDialog::Accepted && dialog) {
                chosen = dialog->SelectedDate();
            }
            delete dialog.data();
        }
        if (m_window) {
            const std::string reply = tools::CalendarReply(chosen);
            // A reply belongs to the session that asked; a new one never gets it.
            const bool sameSession = pipe != nullptr && m_session->Pipe() == pipe;
            if (field) {
                m_keySender->SetChannelPrefix(1);
                if (m_field->Model().Reshow()) {
                    if (sameSession && !reply.empty()) {
                        m_field->Model().SelectAll();
                        m_field->Model().Paste(reply);
                        m_field->SyncFromModel();
                        auto* enter = new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier,
                                                    QStringLiteral("\r"));
                        QCoreApplication::postEvent(m_field, enter);
                    }
                } else {
                    m_keySender->SetChannelPrefix(0);
                }
            } else if (sameSession && !reply.empty()) {
                WriteToHost(reply);
            }
            FocusInput();
        }
        ReleaseAfterCall(std::move(keepAlive));
    });
}

void CQuilletCtrl::RequestCreateObject(std::string progId) {
    PostToUi([this, progId = std::move(progId)] { m_objects->OnCreateRequest(progId); });
}

void CQuilletCtrl::RequestCallObject(std::string request) {
    PostToUi([this, request = std::move(request)] { m_objects->OnCallRequest(request); });
}

void CQuilletCtrl::RequestReleaseObject(int32_t index) {
    PostToUi([this, index] { m_objects->OnReleaseRequest(0, index); });
}

// ---- ObjectHost ----

void CQuilletCtrl::WriteChannel0(std::string_view bytes) {
    m_keySender->WriteChannel0(bytes);
}

std::string CQuilletCtrl::ConnectionText() {
    hostlink::CCommPipe* pipe = m_session->Pipe();
    return pipe != nullptr ? pipe->Describe() : std::string();
}

int32_t CQuilletCtrl::WindowHandle() {
    // The native frame that an object in another process could bring forward; 0 before it exists.
    return m_window ? static_cast<int32_t>(m_window->window()->effectiveWinId()) : 0;
}

bool CQuilletCtrl::PostToOwner(std::function<void()> task) {
    PostToUi(std::move(task));
    return true;
}

void CQuilletCtrl::BringToForeground() {
    if (m_window) {
        QWidget* frame = m_window->window();
        frame->raise();
        frame->activateWindow();
    }
}

void CQuilletCtrl::OpenNewWindow(std::string_view switchText) {
    if (!m_props.m_InVarnel) {
        if (hostlink::CCommPipe* pipe = m_session->Pipe()) {
            pipe->StartNewSession(switchText);
        }
        return;
    }
    m_session->NewWindow();
}

void CQuilletCtrl::ApplicationUserChanged(int32_t user, std::string_view password) {
    SetAppUser(user, password);
}

void CQuilletCtrl::PrintFile(std::string printer, std::filesystem::path file) {
    if (!m_window) {
        LogLine("PrintFile " + file.string() + ": the control has no window, file kept");
        return;
    }
    // The job starts once this host command is done and spools on a worker, so the window stays live.
    CRemotePrintQueue& queue = CRemotePrintQueue::Of(*m_window);
    queue.SetLogger([this](std::string_view text) { LogLine(text); });
    queue.Add(std::move(printer), std::move(file));
}

bool CQuilletCtrl::OpenField(std::string_view description, const CellGeometry& geometry) {
    return m_field != nullptr && m_field->OpenField(description, geometry);
}

void CQuilletCtrl::KeepTransfer(hostlink::FileXferThread transfer) {
    std::erase_if(m_transfers, [](const hostlink::FileXferThread& t) { return t.Finished(); });
    m_transfers.push_back(std::move(transfer));
}

void CQuilletCtrl::EndTransfers() {
    for (hostlink::FileXferThread& transfer : m_transfers) {
        transfer.Cancel();
    }
    {
        // A worker waiting for a file dialog would never be joined otherwise.
        std::lock_guard lock(m_choicesMutex);
        for (const std::weak_ptr<FileChoice>& weak : m_choices) {
            if (auto choice = weak.lock()) {
                choice->Answer(std::nullopt);
            }
        }
        m_choices.clear();
    }
    for (hostlink::FileXferThread& transfer : m_transfers) {
        transfer.Join();
    }
    m_transfers.clear();
}

}  // namespace terminal
