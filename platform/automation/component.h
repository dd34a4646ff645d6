// The contract between a host and an in-process component library: the class factory interface and the C
// entries the library exports (DllGetClassObject, DllRegisterServer, DllUnregisterServer). Host and
// component share C++ types across the boundary, so a component must be built with the suite's toolchain;
// link it with -Wl,--exclude-libs,ALL so its own copies of the static libraries stay private.
#pragma once

#include <functional>
#include <memory>

#include "platform/automation/dispatch.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"

namespace platform::automation {

class IClassFactory {
  public:
    virtual ~IClassFactory() = default;
    // A new object; on success `out` is never null.
    virtual HRESULT CreateInstance(std::shared_ptr<IDispatch>& out) = 0;
};

// A factory over a maker function. A maker that throws fails the creation: std::bad_alloc with
// E_OUTOFMEMORY, DispatchError with its code, anything else with E_FAIL; a null object is E_FAIL too.
class ClassFactory : public IClassFactory {
  public:
    explicit ClassFactory(std::function<std::shared_ptr<IDispatch>()> maker) : m_maker(std::move(maker)) {}
    HRESULT CreateInstance(std::shared_ptr<IDispatch>& out) override;

  private:
    std::function<std::shared_ptr<IDispatch>()> m_maker;
};

inline constexpr const char* kDllGetClassObject = "DllGetClassObject";
inline constexpr const char* kDllRegisterServer = "DllRegisterServer";
inline constexpr const char* kDllUnregisterServer = "DllUnregisterServer";

using DllGetClassObjectFn = HRESULT (*)(const Guid& clsid, std::shared_ptr<IClassFactory>& factory);
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

}  // namespace platform::automation

// What a component library defines. DllGetClassObject answers CLASS_E_CLASSNOTAVAILABLE for a class it
// does not hold; the registration entries use RegisterServer/UnregisterServer (class_registry.h).
#define CARROWLINE_COMPONENT_EXPORT extern "C" __attribute__((visibility("default")))
CARROWLINE_COMPONENT_EXPORT platform::automation::HRESULT DllGetClassObject(
    const platform::automation::Guid& clsid, std::shared_ptr<platform::automation::IClassFactory>& factory);
CARROWLINE_COMPONENT_EXPORT platform::automation::HRESULT DllRegisterServer();
CARROWLINE_COMPONENT_EXPORT platform::automation::HRESULT DllUnregisterServer();
