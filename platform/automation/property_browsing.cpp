// Per-property browsing over a table of lists.
#include "platform/automation/property_browsing.h"

#include <algorithm>
#include <limits>

namespace platform::automation {

CPropertyBrowsing::CPropertyBrowsing(std::span<const BrowseList> lists, StringLoader loadString,
                                     ValueReader heldValue)
    : m_lists(lists), m_loadString(std::move(loadString)), m_heldValue(std::move(heldValue)) {}

const BrowseList* CPropertyBrowsing::ListOf(DISPID dispid) const {
    for (const BrowseList& list : m_lists) {
        if (std::find(list.properties.begin(), list.properties.end(), dispid) != list.properties.end()) {
            return &list;
        }
    }
    return nullptr;
}

HRESULT CPropertyBrowsing::GetDisplayString(DISPID dispid, std::string* text) {
    const BrowseList* list = ListOf(dispid);
    if (!list) {
        return S_FALSE;
    }
    if (!text) {
        return E_POINTER;
    }
    const std::optional<int32_t> held = m_heldValue ? m_heldValue(dispid) : std::nullopt;
    if (!held) {
        return E_FAIL;
    }
    for (const BrowseEntry& entry : list->entries) {
        if (entry.value == *held) {
            *text = m_loadString(entry.stringId);
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CPropertyBrowsing::MapPropertyToPage(DISPID, Guid*) {
    return E_NOTIMPL;
}

HRESULT CPropertyBrowsing::GetPredefinedStrings(DISPID dispid, std::vector<std::string>* strings,
                                                std::vector<uint32_t>* cookies) {
    if (!strings || !cookies) {
        return E_POINTER;
    }
    const BrowseList* list = ListOf(dispid);
    if (!list) {
        return S_FALSE;
    }
    std::vector<std::string> texts;
    std::vector<uint32_t> values;
    texts.reserve(list->entries.size());
    values.reserve(list->entries.size());
    for (const BrowseEntry& entry : list->entries) {
        texts.push_back(m_loadString(entry.stringId));
        values.push_back(static_cast<uint32_t>(entry.value));
    }
    *strings = std::move(texts);
    *cookies = std::move(values);
    return S_OK;
}

HRESULT CPropertyBrowsing::GetPredefinedValue(DISPID dispid, uint32_t cookie, Variant* value) {
    const BrowseList* list = ListOf(dispid);
    if (!list) {
        return S_FALSE;
    }
    if (!value) {
        return E_POINTER;
    }
    const auto number = static_cast<int32_t>(cookie);
    if (list->valueType == VarType::I2) {
        if (number < std::numeric_limits<int16_t>::min() || number > std::numeric_limits<int16_t>::max()) {
            return E_INVALIDARG;
        }
        *value = Variant::I2(static_cast<int16_t>(number));
    } else {
        *value = Variant::I4(number);
    }
    return S_OK;
}

}  // namespace platform::automation
