// One member's entries in the control's dispatch table, for the feature files that bind their own members:
// a property get, a put and a method, each under the member's name and DISPID.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "docview/fennick_members.h"
#include "platform/automation/dispatch_object.h"

namespace docview {

class MemberEntries {
  public:
    MemberEntries(platform::automation::DispatchTable& table, const MemberSpec& member)
        : m_table(table), m_name(member.name), m_id(member.dispid) {}

    void Get(platform::automation::VarType kind, std::function<platform::automation::Variant()> getter) {
        m_table.Add({m_name,
                     m_id,
                     platform::automation::InvokeKind::PropertyGet,
                     {},
                     kind,
                     [getter = std::move(getter)](std::span<const platform::automation::Variant>) {
                         return getter();
                     }});
    }
    void Put(platform::automation::VarType kind,
             std::function<void(const platform::automation::Variant&)> setter) {
        m_table.Add({m_name,
                     m_id,
                     platform::automation::InvokeKind::PropertyPut,
                     {platform::automation::ParamSpec(kind)},
                     platform::automation::VarType::Empty,
                     [setter = std::move(setter)](std::span<const platform::automation::Variant> args) {
                         setter(args[0]);
                         return platform::automation::Variant();
                     }});
    }
    void Method(std::vector<platform::automation::ParamSpec> params, platform::automation::VarType result,
                platform::automation::StatusHandler handler) {
        m_table.Add({m_name, m_id, platform::automation::InvokeKind::Method, std::move(params), result,
                     nullptr, std::move(handler)});
    }

  private:
    platform::automation::DispatchTable& m_table;
    std::string m_name;
    platform::automation::DISPID m_id;
};

}  // namespace docview
