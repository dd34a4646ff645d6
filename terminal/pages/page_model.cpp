// The page tables of the control's property pages and the exchange of their values with the objects.
#include "terminal/pages/page_model.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

#include "suite/registry_settings.h"
#include "terminal/control/quillet_properties.h"

namespace terminal::pages {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::VarType;

namespace {

Variant Text(std::string_view text) {
    return Variant::Bstr(std::string(text));
}

PageField Make(int32_t id, std::string label, FieldKind kind, std::string property, std::string localProperty,
               Variant initial, NumberKind number = NumberKind::Int16,
               std::vector<std::string> choices = {}) {
    PageField field;
    field.id = id;
    field.label = std::move(label);
    field.kind = kind;
    field.property = std::move(property);
    field.localProperty = std::move(localProperty);
    field.initial = std::move(initial);
    field.number = number;
    field.choices = std::move(choices);
    return field;
}

// A page whose class goes by the progId Quillet.<className>.
PageDefinition MakePage(std::string className, const Guid& clsid, std::string caption,
                        std::string registrationName, int32_t dialogId, std::vector<PageField> fields) {
    PageDefinition page;
    page.progId = "Quillet." + className;
    page.className = std::move(className);
    page.clsid = clsid;
    page.caption = std::move(caption);
    page.registrationName = std::move(registrationName);
    page.dialogId = dialogId;
    page.fields = std::move(fields);
    return page;
}

PageDefinition MakeConnectPage() {
    std::vector<PageField> fields = {
        Make(202, "SorelProgs", FieldKind::Text, "RemoteSorelProgs", "LocalSorelProgs",
             Text(kDefaultSorelProgs)),
        Make(205, "SorelData", FieldKind::Text, "RemoteDataSet", "LocalDataSet", Text(kDefaultDataSet)),
        Make(204, "Host", FieldKind::Text, "RemoteHost", "", Text(kDefaultRemoteHost)),
        Make(207, "Port", FieldKind::Number, "RemotePort", "", Variant::I4(8002), NumberKind::Port),
        Make(208, "Env", FieldKind::Text, "RemoteEnviro", "", Text("")),
        Make(215, "Term", FieldKind::Number, "RemoteTerm", "LocalTerm", Variant::I4(1)),
        // The printer shows the connection's own printer: a remote connector's edits must not go nowhere.
        Make(216, "Printer", FieldKind::Number, "RemotePrinter", "LocalPrinter", Variant::I4(1)),
        Make(201, "Connector", FieldKind::Choice, "Connector", "", Text(kRemoteConnector), NumberKind::Int16,
             {std::string(kLocalConnector), std::string(kRemoteConnector)}),
    };
    return MakePage("CPPConnect", kConnectPageClsid, "Connect", "Connect Property Page", 105,
                    std::move(fields));
}

PageDefinition MakeDisplayPage() {
    std::vector<PageField> fields = {
        Make(212, "FontName", FieldKind::Text, "FontName", "", Text(suite::kDefaultFontFace)),
        Make(214, "FontSize", FieldKind::Number, "FontSize", "", Variant::I4(9)),
        Make(215, "Background Color", FieldKind::Text, "BackgroundColor", "", Text("")),
        Make(217, "Border Frame", FieldKind::Check, "Border", "", Variant::Bool(true)),
        Make(213, "Status Bar", FieldKind::Check, "StatusBar", "", Variant::Bool(false)),
        Make(216, "Simple", FieldKind::Check, "Simple", "", Variant::Bool(false)),
        Make(218, "Post Close On Sorel Exit", FieldKind::Check, "PostCloseOnSorelExit", "",
             Variant::Bool(false)),
    };
    return MakePage("CPPDisplay", kDisplayPageClsid, "Display", "Display", 212, std::move(fields));
}

PageDefinition MakeLoginPage() {
    std::vector<PageField> fields = {
        Make(207, "Sorel User Number", FieldKind::Number, "AuthSorelUser", "", Variant::I4(0),
             NumberKind::Int32),
        Make(208, "Sorel Password", FieldKind::Secret, "AuthSorelPassword", "", Text("")),
        Make(209, "OS User Name", FieldKind::Text, "AuthOsUser", "", Text("")),
        Make(210, "OS User Password", FieldKind::Secret, "AuthOsPassword", "", Text("")),
        Make(217, "Run Command", FieldKind::Text, "RunProgram", "", Text("")),
    };
    return MakePage("CPPLogin", kLoginPageClsid, "Login", "Login Property Page", 211, std::move(fields));
}

bool IsTextKind(FieldKind kind) {
    return kind == FieldKind::Text || kind == FieldKind::Secret || kind == FieldKind::Choice;
}

}  // namespace

const PageField* PageDefinition::Field(int32_t id) const {
    for (const PageField& field : fields) {
        if (field.id == id) {
            return &field;
        }
    }
    return nullptr;
}

const PageDefinition& ConnectPage() {
    static const PageDefinition page = MakeConnectPage();
    return page;
}

const PageDefinition& DisplayPage() {
    static const PageDefinition page = MakeDisplayPage();
    return page;
}

const PageDefinition& LoginPage() {
    static const PageDefinition page = MakeLoginPage();
    return page;
}

std::span<const PageDefinition* const> ControlPages() {
    static const std::array<const PageDefinition*, 3> pages = {&ConnectPage(), &DisplayPage(), &LoginPage()};
    return pages;
}

const PageDefinition* FindPage(const Guid& clsid) {
    for (const PageDefinition* page : ControlPages()) {
        if (page->clsid == clsid) {
            return page;
        }
    }
    return nullptr;
}

int64_t NumberMinimum(NumberKind kind) {
    switch (kind) {
        case NumberKind::Int16:
            return std::numeric_limits<int16_t>::min();
        case NumberKind::Port:
            return 0;
        case NumberKind::Int32:
            break;
    }
    return std::numeric_limits<int32_t>::min();
}

int64_t NumberMaximum(NumberKind kind) {
    switch (kind) {
        case NumberKind::Int16:
            return std::numeric_limits<int16_t>::max();
        case NumberKind::Port:
            return std::numeric_limits<uint16_t>::max();
        case NumberKind::Int32:
            break;
    }
    return std::numeric_limits<int32_t>::max();
}

PageModel::PageModel(const PageDefinition& definition) : m_definition(&definition) {
    for (const PageField& field : definition.fields) {
        m_values[field.property] = field.initial;
        if (!field.localProperty.empty()) {
            m_values[field.localProperty] = field.initial;
        }
    }
}

void PageModel::SetObjects(std::vector<std::shared_ptr<IDispatch>> objects) {
    std::erase(objects, nullptr);
    m_objects = std::move(objects);
}

void PageModel::Load() {
    for (const auto& object : m_objects) {
        for (const PageField& field : m_definition->fields) {
            for (const std::string* property : {&field.property, &field.localProperty}) {
                if (property->empty()) {
                    continue;
                }
                if (Variant value = Read(*object, field, *property); !value.IsEmpty()) {
                    m_values[*property] = std::move(value);
                }
            }
        }
    }
    m_changed.clear();
}

bool PageModel::IsLocalConnector() const {
    const auto it = m_values.find(std::string_view("Connector"));
    return it != m_values.end() && it->second.Type() == VarType::Bstr &&
           it->second.AsBstr() == kLocalConnector;
}

const std::string& PageModel::BoundProperty(const PageField& field) const {
    return !field.localProperty.empty() && IsLocalConnector() ? field.localProperty : field.property;
}

const Variant& PageModel::Value(const PageField& field) const {
    return PropertyValue(BoundProperty(field));
}

const Variant& PageModel::PropertyValue(std::string_view property) const {
    static const Variant none;
    const auto it = m_values.find(property);
    return it != m_values.end() ? it->second : none;
}

bool PageModel::SetValue(const PageField& field, const Variant& value) {
    Variant stored;
    if (IsTextKind(field.kind)) {
        if (value.Type() != VarType::Bstr) {
            return false;
        }
        stored = value;
    } else if (field.kind == FieldKind::Check) {
        if (value.Type() != VarType::Bool) {
            return false;
        }
        stored = value;
    } else {
        if (value.Type() != VarType::I4 && value.Type() != VarType::I2) {
            return false;
        }
        const int64_t number = value.AsI4();
        if (number < NumberMinimum(field.number) || number > NumberMaximum(field.number)) {
            return false;
        }
        stored = Variant::I4(static_cast<int32_t>(number));
    }
    const std::string& property = BoundProperty(field);
    Variant& current = m_values[property];
    if (current == stored) {
        return true;
    }
    current = std::move(stored);
    if (!IsChanged(property)) {
        m_changed.push_back(property);
    }
    return true;
}

bool PageModel::IsChanged(std::string_view property) const {
    return std::find(m_changed.begin(), m_changed.end(), property) != m_changed.end();
}

const PageField* PageModel::FieldOf(std::string_view property) const {
    for (const PageField& field : m_definition->fields) {
        if (field.property == property || field.localProperty == property) {
            return &field;
        }
    }
    return nullptr;
}

std::vector<std::string> PageModel::Apply() {
    std::vector<std::string> order;
    for (const PageField& field : m_definition->fields) {
        for (const std::string* property : {&field.property, &field.localProperty}) {
            if (!property->empty() && IsChanged(*property)) {
                order.push_back(*property);
            }
        }
    }
    std::vector<std::string> refused;
    for (const std::string& property : order) {
        const PageField* field = FieldOf(property);
        bool ok = true;
        for (const auto& object : m_objects) {
            ok = automation::Succeeded(Write(*object, *field, property)) && ok;
        }
        if (ok) {
            std::erase(m_changed, property);
        } else {
            refused.push_back(property);
        }
    }
    return refused;
}

Variant PageModel::Read(IDispatch& object, const PageField& field, const std::string& property) const {
    automation::DISPID id = automation::DISPID_UNKNOWN;
    Variant raw;
    if (automation::Failed(object.GetIDOfName(property, id)) ||
        automation::Failed(object.Invoke(id, InvokeKind::PropertyGet, {}, &raw, nullptr))) {
        return {};
    }
    Variant value;
    if (IsTextKind(field.kind)) {
        return automation::Succeeded(automation::ChangeType(raw, VarType::Bstr, value)) ? value : Variant();
    }
    if (field.kind == FieldKind::Check) {
        return automation::Succeeded(automation::ChangeType(raw, VarType::Bool, value)) ? value : Variant();
    }
    switch (field.number) {
        case NumberKind::Int16:
            if (automation::Succeeded(automation::ChangeType(raw, VarType::I2, value))) {
                return Variant::I4(value.AsI2());
            }
            break;
        case NumberKind::Port:
            // A port above 32767 arrives as a negative I2.
            if (automation::Succeeded(automation::ChangeType(raw, VarType::I2, value))) {
                return Variant::I4(static_cast<uint16_t>(value.AsI2()));
            }
            break;
        case NumberKind::Int32:
            if (automation::Succeeded(automation::ChangeType(raw, VarType::I4, value))) {
                return value;
            }
            break;
    }
    return {};
}

HRESULT PageModel::Write(IDispatch& object, const PageField& field, const std::string& property) const {
    const Variant& value = PropertyValue(property);
    Variant put = value;
    if (field.kind == FieldKind::Number && field.number != NumberKind::Int32) {
        put = Variant::I2(static_cast<int16_t>(static_cast<uint16_t>(value.AsI4())));
    }
    automation::DISPID id = automation::DISPID_UNKNOWN;
    if (const HRESULT hr = object.GetIDOfName(property, id); automation::Failed(hr)) {
        return hr;
    }
    const Variant args[] = {put};
    return object.Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr);
}

}  // namespace terminal::pages
