// The identity of the terminal control as its containers see it: class, interface and type-library ids,
// the ProgID, the event dispids and the tags of the in-process pointers that cross its dispatch interface.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"

namespace terminal {

using platform::automation::DISPID;
using platform::automation::Guid;

inline constexpr Guid kQuilletTypeLibId = Guid::FromLiteral("{D96DB4F3-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr Guid kQuilletDispatchIid = Guid::FromLiteral("{D96DB4F4-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr Guid kQuilletEventsIid = Guid::FromLiteral("{D96DB4F5-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr Guid kQuilletClsid = Guid::FromLiteral("{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF}");
// QueryInterface with this id answers the control's QWidget, kept alive with the control object. The
// control owns the widget; a container parents it in its view and takes it out again before releasing
// the control.
inline constexpr Guid kQuilletWidgetIid = Guid::FromLiteral("{D96DB4F7-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr std::string_view kQuilletProgId = "QUILLET.QuilletCtrl.1";
inline constexpr std::string_view kQuilletTypeName = "Quillet Control";

// Tags of the pointer arguments.
inline constexpr std::string_view kLoginDataTag = "LoginData";  // std::string: the container's command line
inline constexpr std::string_view kPrintTargetTag = "QPrinter";
inline constexpr std::string_view kWidgetTag = "QWidget";

// The stock window property: the control's QWidget as a pointer tagged "QWidget".
inline constexpr DISPID kDispidWindow = -515;

enum class QuilletEvent : DISPID {
    SorelExit = 1,
    NewWindow = 2,
    Tamsel = 3,
    ShowContainer = 4,
    SwitchToolbar = 5,
    PopupMenu = 6,
    SetTitle = 7,
    SetFont = 8,
    SetMenuStrings = 9,
    DisplayErrorBox = 10,
};

}  // namespace terminal
