// The stock font object and its persistence.
#include "platform/automation/stock_font.h"

namespace platform::automation {

namespace {

bool ValidSize(int32_t points) {
    return points > 0 && points <= 1000;
}
bool ValidWeight(int32_t weight) {
    return weight >= 0 && weight <= 1000;
}
bool ValidCharset(int32_t charset) {
    return charset >= 0 && charset <= 255;
}
// Semi-bold and heavier faces are drawn bold.
bool IsBold(int32_t weight) {
    return weight >= 600;
}

void Require(bool valid, const char* what) {
    if (!valid) {
        throw DispatchError(E_INVALIDARG, what);
    }
}

}  // namespace

CStockFont::CStockFont(FontDescription description, std::function<void()> changed, FontSizeUnit unit)
    : DispatchObject({}, unit == FontSizeUnit::Currency ? std::vector<Guid>{IID_IFont, IID_IFontDisp}
                                                        : std::vector<Guid>{}),
      m_description(std::move(description)),
      m_sizeCurrency(m_description.size * kCurrencyPerPoint),
      m_changed(std::move(changed)) {
    if (unit == FontSizeUnit::Currency) {
        Table().Property(
            "Size", 2, VarType::I4, [this] { return Variant::I4(static_cast<int32_t>(m_sizeCurrency)); },
            [this](const Variant& v) {
                Require(
                    ValidSize(static_cast<int32_t>((v.AsI4() + kCurrencyPerPoint - 1) / kCurrencyPerPoint)),
                    "font size out of range");
                SetSizeCurrency(v.AsI4());
            });
    } else {
        Table().Property(
            "Size", 2, VarType::I4, [this] { return Variant::I4(m_description.size); },
            [this](const Variant& v) {
                Require(ValidSize(v.AsI4()), "font size out of range");
                Change([&](FontDescription& d) { d.size = v.AsI4(); });
            });
    }
    Table()
        .Property(
            "Name", DISPID_VALUE, VarType::Bstr, [this] { return Variant::Bstr(m_description.name); },
            [this](const Variant& v) {
                Require(!v.AsBstr().empty(), "a font needs a face name");
                Change([&](FontDescription& d) { d.name = v.AsBstr(); });
            })
        .Property(
            "Bold", 3, VarType::Bool, [this] { return Variant::Bool(IsBold(m_description.weight)); },
            [this](const Variant& v) {
                Change([&](FontDescription& d) { d.weight = v.AsBool() ? 700 : 400; });
            })
        .Property(
            "Italic", 4, VarType::Bool, [this] { return Variant::Bool(m_description.italic); },
            [this](const Variant& v) { Change([&](FontDescription& d) { d.italic = v.AsBool(); }); })
        .Property(
            "Underline", 5, VarType::Bool, [this] { return Variant::Bool(m_description.underline); },
            [this](const Variant& v) { Change([&](FontDescription& d) { d.underline = v.AsBool(); }); })
        .Property(
            "Strikethrough", 6, VarType::Bool, [this] { return Variant::Bool(m_description.strikethrough); },
            [this](const Variant& v) { Change([&](FontDescription& d) { d.strikethrough = v.AsBool(); }); })
        .Property(
            "Weight", 7, VarType::I2, [this] { return Variant::I2(m_description.weight); },
            [this](const Variant& v) {
                Require(ValidWeight(v.AsI2()), "font weight out of range");
                Change([&](FontDescription& d) { d.weight = v.AsI2(); });
            })
        .Property(
            "Charset", 8, VarType::I2, [this] { return Variant::I2(m_description.charset); },
            [this](const Variant& v) {
                Require(ValidCharset(v.AsI2()), "character set out of range");
                Change([&](FontDescription& d) { d.charset = v.AsI2(); });
            });
}

void CStockFont::SetDescription(const FontDescription& description) {
    Change([&](FontDescription& d) { d = description; });
}

void CStockFont::SetSizeCurrency(int64_t size) {
    if (size == m_sizeCurrency) {
        return;
    }
    m_sizeCurrency = size;
    m_description.size = static_cast<int32_t>((size + kCurrencyPerPoint / 2) / kCurrencyPerPoint);
    if (m_changed) {
        m_changed();
    }
}

void CStockFont::Change(const std::function<void(FontDescription&)>& edit) {
    FontDescription next = m_description;
    edit(next);
    if (next == m_description) {
        return;
    }
    if (next.size != m_description.size) {
        m_sizeCurrency = next.size * kCurrencyPerPoint;
    }
    m_description = std::move(next);
    if (m_changed) {
        m_changed();
    }
}

std::optional<FontDescription> CStockFont::ReadFrom(IDispatch& font) {
    auto get = [&font](std::string_view name, VarType type) { return GetPropertyAs(font, name, type); };
    const auto name = get("Name", VarType::Bstr);
    const auto size = get("Size", VarType::I4);
    if (!name || name->AsBstr().empty() || !size || !ValidSize(size->AsI4())) {
        return std::nullopt;
    }
    FontDescription description;
    description.name = name->AsBstr();
    description.size = size->AsI4();
    if (const auto weight = get("Weight", VarType::I4); weight && ValidWeight(weight->AsI4())) {
        description.weight = static_cast<int16_t>(weight->AsI4());
    } else if (const auto bold = get("Bold", VarType::Bool)) {
        description.weight = bold->AsBool() ? 700 : 400;
    }
    if (const auto charset = get("Charset", VarType::I4); charset && ValidCharset(charset->AsI4())) {
        description.charset = static_cast<int16_t>(charset->AsI4());
    }
    if (const auto italic = get("Italic", VarType::Bool)) {
        description.italic = italic->AsBool();
    }
    if (const auto underline = get("Underline", VarType::Bool)) {
        description.underline = underline->AsBool();
    }
    if (const auto strike = get("Strikethrough", VarType::Bool)) {
        description.strikethrough = strike->AsBool();
    }
    return description;
}

void CStockFont::Load(PropertyBag& bag) {
    FontDescription d = m_description;
    auto number = [&bag](std::string_view name) -> std::optional<int32_t> {
        const std::optional<PropertyValue> value = bag.Load(name);
        if (value && std::holds_alternative<int32_t>(*value)) {
            return std::get<int32_t>(*value);
        }
        if (value && std::holds_alternative<int16_t>(*value)) {
            return std::get<int16_t>(*value);
        }
        return std::nullopt;
    };
    auto flag = [&bag](std::string_view name, bool& target) {
        const std::optional<PropertyValue> value = bag.Load(name);
        if (value && std::holds_alternative<bool>(*value)) {
            target = std::get<bool>(*value);
        }
    };
    if (const auto name = bag.Load("Font.Name");
        name && std::holds_alternative<std::string>(*name) && !std::get<std::string>(*name).empty()) {
        d.name = std::get<std::string>(*name);
    }
    if (const auto size = number("Font.Size"); size && ValidSize(*size)) {
        d.size = *size;
    }
    if (const auto weight = number("Font.Weight"); weight && ValidWeight(*weight)) {
        d.weight = static_cast<int16_t>(*weight);
    }
    if (const auto charset = number("Font.Charset"); charset && ValidCharset(*charset)) {
        d.charset = static_cast<int16_t>(*charset);
    }
    flag("Font.Italic", d.italic);
    flag("Font.Underline", d.underline);
    flag("Font.Strikethrough", d.strikethrough);
    // Loading is not an edit: the container's copy is what it just gave.
    if (d.size != m_description.size) {
        m_sizeCurrency = d.size * kCurrencyPerPoint;
    }
    m_description = std::move(d);
}

void CStockFont::Save(PropertyBag& bag) const {
    bag.Save("Font.Name", PropertyValue{m_description.name});
    bag.Save("Font.Size", PropertyValue{m_description.size});
    bag.Save("Font.Weight", PropertyValue{m_description.weight});
    bag.Save("Font.Charset", PropertyValue{m_description.charset});
    bag.Save("Font.Italic", PropertyValue{m_description.italic});
    bag.Save("Font.Underline", PropertyValue{m_description.underline});
    bag.Save("Font.Strikethrough", PropertyValue{m_description.strikethrough});
}

}  // namespace platform::automation
