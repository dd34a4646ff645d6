// A container's property store as an object's persistence sees it, and the interface through which the
// container hands one to the object (IID_IPersistPropertyBag).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "platform/automation/hresult.h"

namespace platform::automation {

// The value kinds a stored property takes (float for single-precision properties such as margins).
using PropertyValue = std::variant<std::string, int16_t, int32_t, bool, float>;

// The Qt side implements it over its storage; tests use a map.
class PropertyBag {
  public:
    virtual ~PropertyBag() = default;
    // nullopt when the store holds no property of that name.
    virtual std::optional<PropertyValue> Load(std::string_view name) = 0;
    virtual void Save(std::string_view name, const PropertyValue& value) = 0;
};

class IPersistPropertyBag {
  public:
    virtual ~IPersistPropertyBag() = default;
    virtual HRESULT Load(PropertyBag& bag) = 0;
    virtual HRESULT Save(PropertyBag& bag) = 0;
};

}  // namespace platform::automation
