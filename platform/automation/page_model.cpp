// A page's values and their exchange with the objects it edits.
#include "platform/automation/page_model.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace platform::automation {

namespace {

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

bool PageModel::IsLocalBinding() const {
    if (m_definition->switchProperty.empty()) {
        return false;
    }
    const auto it = m_values.find(std::string_view(m_definition->switchProperty));
    return it != m_values.end() && it->second.Type() == VarType::Bstr &&
           it->second.AsBstr() == m_definition->switchLocalValue;
}

const std::string& PageModel::BoundProperty(const PageField& field) const {
    return !field.localProperty.empty() && IsLocalBinding() ? field.localProperty : field.property;
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
            ok = Succeeded(Write(*object, *field, property)) && ok;
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
    DISPID id = DISPID_UNKNOWN;
    Variant raw;
    if (Failed(object.GetIDOfName(property, id)) ||
        Failed(object.Invoke(id, InvokeKind::PropertyGet, {}, &raw, nullptr))) {
        return {};
    }
    Variant value;
    if (IsTextKind(field.kind)) {
        return Succeeded(ChangeType(raw, VarType::Bstr, value)) ? value : Variant();
    }
    if (field.kind == FieldKind::Check) {
        return Succeeded(ChangeType(raw, VarType::Bool, value)) ? value : Variant();
    }
    switch (field.number) {
        case NumberKind::Int16:
            if (Succeeded(ChangeType(raw, VarType::I2, value))) {
                return Variant::I4(value.AsI2());
            }
            break;
        case NumberKind::Port:
            // A port above 32767 arrives as a negative I2.
            if (Succeeded(ChangeType(raw, VarType::I2, value))) {
                return Variant::I4(static_cast<uint16_t>(value.AsI2()));
            }
            break;
        case NumberKind::Int32:
            if (Succeeded(ChangeType(raw, VarType::I4, value))) {
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
    DISPID id = DISPID_UNKNOWN;
    if (const HRESULT hr = object.GetIDOfName(property, id); Failed(hr)) {
        return hr;
    }
    const Variant args[] = {put};
    return object.Invoke(id, InvokeKind::PropertyPut, args, nullptr, nullptr);
}

}  // namespace platform::automation
