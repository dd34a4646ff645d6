// What a control answers besides its dispatch interface: its safety for a scripting host (its dispatch
// interface is safe to script, its persistence safe to initialise from a store; nothing else is claimed),
// the verb that opens its property frame, and persistence in a property bag. Each is a small object the
// control holds and reaches through callbacks.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/object_safety.h"
#include "platform/automation/property_bag.h"
#include "platform/automation/property_pages.h"

namespace platform::automation {

class CControlPersistence final : public IPersistPropertyBag {
  public:
    using Exchange = std::function<void(PropertyBag&)>;
    CControlPersistence(Exchange load, Exchange save) : m_load(std::move(load)), m_save(std::move(save)) {}
    HRESULT Load(PropertyBag& bag) override;
    HRESULT Save(PropertyBag& bag) override;

  private:
    Exchange m_load;
    Exchange m_save;
};

// The property verb opens the control's property frame; the control knows no other verb here.
class CControlVerbs final : public IObjectVerbs {
  public:
    explicit CControlVerbs(std::function<void()> showProperties)
        : m_showProperties(std::move(showProperties)) {}
    HRESULT DoVerb(int32_t verb) override;

  private:
    std::function<void()> m_showProperties;
};

class CControlSafety final : public IObjectSafety {
  public:
    using HasInterfaceFn = std::function<bool(const Guid& iid)>;
    explicit CControlSafety(HasInterfaceFn hasInterface) : m_hasInterface(std::move(hasInterface)) {}

    HRESULT GetInterfaceSafetyOptions(const Guid& iid, uint32_t* supported, uint32_t* enabled) override;
    HRESULT SetInterfaceSafetyOptions(const Guid& iid, uint32_t mask, uint32_t enabled) override;

  private:
    HasInterfaceFn m_hasInterface;
};

}  // namespace platform::automation
