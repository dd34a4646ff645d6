// Per-property browsing: how a property browser (or a control's own pages) offers the fixed choices of a
// property as readable strings and shows its current value by name. CPropertyBrowsing serves it from a table
// of lists, each a list of string ids and values shared by one or more properties.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/variant.h"

namespace platform::automation {

inline constexpr Guid IID_IPerPropertyBrowsing = Guid::FromLiteral("{376BD3AA-3845-101B-84ED-08002B2EC713}");

class IPerPropertyBrowsing {
  public:
    virtual ~IPerPropertyBrowsing() = default;
    // Every member answers S_FALSE, and writes nothing, for a property without predefined values. Text is
    // 8-bit Windows-1252, as all of the core's text.
    virtual HRESULT GetDisplayString(DISPID dispid, std::string* text) = 0;
    virtual HRESULT MapPropertyToPage(DISPID dispid, Guid* page) = 0;
    // The strings in list order and, beside each, the cookie that GetPredefinedValue turns into its value.
    virtual HRESULT GetPredefinedStrings(DISPID dispid, std::vector<std::string>* strings,
                                         std::vector<uint32_t>* cookies) = 0;
    virtual HRESULT GetPredefinedValue(DISPID dispid, uint32_t cookie, Variant* value) = 0;
};

struct BrowseEntry {
    int32_t stringId;
    int32_t value;
};

struct BrowseList {
    std::span<const DISPID> properties;
    // I4 or I2: the kind of the values GetPredefinedValue gives.
    VarType valueType;
    std::span<const BrowseEntry> entries;
};

class CPropertyBrowsing final : public IPerPropertyBrowsing {
  public:
    // The display text of a string id.
    using StringLoader = std::function<std::string(int32_t stringId)>;
    // The value the object holds for a property; nullopt when it cannot tell.
    using ValueReader = std::function<std::optional<int32_t>(DISPID dispid)>;

    CPropertyBrowsing(std::span<const BrowseList> lists, StringLoader loadString, ValueReader heldValue);

    // The first entry whose value the property holds; E_FAIL when none has it. E_POINTER for a null `text`.
    HRESULT GetDisplayString(DISPID dispid, std::string* text) override;
    // No property opens a page of its own: E_NOTIMPL for every property, listed or not.
    HRESULT MapPropertyToPage(DISPID dispid, Guid* page) override;
    // Each cookie is the entry's value itself. E_POINTER when either output is null.
    HRESULT GetPredefinedStrings(DISPID dispid, std::vector<std::string>* strings,
                                 std::vector<uint32_t>* cookies) override;
    // The cookie as the list's value kind, not looked up in the list; a cookie that the kind cannot carry
    // (beyond 16 bits for an I2 list) is E_INVALIDARG rather than a cut value. E_POINTER for a null `value`.
    HRESULT GetPredefinedValue(DISPID dispid, uint32_t cookie, Variant* value) override;

    // The list of `dispid`, or null.
    const BrowseList* ListOf(DISPID dispid) const;

  private:
    std::span<const BrowseList> m_lists;
    StringLoader m_loadString;
    ValueReader m_heldValue;
};

}  // namespace platform::automation
