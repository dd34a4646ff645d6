// A stand-in terminal control: all 71 members the container binds (or fewer), typed as the control types
// them, every call recorded, events fired through its connection point, and optionally a widget.
#include <QWidget>
#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

#include "container/quillet_contract.h"
#include "container/tests/fake_quillet.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/component.h"
#include "platform/automation/dispatch_object.h"

namespace {

using namespace platform::automation;
using container::testing::FakeCall;
using container::testing::FakeQuilletState;

FakeQuilletState& State() {
    static FakeQuilletState state;
    return state;
}

bool Listed(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string OddCase(std::string_view name) {
    std::string out(name);
    for (size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (i % 2 == 0 && c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 32);
        } else if (i % 2 == 1 && c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        }
    }
    return out;
}

struct MemberSpec {
    std::string_view name;
    DISPID dispid;
    bool property;
    VarType type;  // property type, or the method's result
    std::vector<ParamSpec> params;
};

std::vector<MemberSpec> Members() {
    const ParamSpec text{VarType::Bstr};
    const ParamSpec i2{VarType::I2};
    const ParamSpec i4{VarType::I4};
    const ParamSpec login{VarType::Pointer, false, std::nullopt, std::string(container::kLoginDataTag)};
    const ParamSpec printer{VarType::Pointer, false, std::nullopt, std::string(container::kPrintTargetTag)};
    return {
        {"FontName", 1, true, VarType::Bstr, {}},
        {"FontSize", 2, true, VarType::I2, {}},
        {"RemoteDataSet", 3, true, VarType::Bstr, {}},
        {"RemoteSorelProgs", 4, true, VarType::Bstr, {}},
        {"RemoteHost", 5, true, VarType::Bstr, {}},
        {"RemoteEnviro", 6, true, VarType::Bstr, {}},
        {"RemotePort", 7, true, VarType::I2, {}},
        {"RemotePrinter", 8, true, VarType::I2, {}},
        {"RemoteTerm", 9, true, VarType::I2, {}},
        {"Connector", 10, true, VarType::Bstr, {}},
        {"Border", 11, true, VarType::Bool, {}},
        {"RunProgram", 12, true, VarType::Bstr, {}},
        {"AuthSorelUser", 13, true, VarType::I4, {}},
        {"AuthSorelPassword", 14, true, VarType::Bstr, {}},
        {"AuthOsUser", 15, true, VarType::Bstr, {}},
        {"AuthOsPassword", 16, true, VarType::Bstr, {}},
        {"BackgroundColor", 17, true, VarType::Bstr, {}},
        {"IsChainable", 28, true, VarType::Bool, {}},
        {"StatusBar", 18, true, VarType::Bool, {}},
        {"LocalTerm", 19, true, VarType::I2, {}},
        {"LocalPrinter", 20, true, VarType::I2, {}},
        {"LocalDataSet", 21, true, VarType::Bstr, {}},
        {"LocalSorelProgs", 22, true, VarType::Bstr, {}},
        {"Simple", 23, true, VarType::Bool, {}},
        {"PostCloseOnSorelExit", 24, true, VarType::Bool, {}},
        {"WanMode", 25, true, VarType::I2, {}},
        {"BillServID", 26, true, VarType::I4, {}},
        {"HostIsTrans", 27, true, VarType::Bool, {}},
        {"PracticeName", 1000, true, VarType::Bstr, {}},
        {"Toolbars", 1001, true, VarType::Bool, {}},
        {"InVarnel", 1002, true, VarType::Bool, {}},
        {"IsContainerRunning", 1003, true, VarType::Bool, {}},
        {"Send", 29, false, VarType::Empty, {text}},
        {"ShutDownSorel", 30, false, VarType::Empty, {}},
        {"AutoLogin", 31, false, VarType::Bool, {i4, i4}},
        {"SendSorelMessage", 32, false, VarType::Empty, {text}},
        {"Connect", 33, false, VarType::Bool, {}},
        {"ReConnect", 34, false, VarType::Bool, {}},
        {"AuthUpdate", 35, false, VarType::Empty, {}},
        {"LoadRegistry", 36, false, VarType::Bool, {}},
        {"AuthDialog", 37, false, VarType::Bool, {}},
        {"Probe", 38, false, VarType::I4, {}},
        {"VBASetFocus", 39, false, VarType::Empty, {}},
        {"WebAddWndLink", 40, false, VarType::I4, {text}},
        {"WebRemoveWndLink", 41, false, VarType::Empty, {text}},
        {"WebSetWindowTitle", 42, false, VarType::Empty, {}},
        {"WebSetPersist", 43, false, VarType::Bool, {text}},
        {"WebClearPersist", 44, false, VarType::Bool, {text}},
        {"NewWindow", 45, false, VarType::Empty, {}},
        {"ShowCalc", 46, false, VarType::Empty, {}},
        {"Activate", 1004, false, VarType::Empty, {}},
        {"Login", 1005, false, VarType::I4, {i2, login}},
        {"Print", 1006, false, VarType::Empty, {printer}},
        {"PopupMenuItem", 1008, false, VarType::Empty, {i2}},
        {"BootSorel", 47, false, VarType::Empty, {}},
        {"SendProcess", 48, false, VarType::Empty, {}},
        {"ManualProbe", 49, false, VarType::I4, {}},
        {"SendToolbarCommand", 1010, false, VarType::Empty, {text}},
        {"ForceNewWindow", 1011, false, VarType::Empty, {i2}},
        {"GetScreenBuffer", 1012, false, VarType::Bstr, {}},
        {"NewWindowChainCommand", 1017, true, VarType::Bstr, {}},
        {"EditCopy", 1013, false, VarType::Empty, {}},
        {"EditPaste", 1014, false, VarType::Empty, {}},
        {"SetFontControl", 1015, false, VarType::Empty, {}},
        {"EditCustomMenu", 1016, false, VarType::Empty, {}},
        {"ResizeRequest", 1018, false, VarType::Bool, {i4, i4}},
        {"ResizeRequestSuccess", 1019, false, VarType::Bool, {}},
        {"MinimumWindowSize", 1020, false, VarType::Bool, {i4, i4}},
        {"MinWindowWidth", 1021, true, VarType::I4, {}},
        {"MinWindowHeight", 1022, true, VarType::I4, {}},
        {"DirectChainMode", 1023, true, VarType::Bool, {}},
    };
}

class FakeQuillet : public DispatchObject {
  public:
    FakeQuillet() : DispatchObject({}, {container::kQuilletDispatchIid}) {
        FakeQuilletState& state = State();
        ++state.created;
        ++state.alive;
        AddConnectionPoint(container::kQuilletEventsIid);
        for (const MemberSpec& spec : Members()) {
            if (Listed(state.omitted, spec.name)) {
                continue;
            }
            const std::string name(spec.name);
            const std::string spelled = state.oddCase ? OddCase(spec.name) : name;
            m_names[spec.dispid] = name;
            if (spec.property) {
                Table().Property(
                    spelled, spec.dispid, spec.type,
                    [this, name, type = spec.type] {
                        Record(name, InvokeKind::PropertyGet, {});
                        return Get(name, type);
                    },
                    [this, name](const Variant& value) {
                        const Variant args[] = {value};
                        Record(name, InvokeKind::PropertyPut, args);
                        m_values[name] = value;
                    });
            } else {
                Table().Method(spelled, spec.dispid, spec.params, spec.type,
                               [this, name](std::span<const Variant> args) { return Call(name, args); });
            }
        }
        Table().Method("AboutBox", DISPID_ABOUTBOX, {}, VarType::Empty,
                       [this](std::span<const Variant> args) { return Call("AboutBox", args); });
        state.fire = [this](DISPID dispid, std::span<const Variant> args) {
            return FireEvent(container::kQuilletEventsIid, dispid, args);
        };
        if (state.withWidget) {
            m_widget = std::make_unique<QWidget>();
        }
    }

    ~FakeQuillet() override {
        FakeQuilletState& state = State();
        m_widget.reset();
        state.fire = nullptr;
        --state.alive;
        if (state.onDestroyed) {
            state.onDestroyed();
        }
    }

    HRESULT QueryInterface(const Guid& iid, std::shared_ptr<void>& out) override {
        if (iid == container::kQuilletWidgetIid && m_widget) {
            out = std::shared_ptr<void>(shared_from_this(), m_widget.get());
            return S_OK;
        }
        return DispatchObject::QueryInterface(iid, out);
    }

    HRESULT GetIDsOfNames(std::span<const std::string_view> names, std::span<DISPID> ids) override {
        for (std::string_view name : names) {
            State().lookups.emplace_back(name);
        }
        return DispatchObject::GetIDsOfNames(names, ids);
    }

    HRESULT Invoke(DISPID dispid, InvokeKind kind, std::span<const Variant> args, Variant* result,
                   InvokeError* error) override {
        auto it = m_names.find(dispid);
        if (it != m_names.end() && Listed(State().raising, it->second)) {
            throw std::runtime_error("the control broke in " + it->second);
        }
        return DispatchObject::Invoke(dispid, kind, args, result, error);
    }

  private:
    void Record(const std::string& name, InvokeKind kind, std::span<const Variant> args) {
        FakeCall call;
        call.member = name;
        call.kind = kind;
        call.args.assign(args.begin(), args.end());
        State().calls.push_back(std::move(call));
        if (Listed(State().failing, name)) {
            throw std::runtime_error(name + " failed");
        }
    }

    Variant Get(const std::string& name, VarType type) {
        const FakeQuilletState& state = State();
        if (name == "IsChainable") {
            return Variant::Bool(state.chainable);
        }
        if (name == "Simple") {
            return Variant::Bool(state.simple);
        }
        if (name == "DirectChainMode") {
            return Variant::Bool(state.directChainMode);
        }
        if (name == "MinWindowWidth") {
            return Variant::I4(state.minWindowWidth);
        }
        if (name == "MinWindowHeight") {
            return Variant::I4(state.minWindowHeight);
        }
        auto it = m_values.find(name);
        if (it != m_values.end()) {
            return it->second;
        }
        Variant empty;
        Variant out;
        ChangeType(empty, type, out);
        return out;
    }

    Variant Call(const std::string& name, std::span<const Variant> args) {
        Record(name, InvokeKind::Method, args);
        FakeQuilletState& state = State();
        if (name == "Login") {
            const auto* text = args[1].AsPointer<std::string>(container::kLoginDataTag);
            state.loginText = text ? *text : std::string("<null>");
            if (state.onLogin) {
                state.onLogin();
            }
            return Variant::I4(state.loginResult);
        }
        if (name == "AutoLogin") {
            if (state.onLogin) {
                state.onLogin();
            }
            return Variant::Bool(state.autoLoginResult);
        }
        if (name == "MinimumWindowSize") {
            return Variant::Bool(state.minimumAccepted);
        }
        if (name == "ResizeRequest") {
            return Variant::Bool(true);
        }
        return Variant();
    }

    std::map<DISPID, std::string> m_names;
    std::map<std::string, Variant> m_values;
    std::unique_ptr<QWidget> m_widget;
};

}  // namespace

CARROWLINE_COMPONENT_EXPORT FakeQuilletState* FakeQuilletGetState() {
    return &State();
}

HRESULT DllGetClassObject(const Guid& clsid, std::shared_ptr<IClassFactory>& factory) {
    if (clsid == container::kQuilletClsid) {
        factory = std::make_shared<ClassFactory>([] { return std::make_shared<FakeQuillet>(); });
        return S_OK;
    }
    factory.reset();
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT DllRegisterServer() {
    return S_OK;
}

HRESULT DllUnregisterServer() {
    return S_OK;
}
