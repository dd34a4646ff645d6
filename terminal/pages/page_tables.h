// The control's three property pages as data: which dialog field edits which property (the Connect page's
// connection fields follow the connector) and the values a page starts from.
#pragma once

#include <span>
#include <string_view>

#include "platform/automation/guid.h"
#include "platform/automation/page_model.h"

namespace terminal::pages {

using platform::automation::FieldKind;
using platform::automation::Guid;
using platform::automation::NumberKind;
using platform::automation::PageDefinition;
using platform::automation::PageField;
using platform::automation::PageModel;

inline constexpr Guid kConnectPageClsid = Guid::FromLiteral("{3AA4A324-3EE4-431E-A405-7E09FA0D272B}");
inline constexpr Guid kDisplayPageClsid = Guid::FromLiteral("{3AA4A327-3EE4-431E-A405-7E09FA0D272B}");
inline constexpr Guid kLoginPageClsid = Guid::FromLiteral("{3AA4A32A-3EE4-431E-A405-7E09FA0D272B}");

// Connector list positions: 0 takes the network fields away.
inline constexpr std::string_view kLocalConnector = "local";
inline constexpr std::string_view kRemoteConnector = "remote";

const PageDefinition& ConnectPage();
const PageDefinition& DisplayPage();
const PageDefinition& LoginPage();
// The control's page list, in tab order: Connect, Display, Login.
std::span<const PageDefinition* const> ControlPages();
const PageDefinition* FindPage(const Guid& clsid);

}  // namespace terminal::pages
