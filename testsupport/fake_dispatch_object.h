// An object with named properties, for tests of what edits objects by name (property pages, fonts): it
// answers only the names it was given, keeps every put in order, and refuses the puts it is told to.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/dispatch_object.h"

namespace testsupport {

class FakeObject : public platform::automation::DispatchObject {
  public:
    using Variant = platform::automation::Variant;

    // Each property keeps the kind of its initial value.
    explicit FakeObject(std::vector<std::pair<std::string, Variant>> properties) {
        platform::automation::DISPID id = 1;
        for (auto& [name, value] : properties) {
            m_values[name] = value;
            Table().Property(
                name, id++, value.Type(), [this, name] { return m_values[name]; },
                [this, name](const Variant& v) {
                    if (m_refused.contains(name)) {
                        throw platform::automation::DispatchError(platform::automation::E_INVALIDARG,
                                                                  "refused");
                    }
                    m_values[name] = v;
                    m_puts.emplace_back(name, v);
                });
        }
    }

    std::map<std::string, Variant> m_values;
    std::vector<std::pair<std::string, Variant>> m_puts;
    std::set<std::string> m_refused;
};

}  // namespace testsupport
