// A property store over a map, for the tests that save a control's properties and load them again.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/property_bag.h"

namespace testsupport {

class MapBag : public platform::automation::PropertyBag {
  public:
    using PropertyValue = platform::automation::PropertyValue;

    std::optional<PropertyValue> Load(std::string_view name) override {
        const auto it = m_values.find(std::string(name));
        return it == m_values.end() ? std::nullopt : std::optional<PropertyValue>(it->second);
    }
    void Save(std::string_view name, const PropertyValue& value) override {
        m_values[std::string(name)] = value;
    }
    std::map<std::string, PropertyValue> m_values;
};

}  // namespace testsupport
