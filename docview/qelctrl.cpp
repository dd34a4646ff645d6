// The control object: construction and teardown, its window's messages, finding and loading the engine,
// the start-up error and the error reporter.
#include "docview/qelctrl.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "docview/control_strings.h"
#include "platform/user_prompt.h"

namespace docview {

namespace automation = platform::automation;
using automation::Variant;

namespace {

constexpr size_t kMessageMax = 127;
constexpr size_t kCaptionMax = 31;

// Which control a view belongs to, for the status callback that names only the view.
std::mutex g_viewsMutex;
std::vector<std::pair<LydvwView*, Cqelctrl*>> g_views;

void RegisterView(LydvwView* view, Cqelctrl* control) {
    std::lock_guard lock(g_viewsMutex);
    g_views.emplace_back(view, control);
}

void UnregisterView(LydvwView* view) {
    std::lock_guard lock(g_viewsMutex);
    std::erase_if(g_views, [view](const auto& entry) { return entry.first == view; });
}

Cqelctrl* ControlOf(LydvwView* view) {
    std::lock_guard lock(g_viewsMutex);
    for (const auto& [known, control] : g_views) {
        if (known == view)
            return control;
    }
    return nullptr;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

Cqelctrl::Cqelctrl(ControlSite site)
    : DispatchObject({}, {automation::IID_IDispatch, fennick::kIqelctrlIid}), m_site(std::move(site)) {
    AddConnectionPoint(fennick::kDqelctrlIid);
    BuildTable();
}

Cqelctrl::~Cqelctrl() {
    m_releasing = true;
    if (m_window) {
        ControlWindow* window = m_window;
        OnDestroy();
        window->Dispose();
    }
    if (m_view) {
        UnregisterView(m_view->View());
        m_view->Destroy();
    }
}

automation::HRESULT Cqelctrl::QueryInterface(const automation::Guid& iid, std::shared_ptr<void>& out) {
    if (iid == fennick::kQelctrlWidgetIid) {
        void* widget = Widget();
        if (!widget) {
            out.reset();
            return automation::E_NOINTERFACE;
        }
        out = std::shared_ptr<void>(shared_from_this(), widget);
        return automation::S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
}

void* Cqelctrl::Widget() {
    if (!m_windowMade && m_site.makeWindow) {
        m_windowMade = true;
        m_window = m_site.makeWindow(*this);
        if (m_window)
            OnCreate();
    }
    return m_window ? m_window->Widget() : nullptr;
}

int32_t Cqelctrl::LoadEngineFromRegistry(EngineApi& api) const {
    const std::string exe = m_site.exePath.empty() ? ExecutablePath() : m_site.exePath;
    std::string folder;
    if (const int32_t error = ReadFilterPath(exe, folder))
        return error;
    return LoadEngine(EngineLibraryPath(folder), api);
}

void Cqelctrl::OnCreate() {
    EngineApi api;
    if (const int32_t error = m_site.loadEngine ? m_site.loadEngine(api) : LoadEngineFromRegistry(api)) {
        m_startupError = error;
        return;
    }
    LydvwView* view = api.createView(m_window->Widget(), &Cqelctrl::NotifyThunk, this);
    if (!view) {
        m_startupError = kNoViewWindow;
        return;
    }
    m_view = std::make_unique<CEngineView>(api, view);
    RegisterView(view, this);
    m_options.PushAll(*m_view);
    // A StatusEvents put before the view existed is registered now.
    if (m_statusEvents)
        m_view->SetStatCallback(&Cqelctrl::StatusCallback);
    m_window->PlaceView(m_view->Widget());
}

void Cqelctrl::OnDestroy() {
    if (HasView()) {
        ClearError();
        m_view->Request(LYDVW_R_CLOSE);
        UnregisterView(m_view->View());
        m_view->Destroy();
    }
    m_view.reset();
    m_window = nullptr;
}

void Cqelctrl::OnSize() {
    if (m_window && HasView())
        m_window->PlaceView(m_view->Widget());
}

void Cqelctrl::OnSetFocus() {
    if (m_window && HasView())
        m_window->FocusView(m_view->Widget());
}

bool Cqelctrl::OnPaint() {
    if (m_startupError != 0) {
        // Cleared before the box, and the box shown from a later call: a repaint under it shows no other.
        const int32_t id = m_startupError;
        m_startupError = 0;
        m_errorCode = id;
        m_errorMsg = LoadControlString(id, kMessageMax);
        if (m_errorShowMsg == 1 && m_window) {
            m_window->Post([weak = weak_from_this(), id] {
                if (auto self = std::static_pointer_cast<Cqelctrl>(weak.lock()))
                    self->ShowStartupError(id);
            });
        }
    }
    return !HasView();
}

platform::UserPrompt& Cqelctrl::Prompt() const {
    return m_site.prompt ? m_site.prompt() : platform::DefaultPrompt();
}

void Cqelctrl::ShowStartupError(int32_t id) {
    Prompt().Show({LoadControlString(id, kMessageMax), LoadControlString(kCaptionCritical, kCaptionMax),
                   platform::PromptIcon::Stop, platform::PromptButtons::Ok});
}

void Cqelctrl::ClearError() {
    m_errorCode = 0;
    m_errorMsg.clear();
}

void Cqelctrl::ReportError(uint32_t flags, int32_t id) {
    const std::string text = LoadControlString(id, kMessageMax);
    m_errorMsg = text;
    m_errorCode = id;
    if (flags & 2u) {
        if (m_errorShowMsg != 0) {
            Prompt().Show({text, LoadControlString(kCaptionError, kCaptionMax), platform::PromptIcon::None,
                           platform::PromptButtons::Ok});
        }
        Fire(fennick::Event::Error, {});
    }
    if (flags & 1u) {
        throw automation::DispatchError(automation::MakeHResult(0x800A0000u | static_cast<uint32_t>(id)),
                                        text, fennick::kQelctrlClsid.ToString());
    }
}

bool Cqelctrl::RequireView() {
    if (!HasView()) {
        ReportError(2, kErrWindowless);
        return false;
    }
    ClearError();
    return true;
}

void Cqelctrl::Fire(fennick::Event event, std::vector<Variant> args) {
    if (m_releasing)
        return;
    FireEvent(fennick::kDqelctrlIid, static_cast<automation::DISPID>(event), args);
}

void Cqelctrl::Refresh() {
    if (m_window && HasView())
        m_window->RefreshView(m_view->Widget());
}

int64_t Cqelctrl::NotifyThunk(void* context, uint32_t notification, uint64_t wparam, uint64_t lparam) {
    return static_cast<Cqelctrl*>(context)->OnNotify(notification, wparam, lparam);
}

int32_t Cqelctrl::StatusCallback(LydvwView* view) {
    Cqelctrl* control = ControlOf(view);
    return control ? static_cast<int16_t>(control->OnNotify(LYDVW_N_STAT, 0, 0)) : 0;
}

void Cqelctrl::PutStatusEvents(int32_t value) {
    if (value == m_statusEvents)
        return;
    m_statusEvents = value;
    if (HasView())
        m_view->SetStatCallback(value ? &Cqelctrl::StatusCallback : nullptr);
}

std::shared_ptr<Cqelctrl> CreateQelctrl(ControlSite site) {
    return std::make_shared<Cqelctrl>(std::move(site));
}

}  // namespace docview
