// A component library for the automation tests: two classes behind DllGetClassObject, registered through
// DllRegisterServer. The counter has properties, methods with optional and by-reference arguments, a
// failing method and an event interface.
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/automation/class_registry.h"
#include "platform/automation/component.h"
#include "platform/automation/dispatch_object.h"

namespace {

using namespace platform::automation;

constexpr Guid kCounterClsid = Guid::FromLiteral("{5B0E4C21-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
constexpr Guid kCounterIid = Guid::FromLiteral("{5B0E4C22-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
constexpr Guid kCounterEventsIid = Guid::FromLiteral("{5B0E4C23-7A6D-4F0B-9E3A-1C2D3E4F5A61}");
constexpr Guid kPageClsid = Guid::FromLiteral("{5B0E4C24-7A6D-4F0B-9E3A-1C2D3E4F5A61}");

class Counter : public DispatchObject {
  public:
    Counter() : DispatchObject({}, {kCounterIid}) {
        AddConnectionPoint(kCounterEventsIid);
        Table()
            .Property(
                "Count", 1, VarType::I4, [this] { return Variant::I4(m_count); },
                [this](const Variant& v) { m_count = v.AsI4(); })
            .Property(
                "Label", 2, VarType::Bstr, [this] { return Variant::Bstr(m_label); },
                [this](const Variant& v) { m_label = v.AsBstr(); })
            .Method("Add", 3, {{VarType::I2}, {VarType::I2, true, Variant::I2(1)}}, VarType::I4,
                    [this](std::span<const Variant> args) {
                        m_count += args[0].AsI2() * args[1].AsI2();
                        return Variant::I4(m_count);
                    })
            .Method(
                "Fail", 4, {}, VarType::Empty,
                [](std::span<const Variant>) -> Variant { throw std::runtime_error("the counter failed"); })
            .Method("Ping", 5, {{VarType::Bstr}}, VarType::I4,
                    [this](std::span<const Variant> args) {
                        const Variant event[] = {args[0]};
                        return Variant::I4(static_cast<int32_t>(FireEvent(kCounterEventsIid, 1, event)));
                    })
            .Method("Double", 6, {{ByRef(VarType::I2)}}, VarType::Empty, [](std::span<const Variant> args) {
                int16_t* value = args[0].AsRefI2();
                *value = static_cast<int16_t>(*value * 2);
                return Variant();
            });
    }

  private:
    int32_t m_count = 0;
    std::string m_label = "counter";
};

class Page : public DispatchObject {
  public:
    Page() {
        Table().Property(
            "Title", 1, VarType::Bstr, [] { return Variant::Bstr("Test Page"); }, nullptr);
    }
};

const ClassRegistration kClasses[] = {
    {kCounterClsid,
     "AutomationTest.Counter.1",
     "Automation Test Counter",
     "",
     "Apartment",
     {{"Control", ""}, {"MiscStatus\\1", "131473"}, {"Version", "1.0"}}},
    {kPageClsid, "AutomationTest.Page", "Automation Test Page", "", "Apartment", {}},
};

}  // namespace

HRESULT DllGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory) {
    if (clsid == kCounterClsid) {
        factory = std::make_shared<ClassFactory>([] { return std::make_shared<Counter>(); });
        return S_OK;
    }
    if (clsid == kPageClsid) {
        factory = std::make_shared<ClassFactory>([] { return std::make_shared<Page>(); });
        return S_OK;
    }
    factory.reset();
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT DllRegisterServer() {
    return RegisterServer(kClasses, reinterpret_cast<const void*>(&DllRegisterServer));
}

HRESULT DllUnregisterServer() {
    return UnregisterServer(kClasses);
}
