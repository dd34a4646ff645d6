// What the terminal control and its containers agree on: the control's class, interface and type-library
// ids, the member names a container binds, the event dispids, and the in-process records and pointer tags
// that cross the dispatch interface (login text, popup menu, menu prompt table, print target, widget).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"

namespace quillet {

using platform::automation::DISPID;
using platform::automation::Guid;

inline constexpr Guid kQuilletTypeLibId = Guid::FromLiteral("{D96DB4F3-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr Guid kQuilletDispatchIid = Guid::FromLiteral("{D96DB4F4-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr Guid kQuilletEventsIid = Guid::FromLiteral("{D96DB4F5-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr Guid kQuilletClsid = Guid::FromLiteral("{D96DB4F6-64EA-4415-98C5-7AE2BDE10DBF}");
inline constexpr std::string_view kQuilletProgId = "QUILLET.QuilletCtrl.1";
inline constexpr std::string_view kQuilletTypeName = "Quillet Control";

// The control's widget: QueryInterface with this id answers a pointer to the control's QWidget, kept alive
// with the control object. The control owns the widget; the container parents it in its view and takes it
// back out of the view before it releases the control.
inline constexpr Guid kQuilletWidgetIid = Guid::FromLiteral("{D96DB4F7-64EA-4415-98C5-7AE2BDE10DBF}");

// Tags of the in-process pointer arguments (Variant::Pointer).
// Login's loginData: a std::string holding the container's whole command line.
inline constexpr std::string_view kLoginDataTag = "LoginData";
// PopupMenu's argument: a PopupMenuData.
inline constexpr std::string_view kPopupMenuDataTag = "PopupMenuData";
// SetMenuStrings' argument: the first MenuStringEntry of the control's table.
inline constexpr std::string_view kMenuStringEntryTag = "MenuStringEntry";
// Print's argument: the QPrinter to print the screen on.
inline constexpr std::string_view kPrintTargetTag = "QPrinter";
// The stock window property (kDispidWindow): the control's QWidget.
inline constexpr std::string_view kWidgetTag = "QWidget";
inline constexpr DISPID kDispidWindow = -515;

// Login's answers besides failure codes.
inline constexpr int32_t kLoginOk = 0;
inline constexpr int32_t kLoginUsage = 87;

// The popup menu of a right click, valid while the PopupMenu event runs. `menu` is the control's QMenu;
// each of its actions carries its command id as its data.
struct PopupMenuData {
    void* menu = nullptr;
    uint32_t flags = 0;
    int32_t x = 0;  // screen coordinates of the click
    int32_t y = 0;
    void* controlWindow = nullptr;
    int32_t firstId = 10000;
    int32_t lastId = 10019;
};

inline constexpr int32_t kPopupFirstId = 10000;
inline constexpr int32_t kPopupLastId = 10019;

// One menu prompt of the control's table; an id of 0 ends the table, which has at most 30 entries.
struct MenuStringEntry {
    int32_t id = 0;
    const char* text = nullptr;
};
inline constexpr size_t kMaxMenuStrings = 30;

// Event dispids of the control's event interface.
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

// The members the container binds, in binding order; a message names a missing one by its index here.
enum class Member : size_t {
    FontName,
    FontSize,
    RemoteDataSet,
    RemoteSorelProgs,
    RemoteHost,
    RemoteEnviro,
    RemotePort,
    RemotePrinter,
    RemoteTerm,
    Connector,
    Border,
    RunProgram,
    AuthSorelUser,
    AuthSorelPassword,
    AuthOsUser,
    AuthOsPassword,
    BackgroundColor,
    IsChainable,
    StatusBar,
    LocalTerm,
    LocalPrinter,
    LocalDataSet,
    LocalSorelProgs,
    Simple,
    PostCloseOnSorelExit,
    WanMode,
    BillServID,
    HostIsTrans,
    PracticeName,
    ToolBars,
    InVarnel,
    IsContainerRunning,
    Send,
    ShutDownSorel,
    AutoLogin,
    SendSorelMessage,
    Connect,
    ReConnect,
    AuthUpdate,
    LoadRegistry,
    AuthDialog,
    Probe,
    VBASetFocus,
    WebAddWndLink,
    WebRemoveWndLink,
    WebSetWindowTitle,
    WebSetPersist,
    WebClearPersist,
    NewWindow,
    ShowCalc,
    Activate,
    Login,
    Print,
    PopupMenuItem,
    BootSorel,
    SendProcess,
    ManualProbe,
    SendToolbarCommand,
    ForceNewWindow,
    GetScreenBuffer,
    NewWindowChainCommand,
    EditCopy,
    EditPaste,
    SetFontControl,
    EditCustomMenu,
    ResizeRequest,
    ResizeRequestSuccess,
    MinimumWindowSize,
    MinWindowWidth,
    MinWindowHeight,
    DirectChainMode,
    Count
};

inline constexpr size_t kMemberCount = static_cast<size_t>(Member::Count);

inline constexpr std::array<std::string_view, kMemberCount> kMemberNames = {
    "FontName",
    "FontSize",
    "RemoteDataSet",
    "RemoteSorelProgs",
    "RemoteHost",
    "RemoteEnviro",
    "RemotePort",
    "RemotePrinter",
    "RemoteTerm",
    "Connector",
    "Border",
    "RunProgram",
    "AuthSorelUser",
    "AuthSorelPassword",
    "AuthOsUser",
    "AuthOsPassword",
    "BackgroundColor",
    "IsChainable",
    "StatusBar",
    "LocalTerm",
    "LocalPrinter",
    "LocalDataSet",
    "LocalSorelProgs",
    "Simple",
    "PostCloseOnSorelExit",
    "WanMode",
    "BillServID",
    "HostIsTrans",
    "PracticeName",
    "ToolBars",
    "InVarnel",
    "IsContainerRunning",
    "Send",
    "ShutDownSorel",
    "AutoLogin",
    "SendSorelMessage",
    "Connect",
    "ReConnect",
    "AuthUpdate",
    "LoadRegistry",
    "AuthDialog",
    "Probe",
    "VBASetFocus",
    "WebAddWndLink",
    "WebRemoveWndLink",
    "WebSetWindowTitle",
    "WebSetPersist",
    "WebClearPersist",
    "NewWindow",
    "ShowCalc",
    "Activate",
    "Login",
    "Print",
    "PopupMenuItem",
    "BootSorel",
    "SendProcess",
    "ManualProbe",
    "SendToolbarCommand",
    "ForceNewWindow",
    "GetScreenBuffer",
    "NewWindowChainCommand",
    "EditCopy",
    "EditPaste",
    "SetFontControl",
    "EditCustomMenu",
    "ResizeRequest",
    "ResizeRequestSuccess",
    "MinimumWindowSize",
    "MinWindowWidth",
    "MinWindowHeight",
    "DirectChainMode",
};

constexpr std::string_view MemberName(Member member) {
    return kMemberNames[static_cast<size_t>(member)];
}

// The edit commands are invoked by these fixed dispids once their names are bound.
inline constexpr DISPID kEditCopyDispid = 1013;
inline constexpr DISPID kEditPasteDispid = 1014;
inline constexpr DISPID kSetFontControlDispid = 1015;
inline constexpr DISPID kEditCustomMenuDispid = 1016;

}  // namespace quillet
