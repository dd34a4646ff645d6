// The safety interface a scripting host asks a control for before it drives it: which of the control's
// interfaces are safe for an untrusted caller (scripting) and for untrusted data (initialising from a
// store), and the host's request to have those options on. Also the ids of the persistence interfaces the
// answers name.
#pragma once

#include <cstdint>

#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"

namespace platform::automation {

inline constexpr Guid IID_IObjectSafety = Guid::FromLiteral("{CB5BDC81-93C1-11CF-8F20-00805F2CD064}");
inline constexpr Guid IID_IPersistPropertyBag = Guid::FromLiteral("{37D84F60-42CB-11CE-8135-00AA004BB851}");
inline constexpr Guid IID_IPersistStreamInit = Guid::FromLiteral("{7FD52380-4E07-101B-AE2D-08002B2EC713}");
inline constexpr Guid IID_IPersistStorage = Guid::FromLiteral("{0000010A-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IPersistMemory = Guid::FromLiteral("{BD1AE5E0-A6AE-11CE-BD37-504200C10000}");

inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 0x1;
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 0x2;

class IObjectSafety {
  public:
    virtual ~IObjectSafety() = default;
    // E_POINTER when either out-pointer is null; E_NOINTERFACE for an interface the object does not answer
    // or makes no safety claim for.
    virtual HRESULT GetInterfaceSafetyOptions(const Guid& iid, uint32_t* supported, uint32_t* enabled) = 0;
    // Only the bits in `mask` are asked about; `enabled` says which of them the host wants on.
    virtual HRESULT SetInterfaceSafetyOptions(const Guid& iid, uint32_t mask, uint32_t enabled) = 0;
};

}  // namespace platform::automation
