// The terminal control's properties as a plain model: every property with its dispatch id, type, initial
// value and whether it is persisted, the exchange with the container's property store, access by name for
// the automation side, and loading the connection settings from the registry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/automation/property_bag.h"

namespace terminal {

// The value kinds the dispatch interface uses for the control's properties.
enum class PropertyType { String, Int16, Int32, Bool };
using platform::automation::PropertyBag;
using platform::automation::PropertyValue;

struct PropertyInfo {
    int32_t dispid;
    std::string_view name;
    PropertyType type;
    bool persisted;
};

// A 32-bit setting as a 16-bit property: values out of range are held at the nearest end.
constexpr int16_t ClampToInt16(int32_t value) {
    return static_cast<int16_t>(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX));
}

// The persisted version the exchange writes and checks ("_Version" in the store).
inline constexpr int32_t kPropertyVersion = 0x10000;
inline constexpr std::string_view kVersionProperty = "_Version";
inline constexpr std::string_view kDefaultRemoteHost = "192.168.1.10";
inline constexpr std::string_view kDefaultDataSet = "c:\\sorel\\soreldata";
inline constexpr std::string_view kDefaultSorelProgs = "c:\\sorel\\sorelprogs";

class QuilletProperties {
  public:
    // Every property of the dispatch interface but the stock Font, in dispatch-id order.
    static std::span<const PropertyInfo> Table();
    // The persisted properties in the order the store exchanges them.
    static std::span<const std::string_view> PersistOrder();
    static const PropertyInfo* Find(std::string_view name);  // case-insensitive

    // Exchange with the store. Loading takes what the store holds of the right type and keeps the current
    // value for anything missing or unusable; a store that names no known connector gets the defaults.
    void Load(PropertyBag& bag);
    void Save(PropertyBag& bag) const;

    // By name, case-insensitive, as the automation side reaches them. Set answers false for an unknown
    // name or a value of the wrong type (nothing changes then); otherwise the control is marked modified.
    // IsChainable reads the chainable flag and ignores what is set.
    std::optional<PropertyValue> Get(std::string_view name) const;
    bool Set(std::string_view name, const PropertyValue& value);

    // Puts the persisted properties back to the values a fresh control starts from (Border and
    // AuthOsPassword excepted, as a fresh store leaves them).
    void ApplyDefaults();
    bool IsRemote() const { return m_Connector == "remote"; }
    bool IsLocal() const { return m_Connector == "local"; }

    // Persisted.
    std::string m_FontName{"TarnFont"};
    int16_t m_FontSize = 9;
    std::string m_RemoteDataSet{kDefaultDataSet};
    std::string m_RemoteSorelProgs{kDefaultSorelProgs};
    std::string m_RemoteHost{kDefaultRemoteHost};
    std::string m_RemoteEnviro;
    int16_t m_RemotePort = 8002;
    int16_t m_RemotePrinter = 1;
    int16_t m_RemoteTerm = 1;
    std::string m_Connector{"remote"};
    bool m_Border = true;
    std::string m_RunProgram;
    int32_t m_AuthSorelUser = 0;
    std::string m_AuthSorelPassword;
    std::string m_AuthOsUser;
    std::string m_AuthOsPassword;
    std::string m_BackgroundColor{"ffffff"};
    bool m_StatusBar = false;
    int16_t m_LocalTerm = 1;
    int16_t m_LocalPrinter = 1;
    std::string m_LocalDataSet{kDefaultDataSet};
    std::string m_LocalSorelProgs{kDefaultSorelProgs};
    bool m_Simple = false;
    bool m_PostCloseOnSorelExit = false;
    int16_t m_WanMode = 0;
    // Not persisted.
    int32_t m_BillServID = 0;
    bool m_HostIsTrans = true;
    int32_t m_chainable = 1;  // published as IsChainable
    std::string m_PracticeName;
    bool m_Toolbars = true;
    bool m_InVarnel = false;
    bool m_IsContainerRunning = false;
    std::string m_ClientFileName;
    std::string m_NewWindowChainCommand;
    int32_t m_MinWindowWidth = 640;
    int32_t m_MinWindowHeight = 480;
    bool m_DirectChainMode = false;

    bool m_modified = false;
};

// The font the user chose with the font command, when the registry says one was chosen (`fontChanged`):
// its face becomes FontName and its size in tenths of a point becomes FontSize.
void ApplyFontChange(QuilletProperties& properties);

// The fill colour while not connected, as a 0x00BBGGRR colour value: six hexadecimal digits "rrggbb"
// are read with their pairs reversed; any other length is black.
uint32_t BackgroundColorValue(std::string_view text);

// The screen's left and top margins inside the control for the frame and toolbar settings.
struct ScreenMargins {
    int32_t left = 0;
    int32_t top = 0;
    bool operator==(const ScreenMargins&) const = default;
};
ScreenMargins MarginsFor(bool border, bool toolbars);

// Loads the connection settings of the branch `Connector` names into the properties: 0 on success, 1 when
// a value is missing. A connector other than "remote" or "local" is shown as "Invalid Connector
// Specified" and loaded as remote. The client mode is set to the branch first.
int32_t LoadRegistry(QuilletProperties& properties);

}  // namespace terminal
