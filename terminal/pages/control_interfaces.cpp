// The control's further interfaces: safety options, page list, verbs and persistence.
#include "terminal/pages/control_interfaces.h"

#include "platform/automation/dispatch.h"
#include "terminal/pages/page_model.h"

namespace terminal::pages {

namespace automation = platform::automation;
using automation::Guid;
using automation::HRESULT;

namespace {

bool IsPersistence(const Guid& iid) {
    return iid == automation::IID_IPersistPropertyBag || iid == automation::IID_IPersistStreamInit ||
           iid == automation::IID_IPersistStorage || iid == automation::IID_IPersistMemory;
}

}  // namespace

HRESULT CControlSafety::GetInterfaceSafetyOptions(const Guid& iid, uint32_t* supported, uint32_t* enabled) {
    if (supported == nullptr || enabled == nullptr) {
        return automation::E_POINTER;
    }
    *supported = 0;
    *enabled = 0;
    if (!m_hasInterface(iid)) {
        return automation::E_NOINTERFACE;
    }
    if (iid == automation::IID_IDispatch) {
        *enabled = automation::INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    } else if (IsPersistence(iid)) {
        *enabled = automation::INTERFACESAFE_FOR_UNTRUSTED_DATA;
    } else {
        return automation::E_NOINTERFACE;
    }
    *supported =
        automation::INTERFACESAFE_FOR_UNTRUSTED_CALLER | automation::INTERFACESAFE_FOR_UNTRUSTED_DATA;
    return automation::S_OK;
}

HRESULT CControlSafety::SetInterfaceSafetyOptions(const Guid& iid, uint32_t mask, uint32_t enabled) {
    if (mask == 0 && enabled == 0) {
        return automation::S_OK;
    }
    if (!m_hasInterface(iid)) {
        return automation::E_FAIL;
    }
    constexpr uint32_t kCaller = automation::INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    constexpr uint32_t kData = automation::INTERFACESAFE_FOR_UNTRUSTED_DATA;
    if (iid == automation::IID_IDispatch && mask == kCaller && enabled == kCaller) {
        return automation::S_OK;
    }
    if (IsPersistence(iid) && mask == kData && enabled == kData) {
        return automation::S_OK;
    }
    return automation::E_FAIL;
}

HRESULT CControlPersistence::Load(PropertyBag& bag) {
    if (!m_load) {
        return automation::E_NOTIMPL;
    }
    m_load(bag);
    return automation::S_OK;
}

HRESULT CControlPersistence::Save(PropertyBag& bag) {
    if (!m_save) {
        return automation::E_NOTIMPL;
    }
    m_save(bag);
    return automation::S_OK;
}

HRESULT CControlPageList::GetPages(std::vector<Guid>& pages) {
    pages.clear();
    for (const PageDefinition* page : ControlPages()) {
        pages.push_back(page->clsid);
    }
    return automation::S_OK;
}

HRESULT CControlVerbs::DoVerb(int32_t verb) {
    if (verb != automation::OLEIVERB_PROPERTIES) {
        return automation::OLEOBJ_S_INVALIDVERB;
    }
    if (m_showProperties) {
        m_showProperties();
    }
    return automation::S_OK;
}

}  // namespace terminal::pages
