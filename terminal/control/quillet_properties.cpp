// The control's property table, its exchange with the property store and the registry loading.
#include "terminal/control/quillet_properties.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "platform/hex_digit.h"
#include "platform/user_prompt.h"
#include "suite/client_mode.h"
#include "suite/registry_settings.h"

namespace terminal {
namespace {

using Member = std::variant<std::string QuilletProperties::*, int16_t QuilletProperties::*,
                            int32_t QuilletProperties::*, bool QuilletProperties::*>;

struct Binding {
    std::string_view name;
    Member member;
    bool notifies;  // the setter marks the control modified
};

using P = QuilletProperties;

constexpr std::array<PropertyInfo, 37> kTable = {{
    {1, "FontName", PropertyType::String, true},
    {2, "FontSize", PropertyType::Int16, true},
    {3, "RemoteDataSet", PropertyType::String, true},
    {4, "RemoteSorelProgs", PropertyType::String, true},
    {5, "RemoteHost", PropertyType::String, true},
    {6, "RemoteEnviro", PropertyType::String, true},
    {7, "RemotePort", PropertyType::Int16, true},
    {8, "RemotePrinter", PropertyType::Int16, true},
    {9, "RemoteTerm", PropertyType::Int16, true},
    {10, "Connector", PropertyType::String, true},
    {11, "Border", PropertyType::Bool, true},
    {12, "RunProgram", PropertyType::String, true},
    {13, "AuthSorelUser", PropertyType::Int32, true},
    {14, "AuthSorelPassword", PropertyType::String, true},
    {15, "AuthOsUser", PropertyType::String, true},
    {16, "AuthOsPassword", PropertyType::String, true},
    {17, "BackgroundColor", PropertyType::String, true},
    {18, "StatusBar", PropertyType::Bool, true},
    {19, "LocalTerm", PropertyType::Int16, true},
    {20, "LocalPrinter", PropertyType::Int16, true},
    {21, "LocalDataSet", PropertyType::String, true},
    {22, "LocalSorelProgs", PropertyType::String, true},
    {23, "Simple", PropertyType::Bool, true},
    {24, "PostCloseOnSorelExit", PropertyType::Bool, true},
    {25, "WanMode", PropertyType::Int16, true},
    {26, "BillServID", PropertyType::Int32, false},
    {27, "HostIsTrans", PropertyType::Bool, false},
    {28, "IsChainable", PropertyType::Bool, false},
    {1000, "PracticeName", PropertyType::String, false},
    {1001, "Toolbars", PropertyType::Bool, false},
    {1002, "InVarnel", PropertyType::Bool, false},
    {1003, "IsContainerRunning", PropertyType::Bool, false},
    {1009, "ClientFileName", PropertyType::String, false},
    {1017, "NewWindowChainCommand", PropertyType::String, false},
    {1021, "MinWindowWidth", PropertyType::Int32, false},
    {1022, "MinWindowHeight", PropertyType::Int32, false},
    {1023, "DirectChainMode", PropertyType::Bool, false},
}};

constexpr std::array<std::string_view, 25> kPersistOrder = {
    "FontName",      "RemoteDataSet",  "LocalDataSet",    "RemoteSorelProgs", "LocalSorelProgs",
    "RemoteHost",    "RemoteEnviro",   "Connector",       "RunProgram",       "AuthSorelPassword",
    "AuthOsUser",    "AuthOsPassword", "BackgroundColor", "FontSize",         "RemotePort",
    "RemotePrinter", "LocalPrinter",   "RemoteTerm",      "LocalTerm",        "WanMode",
    "AuthSorelUser", "Border",         "StatusBar",       "Simple",           "PostCloseOnSorelExit",
};

// IsChainable is not here: its getter and setter are special.
const std::array<Binding, 36> kBindings = {{
    {"FontName", &P::m_FontName, true},
    {"FontSize", &P::m_FontSize, true},
    {"RemoteDataSet", &P::m_RemoteDataSet, true},
    {"RemoteSorelProgs", &P::m_RemoteSorelProgs, true},
    {"RemoteHost", &P::m_RemoteHost, true},
    {"RemoteEnviro", &P::m_RemoteEnviro, true},
    {"RemotePort", &P::m_RemotePort, true},
    {"RemotePrinter", &P::m_RemotePrinter, true},
    {"RemoteTerm", &P::m_RemoteTerm, true},
    {"Connector", &P::m_Connector, true},
    {"Border", &P::m_Border, true},
    {"RunProgram", &P::m_RunProgram, true},
    {"AuthSorelUser", &P::m_AuthSorelUser, true},
    {"AuthSorelPassword", &P::m_AuthSorelPassword, true},
    {"AuthOsUser", &P::m_AuthOsUser, true},
    {"AuthOsPassword", &P::m_AuthOsPassword, true},
    {"BackgroundColor", &P::m_BackgroundColor, true},
    {"StatusBar", &P::m_StatusBar, true},
    {"LocalTerm", &P::m_LocalTerm, true},
    {"LocalPrinter", &P::m_LocalPrinter, true},
    {"LocalDataSet", &P::m_LocalDataSet, true},
    {"LocalSorelProgs", &P::m_LocalSorelProgs, true},
    {"Simple", &P::m_Simple, true},
    {"PostCloseOnSorelExit", &P::m_PostCloseOnSorelExit, true},
    {"WanMode", &P::m_WanMode, true},
    {"BillServID", &P::m_BillServID, true},
    {"HostIsTrans", &P::m_HostIsTrans, true},
    {"PracticeName", &P::m_PracticeName, true},
    {"Toolbars", &P::m_Toolbars, true},
    {"InVarnel", &P::m_InVarnel, true},
    {"IsContainerRunning", &P::m_IsContainerRunning, false},
    {"ClientFileName", &P::m_ClientFileName, true},
    {"NewWindowChainCommand", &P::m_NewWindowChainCommand, false},
    {"MinWindowWidth", &P::m_MinWindowWidth, false},
    {"MinWindowHeight", &P::m_MinWindowHeight, false},
    {"DirectChainMode", &P::m_DirectChainMode, false},
}};

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
               return lower(x) == lower(y);
           });
}

const Binding* FindBinding(std::string_view name) {
    for (const Binding& binding : kBindings) {
        if (SameName(binding.name, name)) {
            return &binding;
        }
    }
    return nullptr;
}

// A stored value converted to the member's type, or nullopt when it cannot be: a number that does not fit
// is refused rather than cut.
template <typename T>
std::optional<T> Convert(const PropertyValue& value) {
    if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, bool>) {
        if (const T* exact = std::get_if<T>(&value)) {
            return *exact;
        }
        return std::nullopt;
    } else {
        int64_t number = 0;
        if (const auto* i16 = std::get_if<int16_t>(&value)) {
            number = *i16;
        } else if (const auto* i32 = std::get_if<int32_t>(&value)) {
            number = *i32;
        } else {
            return std::nullopt;
        }
        if (number < std::numeric_limits<T>::min() || number > std::numeric_limits<T>::max()) {
            return std::nullopt;
        }
        return static_cast<T>(number);
    }
}

}  // namespace

std::span<const PropertyInfo> QuilletProperties::Table() {
    return kTable;
}

std::span<const std::string_view> QuilletProperties::PersistOrder() {
    return kPersistOrder;
}

const PropertyInfo* QuilletProperties::Find(std::string_view name) {
    for (const PropertyInfo& info : Table()) {
        if (SameName(info.name, name)) {
            return &info;
        }
    }
    return nullptr;
}

void QuilletProperties::Load(PropertyBag& bag) {
    // The version is read for the record only: every stored version so far has the same properties.
    (void)bag.Load(kVersionProperty);
    for (std::string_view name : PersistOrder()) {
        const std::optional<PropertyValue> stored = bag.Load(name);
        if (!stored) {
            continue;
        }
        std::visit(
            [&](auto member) {
                using T = std::remove_reference_t<decltype(this->*member)>;
                if (std::optional<T> value = Convert<T>(*stored)) {
                    this->*member = std::move(*value);
                }
            },
            FindBinding(name)->member);
    }
    if (!IsRemote() && !IsLocal()) {
        ApplyDefaults();
    }
}

void QuilletProperties::Save(PropertyBag& bag) const {
    bag.Save(kVersionProperty, PropertyValue{kPropertyVersion});
    for (std::string_view name : PersistOrder()) {
        std::visit([&](auto member) { bag.Save(name, PropertyValue{this->*member}); },
                   FindBinding(name)->member);
    }
}

void QuilletProperties::ApplyDefaults() {
    m_Connector = "remote";
    m_FontName = "TarnFont";
    m_RemoteDataSet = m_LocalDataSet = std::string(kDefaultDataSet);
    m_RemoteSorelProgs = m_LocalSorelProgs = std::string(kDefaultSorelProgs);
    m_RemoteHost = std::string(kDefaultRemoteHost);
    m_RemoteEnviro.clear();
    m_RunProgram.clear();
    m_AuthSorelPassword.clear();
    m_AuthOsUser.clear();
    m_BackgroundColor = "ffffff";
    m_FontSize = 9;
    m_RemotePort = 8002;
    m_RemotePrinter = m_LocalPrinter = m_RemoteTerm = m_LocalTerm = 1;
    m_AuthSorelUser = 0;
    m_WanMode = 0;
    m_StatusBar = m_Simple = m_PostCloseOnSorelExit = false;
}

std::optional<PropertyValue> QuilletProperties::Get(std::string_view name) const {
    if (SameName(name, "IsChainable")) {
        return PropertyValue{m_chainable != 0};
    }
    const Binding* binding = FindBinding(name);
    if (binding == nullptr) {
        return std::nullopt;
    }
    return std::visit([&](auto member) { return PropertyValue{this->*member}; }, binding->member);
}

bool QuilletProperties::Set(std::string_view name, const PropertyValue& value) {
    if (SameName(name, "IsChainable")) {
        if (!std::holds_alternative<bool>(value)) {
            return false;
        }
        m_modified = true;
        return true;
    }
    const Binding* binding = FindBinding(name);
    if (binding == nullptr) {
        return false;
    }
    const bool stored = std::visit(
        [&](auto member) {
            using T = std::remove_reference_t<decltype(this->*member)>;
            std::optional<T> converted = Convert<T>(value);
            if (!converted) {
                return false;
            }
            this->*member = std::move(*converted);
            return true;
        },
        binding->member);
    if (stored && binding->notifies) {
        m_modified = true;
    }
    return stored;
}

void ApplyFontChange(QuilletProperties& properties) {
    const auto readDword = [](std::string_view name) -> std::optional<uint32_t> {
        uint32_t value = 0;
        platform::RegType type = platform::RegType::Dword;
        uint32_t size = sizeof value;
        if (suite::RegReadValue(platform::HKey::CurrentUser, suite::kCompanyKey, name, type, &value, size) !=
                0 ||
            size != sizeof value) {
            return std::nullopt;
        }
        return value;
    };
    const std::optional<uint32_t> changed = readDword("fontChanged");
    if (!changed || *changed == 0) {
        return;
    }
    std::array<char, 64> face{};
    platform::RegType type = platform::RegType::Sz;
    uint32_t size = face.size();
    if (suite::RegReadValue(platform::HKey::CurrentUser, suite::kCompanyKey, "FontFaceName", type,
                            face.data(), size) != 0) {
        properties.m_FontName = std::string(suite::kDefaultFontFace);
        return;
    }
    properties.m_FontName.assign(face.data(), ::strnlen(face.data(), face.size()));
    const std::optional<uint32_t> tenths = readDword("FontSize");
    properties.m_FontSize =
        tenths ? static_cast<int16_t>(std::min<uint32_t>(*tenths / 10, INT16_MAX)) : int16_t{9};
}

uint32_t BackgroundColorValue(std::string_view text) {
    if (text.size() != 6) {
        return 0;
    }
    const std::string reordered{text[4], text[5], text[2], text[3], text[0], text[1]};
    // Read as the C library reads a hexadecimal number: up to the first character that is no digit.
    uint32_t value = 0;
    for (char c : reordered) {
        const int digit = platform::HexDigitValue(c);
        if (digit < 0) {
            break;
        }
        value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
}

ScreenMargins MarginsFor(bool border, bool toolbars) {
    return {border ? 6 : 0, toolbars ? 35 : (border ? 6 : 0)};
}

int32_t LoadRegistry(QuilletProperties& properties) {
    bool local = properties.IsLocal();
    if (!local && !properties.IsRemote()) {
        platform::DefaultPrompt().Message("Invalid Connector Specified", platform::PromptIcon::Stop);
    }
    // The readers follow the client mode: the branch must be chosen before the first read.
    suite::SetClientMode(local ? suite::ClientMode::Local : suite::ClientMode::Remote);
    suite::CTarnRegistry registry;
    registry.m_localMode = local ? 1 : 0;
    if (registry.Load() != 0) {
        return 1;
    }
    if (local) {
        // The local branch holds no network settings: those properties keep what they had.
        properties.m_LocalDataSet = registry.m_localDataSet;
        properties.m_LocalSorelProgs = registry.m_localProgramDir;
        properties.m_LocalTerm = properties.m_RemoteTerm = ClampToInt16(registry.m_localTerm);
        properties.m_LocalPrinter = properties.m_RemotePrinter = ClampToInt16(registry.m_localPrinter);
        return 0;
    }
    properties.m_RemoteHost = registry.m_host;
    properties.m_RemoteEnviro = registry.m_enviro;
    properties.m_RemoteDataSet = registry.m_remoteDataSet;
    properties.m_RemoteSorelProgs = registry.m_remoteProgramDir;
    // A 16-bit property carries the port's bits, as the dispatch interface's I2 always has.
    properties.m_RemotePort = static_cast<int16_t>(static_cast<uint16_t>(registry.m_port));
    properties.m_RemoteTerm = ClampToInt16(registry.m_remoteTerm);
    properties.m_RemotePrinter = ClampToInt16(registry.m_remotePrinter);
    return 0;
}

}  // namespace terminal
