// A page's values and their exchange with the objects it edits.
#include "platform/automation/page_model.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/automation/property_browsing.h"

namespace platform::automation {

namespace {

bool IsTextKind(FieldKind kind) {
    return kind == FieldKind::Text || kind == FieldKind::Secret || kind == FieldKind::Choice;
}

bool IsIntegerKind(FieldKind kind) {
    return kind == FieldKind::Number || kind == FieldKind::List || kind == FieldKind::Bits;
}

uint32_t BitsMask(const PageField& field) {
    uint32_t mask = 0;
    for (const PageBit& bit : field.bits) {
        mask |= bit.mask;
    }
    return mask;
}

// The page's copy of a font property's object: its face, size to the tenth of a point and style. An object
// that is no font, or none at all, loads as Arial 10 points.
std::shared_ptr<CStockFont> ReadFont(const Variant& raw) {
    Variant held;
    if (Failed(raw.Dereference(held)) || held.Type() != VarType::Dispatch || !held.AsDispatch()) {
        return DefaultPageFont();
    }
    IDispatch& object = *held.AsDispatch();
    std::shared_ptr<void> font;
    const auto name = GetPropertyAs(object, "Name", VarType::Bstr);
    const auto size = GetPropertyAs(object, "Size", VarType::I4);
    if (Failed(object.QueryInterface(IID_IFont, font)) || !font || !name || !size) {
        return DefaultPageFont();
    }
    FontDescription description;
    description.name = name->AsBstr();
    const auto flag = [&object](std::string_view member) {
        const auto value = GetPropertyAs(object, member, VarType::Bool);
        return value && value->AsBool();
    };
    description.weight = flag("Bold") ? 700 : 400;
    description.italic = flag("Italic");
    description.underline = flag("Underline");
    description.strikethrough = flag("Strikethrough");
    return MakePageFont(description, size->AsI4() / 1000);
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

std::shared_ptr<CStockFont> MakePageFont(const FontDescription& description, int32_t tenths) {
    auto font = std::make_shared<CStockFont>(description, nullptr, FontSizeUnit::Currency);
    font->SetSizeCurrency(static_cast<int64_t>(tenths) * 1000);
    return font;
}

std::shared_ptr<CStockFont> DefaultPageFont() {
    return MakePageFont(FontDescription{"Arial", 10, 400, 0, false, false, false}, 100);
}

std::shared_ptr<CStockFont> PageFontOf(const Variant& value) {
    return std::dynamic_pointer_cast<CStockFont>(value.AsDispatch());
}

PageModel::PageModel(const PageDefinition& definition) : m_definition(&definition) {
    for (const PageField& field : definition.fields) {
        if (field.kind == FieldKind::Font) {
            m_values[field.property] = Variant::Dispatch(DefaultPageFont());
            continue;
        }
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
        auto browsing = QueryInterfaceAs<IPerPropertyBrowsing>(*object, IID_IPerPropertyBrowsing);
        for (const PageField& field : m_definition->fields) {
            if (field.kind == FieldKind::List && field.browse && browsing) {
                DISPID id = DISPID_UNKNOWN;
                std::vector<std::string> strings;
                std::vector<uint32_t> cookies;
                if (Succeeded(object->GetIDOfName(field.property, id)) &&
                    browsing->GetPredefinedStrings(id, &strings, &cookies) == S_OK) {
                    m_listStrings[field.property] = std::move(strings);
                }
            }
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

const std::vector<std::string>& PageModel::ListStrings(const PageField& field) const {
    const auto it = m_listStrings.find(std::string_view(field.property));
    return it != m_listStrings.end() ? it->second : field.choices;
}

int PageModel::ListIndex(const PageField& field) const {
    const Variant& value = Value(field);
    if (value.Type() != VarType::I4) {
        return -1;
    }
    const auto it = std::find(field.listValues.begin(), field.listValues.end(), value.AsI4());
    return it == field.listValues.end() ? -1 : static_cast<int>(it - field.listValues.begin());
}

bool PageModel::SetValue(const PageField& field, const Variant& value) {
    Variant stored;
    if (field.kind == FieldKind::Float) {
        if (value.Type() != VarType::R4) {
            return false;
        }
        stored = value;
    } else if (field.kind == FieldKind::Font) {
        if (!PageFontOf(value)) {
            return false;
        }
        stored = value;
    } else if (IsTextKind(field.kind)) {
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
        if (m_definition->writeEveryRow) {
            // Only what the page shows: the bound property of a switched field.
            if (field.kind != FieldKind::List || ListIndex(field) >= 0) {
                order.push_back(BoundProperty(field));
            }
            continue;
        }
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
            if (!IsChanged(property)) {
                m_changed.push_back(property);  // the page keeps what it could not write
            }
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
    if (field.kind == FieldKind::Font) {
        return Variant::Dispatch(ReadFont(raw));
    }
    if (field.kind == FieldKind::Float) {
        return Succeeded(ChangeType(raw, VarType::R4, value)) ? value : Variant();
    }
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
    InvokeKind kind = InvokeKind::PropertyPut;
    if (IsIntegerKind(field.kind)) {
        int32_t number = value.AsI4();
        if (field.kind == FieldKind::Bits) {
            number = static_cast<int32_t>(static_cast<uint32_t>(number) & BitsMask(field));
        }
        put = field.number == NumberKind::Int32
                  ? Variant::I4(number)
                  : Variant::I2(static_cast<int16_t>(static_cast<uint16_t>(number)));
    } else if (field.kind == FieldKind::Check && field.checkAsInteger) {
        put = Variant::I4(value.AsBool() ? 1 : 0);
    } else if (field.kind == FieldKind::Font) {
        // A fresh object each time: the control keeps what it is given, and the page goes on editing its own.
        const auto font = PageFontOf(value);
        const auto copy =
            font ? MakePageFont(font->Description(), static_cast<int32_t>(font->SizeCurrency() / 1000))
                 : DefaultPageFont();
        put = Variant::Dispatch(copy);
        kind = InvokeKind::PropertyPutRef;
    }
    DISPID id = DISPID_UNKNOWN;
    if (const HRESULT hr = object.GetIDOfName(property, id); Failed(hr)) {
        // A page that rewrites all it shows leaves alone an object that has no such property at all.
        return m_definition->writeEveryRow && hr == DISP_E_UNKNOWNNAME ? S_OK : hr;
    }
    const Variant args[] = {put};
    return object.Invoke(id, kind, args, nullptr, nullptr);
}

}  // namespace platform::automation
