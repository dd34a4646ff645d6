// What the control answers besides its dispatch interface: its safety for a scripting host (its dispatch
// interface is safe to script, its persistence safe to initialise from a store; nothing else is claimed),
// its property-page list, the verb that opens its property frame, and persistence in a property bag. Each
// is a small object the control holds and reaches through callbacks.
#pragma once

#include <functional>
#include <vector>

#include "platform/automation/object_safety.h"
#include "platform/automation/property_pages.h"
#include "terminal/control/quillet_properties.h"

namespace terminal::pages {

// Persistence in the container's property store (the interface id is IID_IPersistPropertyBag).
class IPersistPropertyBag {
  public:
    virtual ~IPersistPropertyBag() = default;
    virtual platform::automation::HRESULT Load(PropertyBag& bag) = 0;
    virtual platform::automation::HRESULT Save(PropertyBag& bag) = 0;
};

class CControlPersistence final : public IPersistPropertyBag {
  public:
    using Exchange = std::function<void(PropertyBag&)>;
    CControlPersistence(Exchange load, Exchange save) : m_load(std::move(load)), m_save(std::move(save)) {}
    platform::automation::HRESULT Load(PropertyBag& bag) override;
    platform::automation::HRESULT Save(PropertyBag& bag) override;

  private:
    Exchange m_load;
    Exchange m_save;
};

// The page list in tab order: Connect, Display, Login.
class CControlPageList final : public platform::automation::ISpecifyPropertyPages {
  public:
    platform::automation::HRESULT GetPages(std::vector<platform::automation::Guid>& pages) override;
};

// The property verb opens the control's property frame; the control knows no other verb here.
class CControlVerbs final : public platform::automation::IObjectVerbs {
  public:
    explicit CControlVerbs(std::function<void()> showProperties)
        : m_showProperties(std::move(showProperties)) {}
    platform::automation::HRESULT DoVerb(int32_t verb) override;

  private:
    std::function<void()> m_showProperties;
};

class CControlSafety final : public platform::automation::IObjectSafety {
  public:
    using HasInterfaceFn = std::function<bool(const platform::automation::Guid& iid)>;
    explicit CControlSafety(HasInterfaceFn hasInterface) : m_hasInterface(std::move(hasInterface)) {}

    platform::automation::HRESULT GetInterfaceSafetyOptions(const platform::automation::Guid& iid,
                                                            uint32_t* supported, uint32_t* enabled) override;
    platform::automation::HRESULT SetInterfaceSafetyOptions(const platform::automation::Guid& iid,
                                                            uint32_t mask, uint32_t enabled) override;

  private:
    HasInterfaceFn m_hasInterface;
};

}  // namespace terminal::pages
