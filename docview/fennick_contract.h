// What the document-view control and its hosts agree on: the control's class, interface and event ids, the
// ProgIDs, how the control's widget is handed out, the members hosts call by DISPID and the events' DISPIDs.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"

namespace fennick {

using platform::automation::DISPID;
using platform::automation::Guid;

// The control, coclass qelctrl, and its dual interface Iqelctrl.
inline constexpr Guid kQelctrlClsid = Guid::FromLiteral("{4539D68F-4B4A-4DA8-8613-0D43320BBF52}");
inline constexpr Guid kIqelctrlIid = Guid::FromLiteral("{4539D68E-4B4A-4DA8-8613-0D43320BBF52}");
inline constexpr std::string_view kQelctrlProgId = "qelctrl.qelctrl.1";
inline constexpr std::string_view kQelctrlVersionIndependentProgId = "qelctrl.qelctrl";
inline constexpr std::string_view kQelctrlTypeName = "qelctrl Class";

// Ids of our own where the published ones give none: the type library, the event interface _Dqelctrl, the
// position object, and the classes registered under "qelio" and "QelIORedir" (no object behind them here).
inline constexpr Guid kFennickTypeLibId = Guid::FromLiteral("{6B0E4C31-8F2D-4A57-9C1E-3D5A7B2F0E11}");
inline constexpr Guid kDqelctrlIid = Guid::FromLiteral("{6B0E4C32-8F2D-4A57-9C1E-3D5A7B2F0E11}");
inline constexpr Guid kQelPosClsid = Guid::FromLiteral("{6B0E4C33-8F2D-4A57-9C1E-3D5A7B2F0E11}");
inline constexpr Guid kIQelPosIid = Guid::FromLiteral("{6B0E4C34-8F2D-4A57-9C1E-3D5A7B2F0E11}");
inline constexpr Guid kQelioClsid = Guid::FromLiteral("{6B0E4C35-8F2D-4A57-9C1E-3D5A7B2F0E11}");
inline constexpr Guid kQelIORedirClsid = Guid::FromLiteral("{6B0E4C36-8F2D-4A57-9C1E-3D5A7B2F0E11}");
inline constexpr std::string_view kQelPosProgId = "QelPos.QelPos.1";
inline constexpr std::string_view kQelioProgId = "qelio.qelio.1";
inline constexpr std::string_view kQelIORedirProgId = "QelIORedir.QelIORedir.1";

// The control's widget: QueryInterface with this id makes the widget on first use (the control's window
// creation: the engine is found and its view made in it) and answers a pointer to that QWidget, kept alive
// with the control. The control owns the widget; a host parents it in its own window, may show it or not,
// and either takes it back out before releasing the control or deletes it with its parent.
inline constexpr Guid kQelctrlWidgetIid = Guid::FromLiteral("{6B0E4C37-8F2D-4A57-9C1E-3D5A7B2F0E11}");

// Members the document viewer calls by DISPID.
enum class Dispid : DISPID {
    ViewFile = 1,
    ErrorShowMsg = 2,
    ErrorCode = 3,
    ErrorMsg = 4,
    WPDisplayMode = 18,
    CopyToClip = 60,
    DisplayEngineType = 69,
    PrintSetup = 85,
    PrintOI = 90,
    Clear = 91,
    FileInfoDisplayName = 130,
};

// Events of _Dqelctrl.
enum class Event : DISPID {
    Error = 1,
    HScrollPageSize = 2,
    HScrollPosition = 3,
    HScrollRange = 4,
    HScrollState = 5,
    VScrollPageSize = 6,
    VScrollPosition = 7,
    VScrollRange = 8,
    VScrollState = 9,
    SelChange = 10,
    ContextMenu = 11,
    Keydown = 12,
    PrinterAbort = 13,
    AnnotationEvent = 14,
    ViewThisFile = 15,
    DisplayEngineChange = 16,
    OptionChange = 17,
    DoHelp = 18,
    EnableApp = 19,
    FileChange = 20,
    RawTextEvent = 21,
    Open = 22,
    Close = 23,
    Read = 24,
    Write = 25,
    Seek = 26,
    Tell = 27,
    GetInfo = 28,
    GenSecond = 29,
    ReadAheadDone = 30,
    Stat = 31,
};

// What a ViewThisFile sink sets its out argument to when it takes the file over.
inline constexpr int16_t kTakeFileOver = 24;

}  // namespace fennick
