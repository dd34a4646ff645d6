// The control's properties in the container's store: every property a host or a page may set is kept by its
// name, the three fonts as their members. A stored value the property would not take as it stands (of the
// wrong kind, out of range, too long for its field) gives the property's default, so one damaged entry
// costs only itself.
#include <cmath>
#include <limits>

#include "docview/fennick_members.h"
#include "docview/qelctrl.h"
#include "platform/automation/stock_font.h"

namespace docview {

namespace automation = platform::automation;
using automation::InvokeKind;
using automation::PropertyBag;
using automation::PropertyValue;
using automation::Variant;
using automation::VarType;

namespace {

constexpr std::string_view kVersionProperty = "_Version";
constexpr int32_t kPropertyVersion = 0x10000;

constexpr std::string_view kMargins[] = {"PrintMarginTop", "PrintMarginBottom", "PrintMarginLeft",
                                         "PrintMarginRight"};
constexpr std::string_view kFontKeys[3][6] = {
    {"DisplayFont.Name", "DisplayFont.Size", "DisplayFont.Bold", "DisplayFont.Italic",
     "DisplayFont.Underline", "DisplayFont.Strikethrough"},
    {"ClipFont.Name", "ClipFont.Size", "ClipFont.Bold", "ClipFont.Italic", "ClipFont.Underline",
     "ClipFont.Strikethrough"},
    {"PrintFont.Name", "PrintFont.Size", "PrintFont.Bold", "PrintFont.Italic", "PrintFont.Underline",
     "PrintFont.Strikethrough"},
};
constexpr uint16_t kFontBits[4] = {LYDVW_FONT_BOLD, LYDVW_FONT_ITALIC, LYDVW_FONT_UNDERLINE,
                                   LYDVW_FONT_STRIKE};
constexpr int64_t kCurrencyPerHalfPoint = automation::kCurrencyPerPoint / 2;

// The longest text each bounded text property keeps.
struct TextLimit {
    std::string_view member;
    size_t max;
};
constexpr TextLimit kTextLimits[] = {
    {"ResourceLibraryID", kResourceIdMax},
    {"PrintJobName", kPrintJobNameMax},
    {"DecimalSeparator", 1},
    {"ThousandSeparator", 1},
    {"DateSeparator", 1},
    {"TimeSeparator", 1},
    {"CurrencySymbol", sizeof(LydvwIntlRecord::currency) - 1},
    {"AMString", sizeof(LydvwIntlRecord::am) - 1},
    {"PMString", sizeof(LydvwIntlRecord::pm) - 1},
    {"FullMonthNames", sizeof(LydvwIntlRecord::month_names) - 1},
    {"AbbrevMonthNames", sizeof(LydvwIntlRecord::abbrev_month_names) - 1},
    {"FullDayNames", sizeof(LydvwIntlRecord::day_names) - 1},
    {"AbbrevDayNames", sizeof(LydvwIntlRecord::abbrev_day_names) - 1},
};

bool Persisted(const MemberSpec& member) {
    return member.access == Access::GetPut && (member.type == Type::I2 || member.type == Type::I4 ||
                                               member.type == Type::Bstr || member.type == Type::R4);
}

class MapBag final : public PropertyBag {
  public:
    explicit MapBag(std::map<std::string, PropertyValue, std::less<>>& values) : m_values(values) {}
    std::optional<PropertyValue> Load(std::string_view name) override {
        const auto it = m_values.find(name);
        return it == m_values.end() ? std::nullopt : std::optional<PropertyValue>(it->second);
    }
    void Save(std::string_view name, const PropertyValue& value) override {
        m_values.insert_or_assign(std::string(name), value);
    }

  private:
    std::map<std::string, PropertyValue, std::less<>>& m_values;
};

std::optional<int64_t> Number(const PropertyValue& value) {
    if (const auto* i16 = std::get_if<int16_t>(&value))
        return *i16;
    if (const auto* i32 = std::get_if<int32_t>(&value))
        return *i32;
    return std::nullopt;
}

// A property's value as the store keeps it.
std::optional<PropertyValue> ToStored(const Variant& value, Type type) {
    Variant converted;
    switch (type) {
        case Type::I2:
            if (automation::Succeeded(automation::ChangeType(value, VarType::I2, converted)))
                return PropertyValue{converted.AsI2()};
            break;
        case Type::I4:
            if (automation::Succeeded(automation::ChangeType(value, VarType::I4, converted)))
                return PropertyValue{converted.AsI4()};
            break;
        case Type::Bstr:
            if (automation::Succeeded(automation::ChangeType(value, VarType::Bstr, converted)))
                return PropertyValue{converted.AsBstr()};
            break;
        case Type::R4:
            if (automation::Succeeded(automation::ChangeType(value, VarType::R4, converted)))
                return PropertyValue{converted.AsR4()};
            break;
        default:
            break;
    }
    return std::nullopt;
}

}  // namespace

std::span<const std::string_view> Cqelctrl::PersistedProperties() {
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> list;
        for (const MemberSpec& member : Members()) {
            if (Persisted(member))
                list.push_back(member.name);
        }
        for (const auto& keys : kFontKeys)
            list.insert(list.end(), std::begin(keys), std::end(keys));
        return list;
    }();
    return names;
}

void Cqelctrl::KeepDefaults() {
    MapBag defaults(m_defaults);
    SaveProperties(defaults);
    m_dirty = false;
}

std::optional<Variant> Cqelctrl::AcceptStored(const MemberSpec& member, const PropertyValue& stored) const {
    std::optional<Variant> value;
    switch (member.type) {
        case Type::I2:
            if (const auto n = Number(stored); n && *n >= INT16_MIN && *n <= INT16_MAX)
                value = Variant::I2(static_cast<int16_t>(*n));
            break;
        case Type::I4:
            if (const auto n = Number(stored))
                value = Variant::I4(static_cast<int32_t>(*n));
            break;
        case Type::Bstr:
            if (const auto* text = std::get_if<std::string>(&stored))
                value = Variant::Bstr(*text);
            break;
        case Type::R4:
            if (const auto* number = std::get_if<float>(&stored);
                number && std::isfinite(*number) && m_options.MarginInRange(*number))
                value = Variant::R4(*number);
            break;
        default:
            break;
    }
    if (!value)
        return std::nullopt;
    if (const OptionRow* row = FindOption(member.name);
        row && row->conversion != Conversion::Ignored && !row->check.Accepts(value->AsI4())) {
        return std::nullopt;
    }
    if (member.name == "ShortDateOrder" && (value->AsI2() < 0 || value->AsI2() > 2))
        return std::nullopt;
    for (const TextLimit& limit : kTextLimits) {
        // A text that would be cut, or end early inside its field, is not the one that was saved.
        if (limit.member == member.name &&
            (value->AsBstr().size() > limit.max || value->AsBstr().find('\0') != std::string::npos)) {
            return std::nullopt;
        }
    }
    return value;
}

std::optional<Variant> Cqelctrl::DefaultOf(const MemberSpec& member) const {
    // A margin's default is a length: in the unit the loaded IntlFlag chose.
    for (size_t i = 0; i < std::size(kMargins); ++i) {
        if (member.name == kMargins[i]) {
            OptionStore fresh;
            fresh.Put("IntlFlag", m_options.Get("IntlFlag"), nullptr);
            return Variant::R4(fresh.GetMargin(static_cast<int>(i)));
        }
    }
    const auto it = m_defaults.find(member.name);
    return it == m_defaults.end() ? std::nullopt : AcceptStored(member, it->second);
}

void Cqelctrl::LoadProperties(PropertyBag& bag) {
    // The version is read for the record only: every stored version so far has the same properties.
    (void)bag.Load(kVersionProperty);
    // In interface order, which puts IntlFlag before the margins it gives a unit.
    for (const MemberSpec& member : Members()) {
        if (!Persisted(member))
            continue;
        std::optional<Variant> value;
        if (const std::optional<PropertyValue> held = bag.Load(member.name))
            value = AcceptStored(member, *held);
        if (!value)
            value = DefaultOf(member);
        if (value) {
            const Variant args[] = {*value};
            Invoke(member.dispid, InvokeKind::PropertyPut, args, nullptr, nullptr);
        }
    }
    for (size_t font = 0; font < 3; ++font) {
        const auto& keys = kFontKeys[font];
        const auto fallback = [&](std::string_view key) { return m_defaults.find(key)->second; };
        auto field = [&](std::string_view key, auto accept) {
            if (const std::optional<PropertyValue> held = bag.Load(key); held && accept(*held))
                return *held;
            return fallback(key);
        };
        LydvwFontRecord record{};
        const PropertyValue name = field(keys[0], [](const PropertyValue& v) {
            const auto* text = std::get_if<std::string>(&v);
            return text && !text->empty() && text->size() < sizeof record.face &&
                   text->find('\0') == std::string::npos;
        });
        CopyBounded(record.face, std::get<std::string>(name));
        const PropertyValue size = field(keys[1], [](const PropertyValue& v) {
            const auto n = Number(v);
            return n && *n >= kCurrencyPerHalfPoint && *n <= int64_t{UINT16_MAX} * kCurrencyPerHalfPoint;
        });
        record.half_points =
            static_cast<uint16_t>((*Number(size) + kCurrencyPerHalfPoint / 2) / kCurrencyPerHalfPoint);
        for (size_t bit = 0; bit < 4; ++bit) {
            const PropertyValue flag =
                field(keys[2 + bit], [](const PropertyValue& v) { return std::holds_alternative<bool>(v); });
            if (std::get<bool>(flag))
                record.attributes |= kFontBits[bit];
        }
        WriteFontRecord(*m_fonts[font], record);
        SyncFont(static_cast<int>(font), true);
    }
    m_dirty = false;
}

void Cqelctrl::SaveProperties(PropertyBag& bag) {
    bag.Save(kVersionProperty, PropertyValue{kPropertyVersion});
    for (const MemberSpec& member : Members()) {
        if (!Persisted(member))
            continue;
        Variant value;
        if (automation::Failed(Invoke(member.dispid, InvokeKind::PropertyGet, {}, &value, nullptr)))
            continue;
        if (const std::optional<PropertyValue> kept = ToStored(value, member.type))
            bag.Save(member.name, *kept);
    }
    for (size_t font = 0; font < 3; ++font) {
        const LydvwFontRecord record = FontRecordOf(*m_fonts[font]);
        const auto& keys = kFontKeys[font];
        bag.Save(keys[0], PropertyValue{ReadBounded(record.face)});
        bag.Save(keys[1], PropertyValue{static_cast<int32_t>(record.half_points * kCurrencyPerHalfPoint)});
        for (size_t bit = 0; bit < 4; ++bit)
            bag.Save(keys[2 + bit], PropertyValue{(record.attributes & kFontBits[bit]) != 0});
    }
    m_dirty = false;
}

}  // namespace docview
