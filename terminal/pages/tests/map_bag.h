// A property store over a map, for the tests that save a control's properties and load them again.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "terminal/control/quillet_properties.h"

namespace terminal::pages::testing {

class MapBag : public PropertyBag {
  public:
    std::optional<PropertyValue> Load(std::string_view name) override {
        const auto it = m_values.find(std::string(name));
        return it == m_values.end() ? std::nullopt : std::optional<PropertyValue>(it->second);
    }
    void Save(std::string_view name, const PropertyValue& value) override {
        m_values[std::string(name)] = value;
    }
    std::map<std::string, PropertyValue> m_values;
};

}  // namespace terminal::pages::testing
