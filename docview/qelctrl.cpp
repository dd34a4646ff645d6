// The control object: construction and teardown, its window's messages, finding and loading the engine,
// the start-up error and the error reporter.
#include "docview/qelctrl.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>

#include "docview/control_strings.h"
#include "docview/fennick_members.h"
#include "docview/page_tables.h"
#include "docview/property_lists.h"
#include "platform/automation/stock_font.h"
#include "platform/user_prompt.h"

namespace docview {

namespace automation = platform::automation;
using automation::Variant;
using automation::VarType;

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
    : DispatchObject({}, {automation::IID_IDispatch, fennick::kIqelctrlIid}),
      m_site(std::move(site)),
      m_browsing(
          PropertyLists(), [](int32_t id) { return LoadControlString(id, kBrowseTextChars); },
          [this](automation::DISPID dispid) { return HeldValue(dispid); }) {
    AddConnectionPoint(fennick::kDqelctrlIid);
    for (auto& font : m_fonts) {
        font = std::make_shared<automation::CStockFont>(
            automation::FontDescription{"Arial", 10, 400, 0, false, false, false}, nullptr,
            automation::FontSizeUnit::Currency);
    }
    BuildTable();
    KeepDefaults();
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
    void* further = nullptr;
    if (iid == automation::IID_IPerPropertyBrowsing) {
        further = static_cast<automation::IPerPropertyBrowsing*>(&m_browsing);
    } else if (iid == automation::IID_ISpecifyPropertyPages) {
        further = static_cast<automation::ISpecifyPropertyPages*>(&m_pageList);
    } else if (iid == automation::IID_IObjectVerbs) {
        further = static_cast<automation::IObjectVerbs*>(&m_verbs);
    } else if (iid == automation::IID_IPersistPropertyBag) {
        further = static_cast<automation::IPersistPropertyBag*>(&m_persistence);
    }
    if (further) {
        out = std::shared_ptr<void>(shared_from_this(), further);
        return automation::S_OK;
    }
    return DispatchObject::QueryInterface(iid, out);
}

automation::HRESULT CQelPageList::GetPages(std::vector<automation::Guid>& pages) {
    pages.clear();
    for (const PageDefinition* page : ControlPages()) {
        pages.push_back(page->clsid);
    }
    return automation::S_OK;
}

std::optional<int32_t> Cqelctrl::HeldValue(int32_t dispid) const {
    const MemberSpec* member = FindMember(dispid);
    if (!member) {
        return std::nullopt;
    }
    if (member->name == "ErrorShowMsg") {
        return m_errorShowMsg;
    }
    if (member->name == "StatusEvents") {
        return m_statusEvents;
    }
    if (member->name == "ShortDateOrder") {
        return static_cast<int32_t>(m_options.Intl().short_date_order);
    }
    if (!FindOption(member->name)) {
        return std::nullopt;
    }
    return m_options.Get(member->name);
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
    // A host may have changed a font object in place since it was handed out.
    for (int i = 0; i < 3; ++i)
        SyncFont(i, false);
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

// The engine is C: nothing a sink throws may unwind through it.
int64_t Cqelctrl::NotifyThunk(void* context, uint32_t notification, uint64_t wparam, uint64_t lparam) {
    try {
        return static_cast<Cqelctrl*>(context)->OnNotify(notification, wparam, lparam);
    } catch (...) {
        return 0;
    }
}

int32_t Cqelctrl::StatusCallback(LydvwView* view) {
    Cqelctrl* control = ControlOf(view);
    try {
        return control ? static_cast<int16_t>(control->OnNotify(LYDVW_N_STAT, 0, 0)) : 0;
    } catch (...) {
        return 0;
    }
}

void Cqelctrl::PutStatusEvents(int32_t value) {
    if (value == m_statusEvents)
        return;
    m_statusEvents = value;
    if (HasView())
        m_view->SetStatCallback(value ? &Cqelctrl::StatusCallback : nullptr);
}

void Cqelctrl::SyncFont(int index, bool send) {
    m_options.SetFont(index, FontRecordOf(*m_fonts[static_cast<size_t>(index)]),
                      send && HasView() ? m_view.get() : nullptr);
}

namespace {

constexpr int64_t kCurrencyPerHalfPoint = automation::kCurrencyPerPoint / 2;

void PutMember(automation::IDispatch& object, std::string_view name, Variant value) {
    automation::DISPID id = automation::DISPID_UNKNOWN;
    if (automation::Succeeded(object.GetIDOfName(name, id))) {
        const Variant args[] = {std::move(value)};
        object.Invoke(id, automation::InvokeKind::PropertyPut, args, nullptr, nullptr);
    }
}

}  // namespace

std::optional<Variant> GetObjectMember(automation::IDispatch& object, std::string_view name, VarType type) {
    automation::DISPID id = automation::DISPID_UNKNOWN;
    Variant raw;
    Variant value;
    if (automation::Failed(object.GetIDOfName(name, id)) ||
        automation::Failed(object.Invoke(id, automation::InvokeKind::PropertyGet, {}, &raw, nullptr)) ||
        automation::Failed(automation::ChangeType(raw, type, value))) {
        return std::nullopt;
    }
    return value;
}

LydvwFontRecord FontRecordOf(automation::IDispatch& font) {
    LydvwFontRecord record{};
    // Any font object is read through its members; Size is in currency units, as font objects keep it.
    const auto name = GetObjectMember(font, "Name", VarType::Bstr);
    CopyBounded(record.face, name && !name->AsBstr().empty() ? name->AsBstr() : std::string("Arial"));
    const auto size = GetObjectMember(font, "Size", VarType::I4);
    const int64_t currency = size && size->AsI4() > 0 ? size->AsI4() : 10 * automation::kCurrencyPerPoint;
    record.half_points = static_cast<uint16_t>(
        std::min<int64_t>(UINT16_MAX, (currency + kCurrencyPerHalfPoint / 2) / kCurrencyPerHalfPoint));
    const auto flag = [&](std::string_view member, uint16_t bit) {
        if (const auto value = GetObjectMember(font, member, VarType::Bool); value && value->AsBool())
            record.attributes |= bit;
    };
    flag("Underline", LYDVW_FONT_UNDERLINE);
    flag("Italic", LYDVW_FONT_ITALIC);
    flag("Bold", LYDVW_FONT_BOLD);
    flag("Strikethrough", LYDVW_FONT_STRIKE);
    return record;
}

void WriteFontRecord(automation::IDispatch& font, const LydvwFontRecord& record) {
    const std::string face = ReadBounded(record.face);
    if (!face.empty())
        PutMember(font, "Name", Variant::Bstr(face));
    if (record.half_points > 0)
        PutMember(font, "Size",
                  Variant::I4(static_cast<int32_t>(record.half_points * kCurrencyPerHalfPoint)));
    PutMember(font, "Bold", Variant::Bool(record.attributes & LYDVW_FONT_BOLD));
    PutMember(font, "Italic", Variant::Bool(record.attributes & LYDVW_FONT_ITALIC));
    PutMember(font, "Underline", Variant::Bool(record.attributes & LYDVW_FONT_UNDERLINE));
    PutMember(font, "Strikethrough", Variant::Bool(record.attributes & LYDVW_FONT_STRIKE));
}

std::shared_ptr<Cqelctrl> CreateQelctrl(ControlSite site) {
    return std::make_shared<Cqelctrl>(std::move(site));
}

}  // namespace docview
