// The control's predefined values: 32 switches share one True/False list and 16 option properties
// use 14 lists of their own, each entry a string id of the control's table and the value it stands for. A
// host's property browser and the control's pages both read them through per-property browsing.
#pragma once

#include <span>

#include "platform/automation/property_browsing.h"

namespace docview {

std::span<const platform::automation::BrowseList> PropertyLists();

// Entries are loaded cut to this many characters, as the browser's fixed buffer holds them.
inline constexpr size_t kBrowseTextChars = 78;

}  // namespace docview
