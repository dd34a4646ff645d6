// The terminal control: the dispatch table of _DQuillet over the property model and the session, the
// events of _DQuilletEvents, and the window that shows the screen. Worker threads reach the control only
// through queued calls on its user-interface thread.
#include "terminal/quillet/quillet_ctrl.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QThread>
#include <QWheelEvent>
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "hostlink/local_pipe.h"
#include "hostlink/remote_pipe.h"
#include "platform/codepage.h"
#include "platform/user_prompt.h"
#include "terminal/bars/toolbar_commands.h"
#include "suite/debug_log.h"
#include "terminal/pages/about_boxes.h"
#include "terminal/pages/page_object.h"
#include "terminal/pages/property_frame.h"
#include "terminal/print/remote_print_queue.h"
#include "terminal/quillet/quillet_menus.h"
#include "suite/registry_settings.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_font.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/calculator/calculator_dlg.h"
#include "tools/calendar/calendar_dlg.h"
#include "tools/dataset_sel_dlg.h"
#include "tools/practice_probe.h"
#include "tools/qt_login_ui.h"
#include "suite/qt/qt_text.h"
#include "tools/qt_user_prompt.h"

namespace terminal {

namespace automation = platform::automation;
using automation::DispatchError;
using automation::ParamSpec;
using automation::Variant;
using automation::VarType;

namespace {

constexpr std::string_view kNotConnected = "Quillet is not connected";
constexpr std::string_view kInvalidConnector = "Invalid Connector Specified";
constexpr int32_t kPopupFirstId = 10000;
constexpr int32_t kPopupLastId = 10019;

VarType DispatchType(PropertyType type) {
    switch (type) {
        case PropertyType::String:
            return VarType::Bstr;
        case PropertyType::Int16:
            return VarType::I2;
        case PropertyType::Int32:
            return VarType::I4;
        case PropertyType::Bool:
            return VarType::Bool;
    }
    return VarType::Empty;
}

Variant ToVariant(const PropertyValue& value) {
    return std::visit(
        [](const auto& v) -> Variant {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return Variant::Bstr(v);
            } else if constexpr (std::is_same_v<T, int16_t>) {
                return Variant::I2(v);
            } else if constexpr (std::is_same_v<T, int32_t>) {
                return Variant::I4(v);
            } else {
                return Variant::Bool(v);
            }
        },
        value);
}

// The argument arrives coerced to the property's dispatch kind.
PropertyValue FromVariant(const Variant& value, PropertyType type) {
    switch (type) {
        case PropertyType::String:
            return value.AsBstr();
        case PropertyType::Int16:
            return value.AsI2();
        case PropertyType::Int32:
            return value.AsI4();
        case PropertyType::Bool:
            break;
    }
    return value.AsBool();
}

// The BOOL of the interface is an int: 0 and 1 (and the failure codes some methods answer) cross as I4.
Variant Int(int32_t value) {
    return Variant::I4(value);
}

// The credentials a remote pipe's login dialog gathered, as the Auth properties.
void TakeRemoteAuth(const hostlink::CRemotePipe& pipe, QuilletProperties& props) {
    props.m_AuthOsUser = pipe.m_osUser.Str();
    props.m_AuthOsPassword = pipe.m_osPassword.Str();
    props.m_AuthSorelUser = pipe.m_appUser;
    props.m_AuthSorelPassword = pipe.m_appPassword.Str();
}

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

// The control as the practice probe sees it. Its setters mark the control modified, as the dispatch
// interface's setters do, so a container saves the connection the probe chose.
class ControlProbeTarget final : public tools::ProbeTarget {
  public:
    ControlProbeTarget(QuilletProperties& props, int32_t& manualFlag, SessionHost& host)
        : m_props(props), m_manualFlag(manualFlag), m_host(host) {}

    int32_t ManualProbeFlag() const override { return m_manualFlag; }
    void SetManualProbeFlag(int32_t flag) override { m_manualFlag = flag; }
    void SetWaitCursor(bool on) override { m_host.SetWaitCursor(on); }
    void SetClientMode(suite::ClientMode mode) override { suite::SetClientMode(mode); }
    int32_t LoadRegistry() override { return terminal::LoadRegistry(m_props); }

    std::string Connector() const override { return m_props.m_Connector; }
    void SetConnector(const std::string& value) override { Store(m_props.m_Connector, value); }
    void SetRemoteDataSet(const std::string& value) override { Store(m_props.m_RemoteDataSet, value); }
    void SetRemoteSorelProgs(const std::string& value) override { Store(m_props.m_RemoteSorelProgs, value); }
    void SetRemoteHost(const std::string& value) override { Store(m_props.m_RemoteHost, value); }
    void SetRemotePort(int16_t value) override { Store(m_props.m_RemotePort, value); }
    void SetRemotePrinter(int16_t value) override { Store(m_props.m_RemotePrinter, value); }
    void SetRemoteTerm(int16_t value) override { Store(m_props.m_RemoteTerm, value); }
    void SetRemoteEnviro(const std::string& value) override { Store(m_props.m_RemoteEnviro, value); }
    void SetWanMode(int16_t value) override { Store(m_props.m_WanMode, value); }
    void SetBillServID(int32_t value) override { Store(m_props.m_BillServID, value); }
    void SetLocalDataSet(const std::string& value) override { Store(m_props.m_LocalDataSet, value); }
    void SetLocalSorelProgs(const std::string& value) override { Store(m_props.m_LocalSorelProgs, value); }
    void SetLocalTerm(int16_t value) override { Store(m_props.m_LocalTerm, value); }
    void SetLocalPrinter(int16_t value) override { Store(m_props.m_LocalPrinter, value); }

  private:
    template <typename T>
    void Store(T& property, const T& value) {
        property = value;
        m_props.m_modified = true;
    }

    QuilletProperties& m_props;
    int32_t& m_manualFlag;
    SessionHost& m_host;
};

}  // namespace

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

namespace {

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

// What the toolbars, the status bar and screen clicks ask of the control.
class CQuilletCtrl::BarsAdapter final : public bars::ToolbarTarget, public bars::ClickTarget {
  public:
    explicit BarsAdapter(CQuilletCtrl& control) : m_control(control) {}

    bool Closing() const override { return !m_control.m_window; }
    bool Chainable() const override { return m_control.m_props.m_chainable != 0; }
    void HideFieldEditor() override {
        if (m_control.m_field != nullptr) {
            m_control.m_field->Model().HideField();
        }
    }
    void WriteChannel0(std::string_view bytes) override { m_control.m_keySender->WriteChannel0(bytes); }
    void OpenNewWindow(std::string_view switchText) override { m_control.OpenNewWindow(switchText); }
    void NewWindow() override { m_control.m_session->NewWindow(); }
    void SendProcess() override { m_control.SendProcess(); }
    void ShowCalculator() override { m_control.ShowCalc(); }
    void ShowStop(std::string_view text) override { m_control.Message(std::string(text), true); }

    bool FieldModified() const override {
        return m_control.m_field != nullptr && m_control.m_field->Model().IsOpen() &&
               m_control.m_field->Model().IsModified();
    }
    void SubmitField(bool endOfField) override {
        CInkeyCtrl& model = m_control.m_field->Model();
        if (endOfField) {
            model.Submit();
        } else {
            // The click report follows on the plain write, in place of the end-of-field sequence.
            const std::string block = model.Text() + '\x01';
            model.ClearField();
            model.KeySender().SendChannel1(block, true);
        }
        m_control.m_field->SyncFromModel();
    }
    void WriteRaw(std::string_view bytes) override { m_control.m_keySender->SendBytes(bytes); }

  private:
    CQuilletCtrl& m_control;
};

// ---- The window ----

CQuilletWindow::CQuilletWindow(CQuilletCtrl& control) : m_control(&control) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    resize(640, 480);
}

CQuilletWindow::~CQuilletWindow() {
    // A parent deleting the window ends the session while the screen still exists.
    if (m_control != nullptr) {
        m_control->WindowDestroyed();
    }
}

void CQuilletWindow::paintEvent(QPaintEvent*) {
    m_control->PaintBackground(*this);
}

void CQuilletWindow::resizeEvent(QResizeEvent*) {
    m_control->Layout();
}

void CQuilletWindow::keyPressEvent(QKeyEvent* event) {
    // Keys that reach the control window are the screen's. A key the screen leaves (a bare modifier) comes
    // back here as the screen's parent: it goes on to the container once, not round again for ever.
    static bool forwarding = false;
    static bool leftByScreen = false;
    if (forwarding) {
        leftByScreen = true;
        event->accept();
        return;
    }
    if (m_control->m_terminal != nullptr && m_control->m_session->HasPipe()) {
        forwarding = true;
        leftByScreen = false;
        QCoreApplication::sendEvent(m_control->m_terminal, event);
        forwarding = false;
        if (leftByScreen) {
            event->ignore();
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void CQuilletWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click on an idle control connects it.
    if (!m_control->m_session->HasPipe()) {
        m_control->m_session->Connect();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

bool CQuilletWindow::eventFilter(QObject* watched, QEvent* event) {
    if (m_control != nullptr && watched == m_control->m_terminal) {
        // Only watched: the screen and its selection still get the event.
        m_control->ScreenMouseEvent(*event);
    }
    if (event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        mousePressEvent(static_cast<QMouseEvent*>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CQuilletWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::MiddleButton) {
        m_control->MiddleClick();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CQuilletWindow::wheelEvent(QWheelEvent* event) {
    m_control->WheelTurned(event->angleDelta().y());
    event->accept();
}

// ---- Construction ----

CQuilletCtrl::CQuilletCtrl() : CQuilletCtrl(Options{}) {}

CQuilletCtrl::CQuilletCtrl(Options options)
    : DispatchObject({}, {automation::IID_IDispatch, kQuilletDispatchIid}),
      m_uiTarget(std::make_unique<QObject>()),
      m_remoteLoginUi(options.remoteLoginUi ? std::move(options.remoteLoginUi)
                                            : std::make_unique<tools::QtRemoteLoginUi>()),
      m_localLoginUi(std::move(options.localLoginUi)) {
    uint32_t debug = 0;
    platform::RegType type = platform::RegType::Dword;
    uint32_t size = sizeof debug;
    if (suite::RegReadValue(platform::HKey::LocalMachine, suite::kCompanyKey, "Debug", type, &debug, size) == 0 &&
        type == platform::RegType::Dword) {
        m_debug = debug != 0;
    }

    m_window = new CQuilletWindow(*this);
    m_terminal = new CTerminalWidget(m_window);
    m_terminal->hide();
    m_terminal->installEventFilter(m_window);

    CQuilletSession::Options sessionOptions;
    sessionOptions.handshakeTimeout = options.handshakeTimeout;
    std::unique_ptr<PipeFactory> inner = options.factory ? std::move(options.factory) : MakeHostPipeFactory();
    sessionOptions.factory = std::make_unique<QtPipeFactory>(std::move(inner), *m_remoteLoginUi,
                                                             [this]() -> QWidget* { return m_window; });
    m_session = std::make_unique<CQuilletSession>(*this, m_props, std::move(sessionOptions));

    m_keySender = std::make_unique<CKeySender>(m_session->Poster());
    m_terminal->SetKeySender(m_keySender.get());
    m_field = new CFieldEdit(m_session->Poster(), m_terminal);
    m_field->SetLogger([this](std::string_view text) { LogLine(text); });
    m_terminal->SetFieldEdit(m_field);
    m_commands = std::make_unique<CHostCommands>(m_terminal->Screen(), *this);
    m_terminal->Screen().SetOwner(m_commands.get());
    m_menus = std::make_unique<CQuilletMenus>(*this);

    m_barsAdapter = std::make_unique<BarsAdapter>(*this);
    m_bars = new bars::CControlBars(*m_window);
    QObject::connect(m_bars, &bars::CControlBars::toolbarCommand, m_uiTarget.get(),
                     [this](int id) { RunBarCommand(id); });
    QObject::connect(m_bars, &bars::CControlBars::statusCommand, m_uiTarget.get(),
                     [this](int id) { RunBarCommand(id); });

    AddConnectionPoint(kQuilletEventsIid);
    BuildTable();
}

CQuilletCtrl::~CQuilletCtrl() {
    m_session.reset();
    EndTransfers();
    if (m_window) {
        m_window->m_control = nullptr;
        delete m_window.data();
    }
}

void CQuilletCtrl::WindowDestroyed() {
    // The screen goes with the window: no session may feed it afterwards.
    m_session->Disconnect(false, false);
    EndTransfers();
    m_terminal->Screen().SetOwner(nullptr);
    m_terminal->SetKeySender(nullptr);
    m_terminal = nullptr;
    m_field = nullptr;
    m_window = nullptr;
}

automation::HRESULT CQuilletCtrl::QueryInterface(const Guid& iid, std::shared_ptr<void>& out) {
    if (iid == kQuilletWidgetIid) {
        if (!m_window) {
            out.reset();
            return automation::E_NOINTERFACE;
        }
        out = std::shared_ptr<void>(shared_from_this(), static_cast<QWidget*>(m_window.data()));
        return automation::S_OK;
    }
    // The further interfaces live as long as the control: each pointer keeps the control alive.
    void* further = nullptr;
    if (iid == automation::IID_IObjectSafety) {
        further = static_cast<automation::IObjectSafety*>(&m_safety);
    } else if (iid == automation::IID_ISpecifyPropertyPages) {
        further = static_cast<automation::ISpecifyPropertyPages*>(&m_pageList);
    } else if (iid == automation::IID_IObjectVerbs) {
        further = static_cast<automation::IObjectVerbs*>(&m_verbs);
    } else if (iid == automation::IID_IPersistPropertyBag) {
        further = static_cast<pages::IPersistPropertyBag*>(&m_persistence);
    }
    if (further != nullptr) {
        out = std::shared_ptr<void>(shared_from_this(), further);
        return automation::S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
}

// ---- The dispatch table ----

void CQuilletCtrl::BuildTable() {
    AddProperties();
    AddMethods();
}

void CQuilletCtrl::AddProperties() {
    for (const PropertyInfo& info : QuilletProperties::Table()) {
        const std::string name(info.name);
        const PropertyType type = info.type;
        Table().Property(
            name, info.dispid, DispatchType(type),
            [this, name] {
                const std::optional<PropertyValue> value = m_props.Get(name);
                return value ? ToVariant(*value) : Variant();
            },
            [this, name, type](const Variant& value) {
                if (!m_props.Set(name, FromVariant(value, type))) {
                    throw DispatchError(automation::DISP_E_TYPEMISMATCH, "cannot set " + name);
                }
                PropertyChanged(name);
            });
    }
    // The stock window property: how a container reaches the control's widget.
    Table().Property(
        "hWnd", kDispidWindow, VarType::Pointer,
        [this] { return Variant::Pointer(static_cast<QWidget*>(m_window.data()), std::string(kWidgetTag)); },
        nullptr);
    // The stock font: a get hands out the control's own object, which may be changed in place; a put takes
    // over the description of any font object.
    Table().Property(
        "Font", pages::kDispidFont, VarType::Dispatch, [this] { return Variant::Dispatch(m_font); },
        [this](const Variant& value) {
            const std::shared_ptr<automation::IDispatch> font = value.AsDispatch();
            if (!font) {
                throw DispatchError(automation::E_INVALIDARG, "no font object given");
            }
            if (font == m_font) {
                return;
            }
            const std::optional<pages::FontDescription> description = pages::CStockFont::ReadFrom(*font);
            if (!description) {
                throw DispatchError(automation::DISP_E_TYPEMISMATCH, "not a font object");
            }
            m_font->SetDescription(*description);
        });
}

void CQuilletCtrl::PropertyChanged(std::string_view name) {
    auto is = [name](std::string_view other) { return platform::EqualsNoCase(name, other); };
    if (is("Border")) {
        if (m_terminal != nullptr) {
            m_terminal->SetFrameStyle(m_props.m_Border, m_props.m_Toolbars);
            m_terminal->update();
        }
    } else if (is("HostIsTrans")) {
        m_session->HostIsTransChanged();
    } else if (is("ClientFileName") || is("PostCloseOnSorelExit")) {
        ShareWithWorkers();
    } else if (is("BackgroundColor")) {
        if (m_window) {
            m_window->update();
        }
    } else if (is("StatusBar")) {
        StatusBarChanged();
    } else if (is("Simple")) {
        if (m_bars) {
            m_bars->SetSimple(m_props.m_Simple);
        }
        Layout();
    }
}

void CQuilletCtrl::AddMethods() {
    using Args = std::span<const Variant>;
    const ParamSpec bstr(VarType::Bstr);
    const ParamSpec i2(VarType::I2);
    const ParamSpec i4(VarType::I4);
    Table()
        .Method("Send", 29, {bstr}, VarType::Empty,
                [this](Args a) {
                    Send(a[0].AsBstr());
                    return Variant();
                })
        .Method("ShutDownSorel", 30, {}, VarType::Empty,
                [this](Args) {
                    if (m_props.m_chainable != 0 && m_session->HasPipe()) {
                        m_keySender->SendBytes(std::string_view("/quit\r"));
                    }
                    return Variant();
                })
        .Method("AutoLogin", 31, {i4, i4}, VarType::I4,
                [this](Args a) { return Int(m_session->AutoLogin(a[0].AsI4(), a[1].AsI4()) ? 1 : 0); })
        .Method("SendSorelMessage", 32, {bstr}, VarType::Empty,
                [this](Args a) {
                    m_keySender->WriteChannel0("\x1b[*" + a[0].AsBstr() + "\n");
                    return Variant();
                })
        .Method("Connect", 33, {}, VarType::I4, [this](Args) { return Int(m_session->Connect()); })
        .Method("ReConnect", 34, {}, VarType::I4, [this](Args) { return Int(m_session->ReConnect()); })
        .Method("AuthUpdate", 35, {}, VarType::Empty,
                [this](Args) {
                    hostlink::CCommPipe* pipe = m_session->Pipe();
                    if (pipe == nullptr) {
                        Message("AuthUpdate(): Must Connect() before \rcalling this method", true);
                    } else if (auto* remote = dynamic_cast<hostlink::CRemotePipe*>(pipe);
                               remote != nullptr && m_props.IsRemote()) {
                        TakeRemoteAuth(*remote, m_props);
                    } else if (auto* local = dynamic_cast<hostlink::CLocalPipe*>(pipe);
                               local != nullptr && m_props.IsLocal()) {
                        m_props.m_AuthSorelUser = local->m_appUser;
                        m_props.m_AuthSorelPassword = local->m_appPassword.Str();
                    } else {
                        Message(std::string(kInvalidConnector), true);
                    }
                    return Variant();
                })
        .Method("LoadRegistry", 36, {}, VarType::I4, [this](Args) { return Int(LoadRegistry(m_props)); })
        .Method("AuthDialog", 37, {}, VarType::I4, [this](Args) { return Int(AuthDialog()); })
        .Method("Probe", 38, {}, VarType::I4, [this](Args) { return Int(ProbeConnection(false)); })
        .Method("VBASetFocus", 39, {}, VarType::Empty,
                [this](Args) {
                    // A page that hands the focus around wants the cursor blinking regardless.
                    if (m_terminal != nullptr) {
                        m_terminal->KeepCursorBlinking(true);
                    }
                    FocusInput();
                    return Variant();
                })
        .Method("WebAddWndLink", 40, {bstr}, VarType::I4,
                [this](Args a) { return Int(WebAddWndLink(a[0].AsBstr())); })
        .Method("WebRemoveWndLink", 41, {bstr}, VarType::Empty,
                [this](Args) {
                    WebRemoveWndLink();
                    return Variant();
                })
        .Method("WebSetWindowTitle", 42, {}, VarType::Empty,
                [this](Args) {
                    if (m_window) {
                        m_window->window()->setWindowTitle(suite::FromCp1252(m_props.m_PracticeName));
                    }
                    return Variant();
                })
        .Method("WebSetPersist", 43, {bstr}, VarType::I4,
                [this](Args a) { return Int(WebSetPersist(a[0].AsBstr()) ? 1 : 0); })
        .Method("WebClearPersist", 44, {bstr}, VarType::I4,
                [this](Args a) { return Int(WebClearPersist(a[0].AsBstr()) ? 1 : 0); })
        .Method("NewWindow", 45, {}, VarType::Empty,
                [this](Args) {
                    m_session->NewWindow();
                    return Variant();
                })
        .Method("ShowCalc", 46, {}, VarType::Empty,
                [this](Args) {
                    ShowCalc();
                    return Variant();
                })
        .Method("BootSorel", 47, {}, VarType::Empty,
                [this](Args) {
                    m_session->BootSorel();
                    return Variant();
                })
        .Method("SendProcess", 48, {}, VarType::Empty,
                [this](Args) {
                    SendProcess();
                    return Variant();
                })
        .Method("ManualProbe", 49, {}, VarType::I4, [this](Args) { return Int(ProbeConnection(true)); })
        .Method("Activate", 1004, {}, VarType::Empty,
                [this](Args) {
                    Activate();
                    return Variant();
                })
        .Method("Login", 1005,
                {i2, ParamSpec(VarType::Pointer, false, std::nullopt, std::string(kLoginDataTag))},
                VarType::I4,
                [this](Args a) {
                    const auto* commandLine = a[1].AsPointer<const std::string>(kLoginDataTag);
                    return Int(m_session->Login(a[0].AsI2(), commandLine != nullptr ? *commandLine : ""));
                })
        .Method("Print", 1006,
                {ParamSpec(VarType::Pointer, false, std::nullopt, std::string(kPrintTargetTag))},
                VarType::Empty,
                [this](Args a) {
                    auto* printer = a[0].AsPointer<QPrinter>(kPrintTargetTag);
                    if (printer == nullptr) {
                        throw DispatchError(automation::E_INVALIDARG, "no printer given");
                    }
                    if (m_terminal != nullptr) {
                        m_terminal->PrintScreen(*printer);
                    }
                    return Variant();
                })
        .Method("WinSetFocus", 1007, {}, VarType::Empty,
                [this](Args) {
                    if (!m_window) {
                        Message("WinSetFocus() requires a valid m_hWnd!", false);
                    } else {
                        FocusControl();
                    }
                    return Variant();
                })
        .Method("PopupMenuItem", 1008, {i2}, VarType::Empty,
                [this](Args a) {
                    const int16_t item = a[0].AsI2();
                    if (item < kPopupFirstId || item > kPopupLastId) {
                        throw DispatchError(automation::E_INVALIDARG, "popup menu item out of range");
                    }
                    m_menus->PopupMenuItem(item);
                    return Variant();
                })
        .Method("SendToolbarCommand", 1010, {bstr}, VarType::Empty,
                [this](Args a) {
                    SendToolbarCommand(a[0].AsBstr());
                    return Variant();
                })
        .Method("ForceNewWindow", 1011, {i2}, VarType::Empty,
                [this](Args a) {
                    m_forceNewWindow = a[0].AsI2();
                    return Variant();
                })
        .Method("GetScreenBuffer", 1012, {}, VarType::Bstr,
                [this](Args) { return Variant::Bstr(GetScreenBuffer()); })
        .Method("EditCopy", 1013, {}, VarType::Empty,
                [this](Args) {
                    m_menus->EditCopy();
                    return Variant();
                })
        .Method("EditPaste", 1014, {}, VarType::Empty,
                [this](Args) {
                    m_menus->EditPaste();
                    return Variant();
                })
        .Method("SetFontControl", 1015, {}, VarType::Empty,
                [this](Args) {
                    // The container shows the font dialog and saves the choice; the text is not read.
                    const Variant args[] = {Variant::Bstr("fake")};
                    Fire(QuilletEvent::SetFont, args);
                    return Variant();
                })
        .Method("EditCustomMenu", 1016, {}, VarType::Empty,
                [this](Args) {
                    m_menus->EditCustomMenu();
                    return Variant();
                })
        .Method(
            "ResizeRequest", 1018, {i4, i4}, VarType::I4,
            [this](Args a) {
                return Int(m_terminal != nullptr ? m_terminal->ResizeRequest(a[0].AsI4(), a[1].AsI4()) : 1);
            })
        .Method("ResizeRequestSuccess", 1019, {}, VarType::I4,
                [this](Args) { return Int(m_terminal != nullptr ? m_terminal->LastFitResult() : 0); })
        .Method("MinimumWindowSize", 1020, {i4, i4}, VarType::I4,
                [this](Args a) { return Int(MinimumWindowSize(a[0].AsI4(), a[1].AsI4())); })
        .Method("AboutBox", automation::DISPID_ABOUTBOX, {}, VarType::Empty, [this](Args) {
            ShowAboutBox();
            return Variant();
        });
}

// ---- Font, about box and property pages ----

namespace {

// A modal dialog runs its own event loop, in which a container may let go of the control: the dispatch call
// still runs on it, so the last reference goes once the call has returned.
void ReleaseAfterCall(std::shared_ptr<automation::IDispatch> keepAlive) {
    if (keepAlive && keepAlive.use_count() == 1) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [last = std::move(keepAlive)] {}, Qt::QueuedConnection);
    }
}

}  // namespace

void CQuilletCtrl::FontChanged() {
    m_props.m_modified = true;
    if (m_window) {
        m_window->update();
    }
}

void CQuilletCtrl::ShowAboutBox() {
    std::shared_ptr<automation::IDispatch> keepAlive = weak_from_this().lock();
    const hostlink::CCommPipe* pipe = m_session->Pipe();
    pages::AboutEdition edition = pages::AboutEdition::Quillet;
    if (pipe != nullptr) {
        edition = pipe->IsRemote() ? pages::AboutEdition::Varnel : pages::AboutEdition::Ostrel;
    }
    pages::RunAboutBox(edition, m_window);
    ReleaseAfterCall(std::move(keepAlive));
}

void CQuilletCtrl::ShowPropertyFrame() {
    std::shared_ptr<automation::IDispatch> keepAlive = weak_from_this().lock();
    if (!keepAlive) {
        return;
    }
    std::vector<Guid> pageIds;
    m_pageList.GetPages(pageIds);
    pages::RunPropertyFrame(m_window, suite::FromCp1252(std::string(kQuilletTypeName) + " Properties"),
                            {keepAlive}, pageIds, pages::PageClassFactory);
    ReleaseAfterCall(std::move(keepAlive));
}

bool CQuilletCtrl::HasInterface(const Guid& iid) {
    std::shared_ptr<void> out;
    return automation::Succeeded(QueryInterface(iid, out));
}

// ---- Methods ----

int32_t CQuilletCtrl::AuthDialog() {
    if (m_props.IsRemote()) {
        // A pipe of its own: the dialog fills it and nothing connects.
        hostlink::CRemotePipe pipe;
        if (!m_remoteLoginUi->RunAuthLogin(pipe, 6)) {
            return 1;
        }
        TakeRemoteAuth(pipe, m_props);
        m_props.m_modified = true;
        return 0;
    }
    if (m_props.IsLocal()) {
        std::unique_ptr<hostlink::LocalLoginUi> dialog =
            m_localLoginUi ? m_localLoginUi() : tools::QtLocalLoginUi(m_window)();
        if (dialog == nullptr || !dialog->ShowModal()) {
            return 1;
        }
        m_props.m_AuthSorelUser = dialog->UserNumber();
        m_props.m_AuthSorelPassword = dialog->Password();
        m_props.m_modified = true;
        return 0;
    }
    Message(std::string(kInvalidConnector), true);
    return 0;
}

int32_t CQuilletCtrl::WebAddWndLink(std::string_view name) {
    std::string why;
    m_linkHandle = platform::NamedObject::OpenOrCreate(name, &why);
    if (!m_linkHandle) {
        LogLine("WebAddWndLink: " + why);
    }
    // The page identifies the program by its main window.
    return m_window ? static_cast<int32_t>(m_window->window()->winId()) : 0;
}

bool CQuilletCtrl::WebSetPersist(std::string_view name) {
    std::string why;
    m_persistHandle = platform::NamedObject::OpenOrCreate(name, &why);
    if (!m_persistHandle) {
        LogLine("WebSetPersist: " + why);
    }
    return true;
}

bool CQuilletCtrl::WebClearPersist(std::string_view name) {
    m_persistHandle.reset();
    return !platform::NamedObject::Exists(name);
}

void CQuilletCtrl::Send(std::string_view text) {
    if (!m_session->HasPipe()) {
        Message(std::string(kNotConnected), true);
        return;
    }
    if (m_field != nullptr && m_field->Model().IsOpen() && m_field->Model().IsModified()) {
        // What the user typed into the open field goes first; the caller's text is dropped.
        m_field->Model().Submit();
        m_field->SyncFromModel();
        return;
    }
    m_keySender->WriteChannel0(text);
}

std::string CQuilletCtrl::GetScreenBuffer() const {
    std::string cells;
    if (m_terminal == nullptr) {
        return cells;
    }
    cells.reserve(kScreenCells);
    const CTerminalScreen& screen = m_terminal->Screen();
    for (int32_t row = 0; row < kScreenRows; ++row) {
        for (int32_t column = 0; column < kScreenColumns; ++column) {
            cells.push_back(static_cast<char>(screen.CharAt(row, column)));
        }
    }
    return cells;
}

void CQuilletCtrl::SendToolbarCommand(std::string_view command) {
    if (m_props.m_chainable != 0) {
        Send(command);
        return;
    }
    // The host opens a new window that runs the command.
    m_props.m_NewWindowChainCommand = std::string(command);
    Send("\x1b[K1");
}

void CQuilletCtrl::ShowCalc() {
    if (!m_window) {
        return;
    }
    // The dialog runs its own event loop, in which a container may let go of the control.
    std::shared_ptr<automation::IDispatch> keepAlive = weak_from_this().lock();
    QPointer<tools::CCalculator> dialog = new tools::CCalculator(m_window);
    const bool accepted = dialog->exec() == QDialog::Accepted && dialog;
    const int64_t value = dialog ? dialog->GetValue() : 0;
    delete dialog.data();
    if (accepted) {
        if (m_session->HasPipe()) {
            m_keySender->WriteChannel0(tools::CalculatorHostCommand(value));
        } else {
            LogLine("ShowCalc: no session, the value " + tools::CalculatorHostText(value) + " is not sent");
        }
    }
    ReleaseAfterCall(std::move(keepAlive));
}

int32_t CQuilletCtrl::MinimumWindowSize(int32_t cx, int32_t cy) {
    suite::LogFont font;
    suite::ReadFontSettings(font);
    font.width = 5;
    font.height = 10;
    const CellSize cell = MeasureCharacter(CreateTerminalFont(font, m_window), 0xC5, m_window);
    if (cell.width < 1 || cell.height < 1) {
        Message("Error Loading Font\"" + std::string(font.faceName) + "\"", true);
        return 1;
    }
    int32_t width = 80 * cell.width;
    int32_t height = 25 * cell.height + 23;
    if (m_props.m_Border) {
        width += 12;
        height += 12;
    }
    if (m_props.m_StatusBar) {
        height += 32;
    }
    const bool larger = width < cx && height < cy;
    m_props.m_MinWindowWidth = std::max(width, cx);
    m_props.m_MinWindowHeight = std::max(height, cy);
    return larger ? 1 : 0;
}

int32_t CQuilletCtrl::ProbeConnection(bool manual) {
    // The dataset dialog runs its own event loop, in which a container may let go of the control.
    std::shared_ptr<automation::IDispatch> keepAlive = weak_from_this().lock();
    ControlProbeTarget target(m_props, m_manualProbe, *this);
    tools::QtDatasetChooser chooser(m_window);
    const int32_t result = manual ? tools::RunManualProbe(target, chooser) : tools::RunProbe(target, chooser);
    ReleaseAfterCall(std::move(keepAlive));
    return result;
}

void CQuilletCtrl::WheelTurned(int delta) {
    if (!m_session->HasPipe()) {
        return;
    }
    const std::string_view step = delta < 0 ? "\x1b[^" : "\x1b[%";
    for (int notches = std::abs(delta) / 120; notches > 0; --notches) {
        m_keySender->WriteChannel0(step);
    }
}

void CQuilletCtrl::MiddleClick() {
    if (m_session->HasPipe()) {
        m_keySender->WriteChannel0("\x1b[H");
    }
}

void CQuilletCtrl::Activate() {
    if (!m_window || m_activated) {
        return;
    }
    FocusInput();
    m_activated = true;
}

void CQuilletCtrl::Message(const std::string& text, bool stopIcon) {
    platform::DefaultPrompt().Message(text,
                                      stopIcon ? platform::PromptIcon::Stop : platform::PromptIcon::None);
}

void CQuilletCtrl::Fire(QuilletEvent event, std::span<const Variant> args) {
    FireEvent(kQuilletEventsIid, static_cast<DISPID>(event), args);
}

// ---- Painting and layout ----

void CQuilletCtrl::PaintBackground(QWidget& window) {
    QPainter painter(&window);
    const uint32_t colour = BackgroundColorValue(m_props.m_BackgroundColor);
    painter.fillRect(window.rect(), QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
}

void CQuilletCtrl::Layout() {
    if (m_window && m_terminal != nullptr) {
        m_terminal->setGeometry(m_window->rect());
    }
    if (m_bars) {
        m_bars->Layout();
    }
}

// ---- Toolbars, status bar and clicks ----

bool CQuilletCtrl::RunBarCommand(int32_t id) {
    return bars::RunToolbarCommand(id, *m_barsAdapter) || bars::RunStatusBarCommand(id, *m_barsAdapter);
}

void CQuilletCtrl::SendProcess() {
    // With a field open, what the user typed into it goes first, as the submission the process command
    // ends; an unchanged field leaves the host's own text to the host.
    if (!FieldInputInactive() && m_field->Model().Submit("\x1b[|")) {
        return;
    }
    m_keySender->WriteChannel0("\x1b[|");
}

void CQuilletCtrl::StatusBarChanged() {
    if (!m_bars) {
        return;
    }
    if (m_props.m_StatusBar) {
        m_bars->CreateStatusBar();
        if (m_session->HasPipe()) {
            m_bars->ShowStatusBar();
        }
    } else {
        m_bars->DestroyStatusBar();
    }
    if (m_terminal != nullptr) {
        m_terminal->SetStatusBarHeight(m_bars->StatusBarHeight());
    }
    Layout();
}

void CQuilletCtrl::ClickAt(bars::ClickKind kind, QPoint point) {
    if (m_terminal == nullptr || !m_session->HasPipe()) {
        return;
    }
    const std::optional<CellPosition> cell = m_terminal->Screen().CellFromPoint(point.x(), point.y());
    if (cell) {
        bars::ActOnClick(m_terminal->Screen(), kind, *cell, *m_barsAdapter);
    }
}

void CQuilletCtrl::ScreenMouseEvent(const QEvent& event) {
    const QEvent::Type type = event.type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
        return;
    }
    const auto& mouse = static_cast<const QMouseEvent&>(event);
    if (mouse.button() != Qt::LeftButton || !m_session->HasPipe()) {
        return;
    }
    const QPoint at = mouse.position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        if (!m_activated) {
            FocusInput();
        }
        m_leftPress = at;
    } else if (type == QEvent::MouseButtonRelease) {
        const std::optional<QPoint> press = std::exchange(m_leftPress, std::nullopt);
        if (press && (at - *press).manhattanLength() < QApplication::startDragDistance()) {
            ClickAt(bars::ClickKind::Single, *press);
        }
    } else {
        m_leftPress.reset();
        ClickAt(bars::ClickKind::Double, at);
        // The editor hides only once the click has seen the field it may submit.
        if (m_field != nullptr) {
            m_field->Model().HideField();
        }
    }
}

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

void CQuilletCtrl::FireShowContainer(int eventFd) {
    const Variant args[] = {Variant::I4(eventFd)};
    Fire(QuilletEvent::ShowContainer, args);
}

void CQuilletCtrl::FireSorelExit() {
    Fire(QuilletEvent::SorelExit);
}

void CQuilletCtrl::FireNewWindow(int32_t pipeHandle, int32_t processId) {
    const Variant args[] = {Variant::I4(pipeHandle), Variant::I4(processId)};
    Fire(QuilletEvent::NewWindow, args);
}

void CQuilletCtrl::CloseContainerFrame() {
    if (!m_window) {
        return;
    }
    QWidget* frame = m_window->window();
    if (frame != m_window) {
        // After the teardown has returned, as the posted close of the original did.
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

void CQuilletCtrl::FocusFieldEditor() {
    if (m_field != nullptr) {
        m_field->setFocus(Qt::OtherFocusReason);
    }
}

void CQuilletCtrl::FocusControl() {
    if (m_terminal != nullptr) {
        m_terminal->setFocus(Qt::OtherFocusReason);
    }
}

void CQuilletCtrl::FocusInput() {
    FieldInputInactive() ? FocusControl() : FocusFieldEditor();
}

bool CQuilletCtrl::FieldInputInactive() const {
    return m_field == nullptr || !m_field->Model().IsOpen();
}

void CQuilletCtrl::SetUnixEscKey(bool unixEscKey) {
    m_keySender->SetUnixEscKey(unixEscKey);
    if (m_field != nullptr) {
        m_field->Model().SetUnixEscKey(unixEscKey);
    }
}

void CQuilletCtrl::MergeInPlaceMenu() {
    m_menus->SetUpMenu(1);
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

void CQuilletCtrl::FireSetTitle(std::string_view title) {
    const Variant args[] = {Variant::Bstr(std::string(title))};
    Fire(QuilletEvent::SetTitle, args);
}

void CQuilletCtrl::FireSwitchToolbar(int16_t bar) {
    const Variant args[] = {Variant::I2(bar)};
    Fire(QuilletEvent::SwitchToolbar, args);
}

void CQuilletCtrl::FireTamsel(std::string_view text) {
    const Variant args[] = {Variant::Bstr(std::string(text))};
    Fire(QuilletEvent::Tamsel, args);
}

void CQuilletCtrl::FireDisplayErrorBox(std::string_view text) {
    const Variant args[] = {Variant::Bstr(std::string(text))};
    Fire(QuilletEvent::DisplayErrorBox, args);
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

// ---- Creation ----

std::shared_ptr<CQuilletCtrl> CreateQuilletCtrl() {
    static tools::QtUserPrompt* installed = nullptr;
    if (installed == nullptr && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        // Find out whether someone else installed a prompt: only the stderr fallback is replaced.
        platform::UserPrompt* current = &platform::DefaultPrompt();
        platform::SetDefaultPrompt(nullptr);
        if (current == &platform::DefaultPrompt()) {
            installed = new tools::QtUserPrompt();  // lives as long as the process
            platform::SetDefaultPrompt(installed);
        } else {
            platform::SetDefaultPrompt(current);
        }
    }
    return std::make_shared<CQuilletCtrl>();
}

}  // namespace terminal
