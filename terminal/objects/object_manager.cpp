// The host's automation objects: fifty slots, creation through the class registry, calls by name with one
// text argument, releases, and the client window through which an object reports waiting texts. Every
// request answers the host; a notification answers only when there is something to send.
#include "terminal/objects/object_manager.h"

#include <algorithm>
#include <span>
#include <utility>

#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch_object.h"
#include "platform/user_prompt.h"

namespace terminal {

namespace automation = platform::automation;
using automation::DISPID;
using automation::HRESULT;
using automation::IDispatch;
using automation::InvokeKind;
using automation::Variant;
using automation::VarType;

namespace {

// Not among the layer's codes because its name lookups take no locale; an object may still answer it.
constexpr HRESULT DISP_E_UNKNOWNLCID = automation::MakeHResult(0x8002000Cu);
constexpr std::size_t kSystemMessageLimit = 512;

constexpr std::string_view kCreated = "\x1b\\";  // then the slot and 0x01
constexpr std::string_view kCreateFailed = "\x1b\\-1\x01";
constexpr std::string_view kCallResult = "\x1b\\0\x01";  // then the result and 0x01
constexpr std::string_view kNoSuchMember = "\x1b\\1\x01";
constexpr std::string_view kCallFailed = "\x1b\\2\x01";
constexpr std::string_view kReleased = "\x1b\\1\x01";

using Failure = CObjectManager::Failure;
using Error = CObjectManager::Error;

void ShowMessage(std::string text) {
    platform::DefaultPrompt().Message(std::move(text), platform::PromptIcon::None);
}

Failure LookupFailure(HRESULT hr) {
    if (hr == automation::E_OUTOFMEMORY) {
        return Failure::OutOfMemory;
    }
    if (hr == automation::DISP_E_UNKNOWNNAME || hr == automation::DISP_E_MEMBERNOTFOUND) {
        return Failure::NoSuchMember;
    }
    if (hr == DISP_E_UNKNOWNLCID) {
        return Failure::UnknownLocale;
    }
    return Failure::LookupFailed;
}

DISPID LookUpMember(IDispatch& object, std::string_view name) {
    DISPID id = automation::DISPID_UNKNOWN;
    HRESULT hr = automation::E_FAIL;
    try {
        hr = object.GetIDOfName(name, id);
    } catch (const std::bad_alloc&) {
        hr = automation::E_OUTOFMEMORY;
    } catch (...) {
        hr = automation::E_FAIL;
    }
    if (automation::Failed(hr)) {
        throw Error(LookupFailure(hr),
                    "no member \"" + std::string(name) + "\": " + automation::FormatHResult(hr));
    }
    return id;
}

// Invokes `id` as a method and reads its result as text.
std::string InvokeForText(IDispatch& object, DISPID id, std::span<const Variant> args) {
    Variant result;
    HRESULT hr = automation::E_FAIL;
    try {
        hr = object.Invoke(id, InvokeKind::Method, args, &result, nullptr);
    } catch (...) {
        hr = automation::E_FAIL;
    }
    if (automation::Failed(hr)) {
        throw Error(Failure::CallFailed, "the call failed: " + automation::FormatHResult(hr));
    }
    Variant text;
    if (const HRESULT changed = automation::ChangeType(result, VarType::Bstr, text);
        automation::Failed(changed)) {
        throw Error(Failure::CallFailed, "the result is not text: " + automation::FormatHResult(changed));
    }
    return text.AsBstr();
}

}  // namespace

// One used slot. The call lock is held for every call into the object, so that a release on another
// thread waits for the call; it is recursive because a call may run a nested event loop that delivers a
// release or notification for the same object on the same thread.
struct CObjectManager::Entry {
    std::shared_ptr<IDispatch> object;
    std::shared_ptr<ClientWindow> window;
    std::recursive_mutex callMutex;
};

// Lets posted messages find the manager, or nothing once it is gone. Read and cleared on the owner thread.
struct CObjectManager::Link {
    std::atomic<CObjectManager*> manager;
};

// The control's window as one object sees it: posting to it reaches the manager's thread and concerns only
// that object, so a message that arrives after the object's release cannot touch a slot's next tenant.
class CObjectManager::ClientWindow : public automation::DispatchObject {
  public:
    using Poster = std::function<bool(uint32_t message, int32_t wParam)>;

    explicit ClientWindow(Poster poster) : m_poster(std::move(poster)) {
        Table().Method(std::string(kPostMessageMember), 1, {VarType::I4, VarType::I4, VarType::I4},
                       VarType::Bool, [this](std::span<const Variant> args) {
                           return Variant::Bool(Post(static_cast<uint32_t>(args[0].AsI4()), args[1].AsI4()));
                       });
    }

    bool Post(uint32_t message, int32_t wParam) {
        // Held while posting, so that once Detach returns no post can reach the host any more.
        std::lock_guard lock(m_mutex);
        return m_poster && m_poster(message, wParam);
    }

    void Detach() {
        std::lock_guard lock(m_mutex);
        m_poster = nullptr;
    }

  private:
    std::mutex m_mutex;
    Poster m_poster;
};

CObjectManager::CObjectManager(ObjectHost& host) : m_host(host), m_link(std::make_shared<Link>()) {
    m_link->manager = this;
}

CObjectManager::~CObjectManager() {
    m_link->manager = nullptr;
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (SlotInUse(slot)) {
            try {
                ReleaseObject(slot);
            } catch (const Error&) {
                // Released by another thread meanwhile.
            }
        }
    }
}

std::optional<int32_t> CObjectManager::ParseObjectId(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    int32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value >= kSlotCount) {
            return std::nullopt;
        }
    }
    return value;
}

bool CObjectManager::SlotInUse(int32_t slot) const {
    if (slot < 0 || slot >= kSlotCount) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    return m_slots[static_cast<std::size_t>(slot)] != nullptr;
}

std::shared_ptr<CObjectManager::Entry> CObjectManager::Lookup(int32_t slot) const {
    if (slot < 0 || slot >= kSlotCount) {
        throw Error(Failure::BadObjectId, "object id " + std::to_string(slot) + " is out of range");
    }
    std::lock_guard lock(m_mutex);
    std::shared_ptr<Entry> entry = m_slots[static_cast<std::size_t>(slot)];
    if (!entry) {
        throw Error(Failure::BadObjectId, "no object in slot " + std::to_string(slot));
    }
    return entry;
}

int32_t CObjectManager::FindSlot(const std::shared_ptr<Entry>& entry) const {
    if (!entry) {
        return -1;
    }
    std::lock_guard lock(m_mutex);
    for (int32_t slot = 0; slot < kSlotCount; ++slot) {
        if (m_slots[static_cast<std::size_t>(slot)] == entry) {
            return slot;
        }
    }
    return -1;
}

template <typename Body>
auto CObjectManager::WithObject(int32_t slot, Body&& body) {
    const std::shared_ptr<Entry> entry = Lookup(slot);
    std::lock_guard call(entry->callMutex);
    // A copy: a release from inside this call empties the slot, but the object stays until the call ends.
    const std::shared_ptr<IDispatch> object = entry->object;
    if (!object) {
        throw Error(Failure::BadObjectId, "the object in slot " + std::to_string(slot) + " was released");
    }
    return body(*object);
}

int32_t CObjectManager::CreateObject(std::string_view progId) {
    auto noFreeSlot = [] { return Error(Failure::NoFreeSlot, "all object slots are in use"); };
    {
        std::lock_guard lock(m_mutex);
        if (std::find(m_slots.begin(), m_slots.end(), nullptr) == m_slots.end()) {
            throw noFreeSlot();
        }
    }

    auto entry = std::make_shared<Entry>();
    std::string why;
    HRESULT hr = automation::E_FAIL;
    try {
        hr = automation::CreateByProgID(progId, entry->object, &why);
    } catch (const std::exception& e) {
        why = e.what();
    }
    if (automation::Failed(hr) || !entry->object) {
        entry->object.reset();
        if (why.empty()) {
            why = automation::FormatHResult(automation::Failed(hr) ? hr : automation::E_FAIL);
        }
        why.resize(std::min(why.size(), kSystemMessageLimit));
        ShowMessage("Error Creating Object\r'" + std::string(progId) + "'\r" + why);
        throw Error(Failure::CreateFailed, why);
    }

    std::weak_ptr<Entry> weak = entry;
    entry->window = std::make_shared<ClientWindow>(
        [host = &m_host, link = m_link, weak](uint32_t message, int32_t wParam) {
            return host->PostToOwner([link, weak, message, wParam] {
                if (CObjectManager* manager = link->manager.load()) {
                    manager->ObjectMessage(weak, message, wParam);
                }
            });
        });

    int32_t slot = -1;
    {
        std::lock_guard lock(m_mutex);
        for (int32_t i = 0; i < kSlotCount && slot < 0; ++i) {
            if (!m_slots[static_cast<std::size_t>(i)]) {
                slot = i;
                m_slots[static_cast<std::size_t>(i)] = entry;
            }
        }
    }
    if (slot < 0) {
        // Another thread took the last slot while the object was being made.
        entry->window->Detach();
        throw noFreeSlot();
    }
    Register(*entry, slot);
    return slot;
}

void CObjectManager::Register(Entry& entry, int32_t slot) {
    std::lock_guard call(entry.callMutex);
    const std::shared_ptr<IDispatch> object = entry.object;
    if (!object) {
        return;
    }
    // Failures are the object's business: it stays in its slot either way.
    try {
        DISPID id = automation::DISPID_UNKNOWN;
        if (automation::Succeeded(object->GetIDOfName("RegisterSorelIDs", id))) {
            // The client window rides along as a third argument; an object that takes only the two ids
            // still gets them.
            const Variant ids[] = {Variant::I4(m_host.WindowHandle()), Variant::I4(slot),
                                   Variant::Dispatch(entry.window)};
            if (object->Invoke(id, InvokeKind::Method, ids, nullptr, nullptr) ==
                automation::DISP_E_BADPARAMCOUNT) {
                object->Invoke(id, InvokeKind::Method, std::span(ids, 2), nullptr, nullptr);
            }
        }
        if (automation::Succeeded(object->GetIDOfName("RegisterSorelConnection", id))) {
            const Variant text[] = {Variant::Bstr(m_host.ConnectionText())};
            object->Invoke(id, InvokeKind::Method, text, nullptr, nullptr);
        }
    } catch (...) {
    }
}

DISPID CObjectManager::GetDispId(int32_t slot, std::string_view name) {
    return WithObject(slot, [&](IDispatch& object) { return LookUpMember(object, name); });
}

std::string CObjectManager::CallMethod(int32_t slot, std::string_view name, std::string_view argument) {
    return WithObject(slot, [&](IDispatch& object) {
        const DISPID id = LookUpMember(object, name);
        const Variant args[] = {Variant::Bstr(std::string(argument))};
        ++m_callsInProgress;
        struct Done {
            std::atomic<int32_t>& count;
            ~Done() { --count; }
        } done{m_callsInProgress};
        return InvokeForText(object, id, args);
    });
}

std::string CObjectManager::GetNotifyMessage(int32_t slot) {
    return WithObject(slot, [&](IDispatch& object) {
        const DISPID id = LookUpMember(object, "GetNotifyMessage");
        return std::to_string(slot) + " " + InvokeForText(object, id, {});
    });
}

void CObjectManager::ReleaseObject(int32_t slot) {
    ReleaseSlot(slot, nullptr);
}

void CObjectManager::ReleaseSlot(int32_t slot, const Entry* expected) {
    const std::shared_ptr<Entry> entry = Lookup(slot);
    if (expected != nullptr && entry.get() != expected) {
        throw Error(Failure::BadObjectId, "slot " + std::to_string(slot) + " holds another object");
    }
    std::unique_lock call(entry->callMutex);
    {
        std::lock_guard lock(m_mutex);
        if (m_slots[static_cast<std::size_t>(slot)] != entry) {
            throw Error(Failure::BadObjectId, "the object in slot " + std::to_string(slot) + " was released");
        }
        m_slots[static_cast<std::size_t>(slot)].reset();
    }
    // No message of this object reaches the manager from here on, whatever it posts while it goes away.
    entry->window->Detach();
    std::shared_ptr<IDispatch> object = std::move(entry->object);
    call.unlock();
    // The last reference goes outside every lock: an object may take its time closing.
    object.reset();
}

void CObjectManager::ObjectMessage(const std::weak_ptr<Entry>& from, uint32_t message, int32_t wParam) {
    const std::shared_ptr<Entry> entry = from.lock();
    const int32_t slot = FindSlot(entry);
    if (slot < 0) {
        return;  // the object was released before its message arrived
    }
    if (message == WM_OBJECT_NOTIFY) {
        OnObjectNotify(slot);
    } else if (message == WM_OBJECT_RELEASE) {
        try {
            ReleaseSlot(slot, entry.get());
        } catch (const Error&) {
            return;  // released meanwhile by a request that has answered for itself
        }
        if (wParam != 1) {
            Reply(kReleased);
        }
    }
}

void CObjectManager::Reply(std::string_view bytes) {
    m_host.WriteChannel0(bytes);
}

void CObjectManager::OnCreateRequest(std::string_view progId) {
    try {
        const int32_t slot = CreateObject(progId);
        Reply(std::string(kCreated) + std::to_string(slot) + "\x01");
    } catch (const Error&) {
        Reply(kCreateFailed);
    }
}

void CObjectManager::OnCallRequest(std::string_view request) {
    const std::size_t idEnd = request.find('\x02');
    const std::string_view idText = request.substr(0, idEnd);
    if (idText.empty()) {
        ShowMessage("No Object Id");
        Reply(kCallFailed);
        return;
    }
    std::string_view name;
    std::string_view argument;
    if (idEnd != std::string_view::npos) {
        const std::string_view rest = request.substr(idEnd + 1);
        const std::size_t nameEnd = rest.find('\x02');
        name = rest.substr(0, nameEnd);
        if (nameEnd != std::string_view::npos) {
            argument = rest.substr(nameEnd + 1);
        }
    }
    if (name.empty()) {
        ShowMessage("No method name");
        Reply(kCallFailed);
        return;
    }
    const std::optional<int32_t> slot = ParseObjectId(idText);
    if (!slot) {
        Reply(kCallFailed);
        return;
    }
    try {
        const std::string result = CallMethod(*slot, name, argument);
        if (result.size() >= kResultLimit) {
            ShowMessage("Method return value exceeds 1Kb");
            Reply(kCallFailed);
            return;
        }
        Reply(std::string(kCallResult) + result + "\x01");
    } catch (const Error& e) {
        Reply(e.Code() == Failure::NoSuchMember ? kNoSuchMember : kCallFailed);
    }
}

void CObjectManager::OnReleaseRequest(int32_t quiet, int32_t slot) {
    try {
        ReleaseObject(slot);
    } catch (const Error&) {
        Reply(kReleased);
        return;
    }
    if (quiet != 1) {
        Reply(kReleased);
    }
}

void CObjectManager::OnObjectNotify(int32_t slot) {
    std::string text;
    try {
        text = GetNotifyMessage(slot);
    } catch (const Error&) {
        return;  // the host asked nothing, so a failure answers nothing
    }
    Reply("\x1b[*" + text + "\n");
}

}  // namespace terminal
