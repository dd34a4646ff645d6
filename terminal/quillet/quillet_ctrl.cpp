// The terminal control as an object: construction and teardown, its interfaces, what a changed property
// does, and the font, about box and property pages. The dispatch table, session glue, events and window
// glue live beside it in quillet_dispatch.cpp, quillet_session.cpp, quillet_events.cpp, quillet_window.cpp.
#include "terminal/quillet/quillet_ctrl.h"
#include "terminal/quillet/quillet_ctrl_parts.h"

#include <QApplication>

#include "platform/user_prompt.h"
#include "suite/qt/property_frame.h"
#include "suite/qt/qt_text.h"
#include "suite/registry_settings.h"
#include "terminal/pages/about_boxes.h"
#include "terminal/pages/page_widgets.h"
#include "terminal/quillet/quillet_menus.h"
#include "terminal/widget/field_edit.h"
#include "terminal/widget/terminal_widget.h"
#include "tools/qt_login_ui.h"
#include "tools/qt_user_prompt.h"

namespace terminal {

namespace automation = platform::automation;
using automation::Variant;

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
    if (suite::RegReadValue(platform::HKey::LocalMachine, suite::kBrantorKey, "Debug", type, &debug, size) ==
            0 &&
        type == platform::RegType::Dword) {
        m_debug = debug != 0;
    }

    m_window = new CQuilletWindow(*this);
    m_terminal = new CTerminalWidget(m_window);
    m_terminal->hide();

    CQuilletSession::Options sessionOptions;
    sessionOptions.handshakeTimeout = options.handshakeTimeout;
    std::unique_ptr<PipeFactory> inner = options.factory ? std::move(options.factory) : MakeHostPipeFactory();
    sessionOptions.factory =
        MakeQtPipeFactory(std::move(inner), *m_remoteLoginUi, [this]() -> QWidget* { return m_window; });
    m_session = std::make_unique<CQuilletSession>(*this, m_props, std::move(sessionOptions));

    m_keySender = std::make_unique<CKeySender>(m_session->Poster());
    m_terminal->SetKeySender(m_keySender.get());
    m_field = new CFieldEdit(m_session->Poster(), m_terminal);
    m_field->SetLogger([this](std::string_view text) { LogLine(text); });
    m_terminal->SetFieldEdit(m_field);
    m_commands = std::make_unique<CHostCommands>(m_terminal->Screen(), *this);
    m_terminal->Screen().SetOwner(m_commands.get());
    m_menus = std::make_unique<CQuilletMenus>(*this);
    m_terminal->SetMouseHook([this](QEvent& event) { return ScreenMouse(event); });

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
        m_terminal->SetMouseHook({});
        delete m_window.data();
    }
}

void CQuilletCtrl::WindowDestroyed() {
    // The screen goes with the window: no session may feed it afterwards. An open that waits for the host
    // ends first.
    if (m_waitCancel != nullptr) {
        (*m_waitCancel)();
    }
    m_session->Disconnect(false, false);
    EndTransfers();
    m_terminal->Screen().SetOwner(nullptr);
    m_terminal->SetKeySender(nullptr);
    m_terminal->SetMouseHook({});
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
        further = static_cast<automation::IPersistPropertyBag*>(&m_persistence);
    }
    if (further != nullptr) {
        out = std::shared_ptr<void>(shared_from_this(), further);
        return automation::S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
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

// ---- Font, about box and property pages ----

void ReleaseAfterCall(std::shared_ptr<automation::IDispatch> keepAlive) {
    if (keepAlive && keepAlive.use_count() == 1) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [last = std::move(keepAlive)] {}, Qt::QueuedConnection);
    }
}

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
    suite::RunPropertyFrame(m_window, suite::FromCp1252(std::string(kQuilletTypeName) + " Properties"),
                            {keepAlive}, pageIds, pages::PageClassFactory);
    ReleaseAfterCall(std::move(keepAlive));
}

bool CQuilletCtrl::HasInterface(const Guid& iid) {
    std::shared_ptr<void> out;
    return automation::Succeeded(QueryInterface(iid, out));
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
