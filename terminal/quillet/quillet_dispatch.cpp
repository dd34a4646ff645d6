// The control's dispatch table: the properties of _DQuillet over the property model, and its methods.
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_ctrl_parts.h"

#include <QApplication>
#include <QPrinter>
#include <algorithm>
#include <cstdlib>

#include "hostlink/local_pipe.h"
#include "hostlink/remote_pipe.h"
#include "platform/codepage.h"
#include "suite/qt/qt_text.h"
#include "suite/registry_settings.h"
#include "terminal/bars/toolbar_commands.h"
#include "terminal/quillet/quillet_menus.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_font.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/calculator/calculator_dlg.h"
#include "tools/dataset_sel_dlg.h"
#include "tools/practice_probe.h"
#include "tools/qt_login_ui.h"

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
            } else if constexpr (std::is_same_v<T, float>) {
                return Variant::R4(v);
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
        "Font", automation::kDispidFont, VarType::Dispatch, [this] { return Variant::Dispatch(m_font); },
        [this](const Variant& value) {
            const std::shared_ptr<automation::IDispatch> font = value.AsDispatch();
            if (!font) {
                throw DispatchError(automation::E_INVALIDARG, "no font object given");
            }
            if (font == m_font) {
                return;
            }
            const std::optional<automation::FontDescription> description =
                automation::CStockFont::ReadFrom(*font);
            if (!description) {
                throw DispatchError(automation::DISP_E_TYPEMISMATCH, "not a font object");
            }
            m_font->SetDescription(*description);
        });
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

}  // namespace terminal
