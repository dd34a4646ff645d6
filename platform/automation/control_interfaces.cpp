// A control's safety options, verbs and persistence.
#include "platform/automation/control_interfaces.h"

#include "platform/automation/dispatch.h"

namespace platform::automation {

namespace {

bool IsPersistence(const Guid& iid) {
    return iid == IID_IPersistPropertyBag || iid == IID_IPersistStreamInit || iid == IID_IPersistStorage ||
           iid == IID_IPersistMemory;
}

}  // namespace

HRESULT CControlSafety::GetInterfaceSafetyOptions(const Guid& iid, uint32_t* supported, uint32_t* enabled) {
    if (supported == nullptr || enabled == nullptr) {
        return E_POINTER;
    }
    *supported = 0;
    *enabled = 0;
    if (!m_hasInterface(iid)) {
        return E_NOINTERFACE;
    }
    if (iid == IID_IDispatch) {
        *enabled = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    } else if (IsPersistence(iid)) {
        *enabled = INTERFACESAFE_FOR_UNTRUSTED_DATA;
    } else {
        return E_NOINTERFACE;
    }
    *supported = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    return S_OK;
}

HRESULT CControlSafety::SetInterfaceSafetyOptions(const Guid& iid, uint32_t mask, uint32_t enabled) {
    if (mask == 0 && enabled == 0) {
        return S_OK;
    }
    if (!m_hasInterface(iid)) {
        return E_FAIL;
    }
    constexpr uint32_t kCaller = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    constexpr uint32_t kData = INTERFACESAFE_FOR_UNTRUSTED_DATA;
    if (iid == IID_IDispatch && mask == kCaller && enabled == kCaller) {
        return S_OK;
    }
    if (IsPersistence(iid) && mask == kData && enabled == kData) {
        return S_OK;
    }
    return E_FAIL;
}

HRESULT CControlPersistence::Load(PropertyBag& bag) {
    if (!m_load) {
        return E_NOTIMPL;
    }
    m_load(bag);
    return S_OK;
}

HRESULT CControlPersistence::Save(PropertyBag& bag) {
    if (!m_save) {
        return E_NOTIMPL;
    }
    m_save(bag);
    return S_OK;
}

HRESULT CControlVerbs::DoVerb(int32_t verb) {
    if (verb != OLEIVERB_PROPERTIES) {
        return OLEOBJ_S_INVALIDVERB;
    }
    if (m_showProperties) {
        m_showProperties();
    }
    return S_OK;
}

}  // namespace platform::automation
