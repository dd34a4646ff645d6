// Variant construction, readers and the argument coercions.
#include "platform/automation/variant.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/automation/dispatch.h"
#include "platform/codepage.h"

namespace platform::automation {
namespace {

const std::string kEmptyText;

bool IsValidDate(double days) {
    return std::isfinite(days) && days >= kMinDate && days < kMaxDate;
}

// Decimal text as the Windows coercion reads it: blanks around, an optional sign, digits with an optional
// fraction and exponent. Hexadecimal, "inf" and "nan" are not numbers here.
bool ParseNumber(std::string_view text, double& out) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    if (text.empty()) {
        return false;
    }
    std::string_view body = text;
    if (body.front() == '+' || body.front() == '-') {
        body.remove_prefix(1);
    }
    size_t digits = 0;
    size_t i = 0;
    while (i < body.size() && body[i] >= '0' && body[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < body.size() && body[i] == '.') {
        ++i;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        ++i;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
            ++i;
        }
        size_t expDigits = 0;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9') {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) {
            return false;
        }
    }
    if (i != body.size()) {
        return false;
    }
    // from_chars takes no leading '+' and ignores the locale, unlike strtod.
    std::string_view number = text.front() == '+' ? text.substr(1) : text;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), out);
    if (ec == std::errc::result_out_of_range) {
        out = number.front() == '-' ? -std::numeric_limits<double>::infinity()
                                    : std::numeric_limits<double>::infinity();
        return true;
    }
    return ec == std::errc() && end == number.data() + number.size();
}

// The value of a numeric source as a double, for the range checks of the integer targets.
HRESULT NumericValue(const Variant& v, double& out) {
    switch (v.Type()) {
        case VarType::Empty:
            out = 0;
            return S_OK;
        case VarType::UI1:
        case VarType::I2:
        case VarType::I4:
        case VarType::Bool:
            out = v.AsI4();
            return S_OK;
        case VarType::R4:
            out = v.AsR4();
            return S_OK;
        case VarType::Date:
            if (v.DateState() != DateStatus::Valid) {
                return DISP_E_TYPEMISMATCH;
            }
            out = v.AsDate();
            return S_OK;
        case VarType::Bstr: {
            if (!ParseNumber(v.AsBstr(), out)) {
                return DISP_E_TYPEMISMATCH;
            }
            return S_OK;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToInteger(const Variant& v, double low, double high, int32_t& out) {
    double value = 0;
    if (const HRESULT hr = NumericValue(v, value); Failed(hr)) {
        return hr;
    }
    // The default rounding mode rounds half to even, as the Windows coercion does.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= low && rounded <= high)) {
        return DISP_E_OVERFLOW;
    }
    out = static_cast<int32_t>(rounded);
    return S_OK;
}

}  // namespace

Variant Variant::UI1(uint8_t value) {
    Variant v;
    v.m_type = VarType::UI1;
    v.m_int = value;
    return v;
}

Variant Variant::I2(int16_t value) {
    Variant v;
    v.m_type = VarType::I2;
    v.m_int = value;
    return v;
}

Variant Variant::I4(int32_t value) {
    Variant v;
    v.m_type = VarType::I4;
    v.m_int = value;
    return v;
}

Variant Variant::R4(float value) {
    Variant v;
    v.m_type = VarType::R4;
    v.m_date = value;
    return v;
}

Variant Variant::Bool(bool value) {
    Variant v;
    v.m_type = VarType::Bool;
    v.m_int = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::Bstr(std::string text) {
    Variant v;
    v.m_type = VarType::Bstr;
    v.m_text = std::move(text);
    return v;
}

Variant Variant::Date(double days, DateStatus status) {
    Variant v;
    v.m_type = VarType::Date;
    v.m_date = days;
    v.m_dateStatus = (status == DateStatus::Valid && !IsValidDate(days)) ? DateStatus::Invalid : status;
    return v;
}

Variant Variant::Dispatch(std::shared_ptr<IDispatch> object) {
    Variant v;
    v.m_type = VarType::Dispatch;
    v.m_dispatch = std::move(object);
    return v;
}

Variant Variant::Unknown(std::shared_ptr<IUnknown> object) {
    Variant v;
    v.m_type = VarType::Unknown;
    v.m_unknown = std::move(object);
    return v;
}

Variant Variant::Bytes(std::vector<uint8_t> bytes) {
    Variant v;
    v.m_type = VarType::UI1Array;
    v.m_bytes = std::move(bytes);
    return v;
}

Variant Variant::I4s(std::vector<int32_t> values) {
    Variant v;
    v.m_type = VarType::I4Array;
    v.m_ints = std::move(values);
    return v;
}

Variant Variant::Error(HRESULT scode) {
    Variant v;
    v.m_type = VarType::Error;
    v.m_int = scode;
    return v;
}

Variant Variant::Pointer(void* address, std::string tag) {
    Variant v;
    v.m_type = VarType::Pointer;
    v.m_address = address;
    v.m_text = std::move(tag);
    return v;
}

#define CARROWLINE_REF_FACTORY(Name, Type, Kind) \
    Variant Variant::Name(Type* target) {        \
        Variant v;                               \
        v.m_type = ByRef(VarType::Kind);         \
        v.m_address = target;                    \
        return v;                                \
    }
CARROWLINE_REF_FACTORY(RefUI1, uint8_t, UI1)
CARROWLINE_REF_FACTORY(RefI2, int16_t, I2)
CARROWLINE_REF_FACTORY(RefI4, int32_t, I4)
CARROWLINE_REF_FACTORY(RefR4, float, R4)
CARROWLINE_REF_FACTORY(RefBool, int16_t, Bool)
CARROWLINE_REF_FACTORY(RefBstr, std::string, Bstr)
CARROWLINE_REF_FACTORY(RefDate, double, Date)
CARROWLINE_REF_FACTORY(RefDispatch, std::shared_ptr<IDispatch>, Dispatch)
CARROWLINE_REF_FACTORY(RefUnknown, std::shared_ptr<IUnknown>, Unknown)
CARROWLINE_REF_FACTORY(RefBytes, std::vector<uint8_t>, UI1Array)
CARROWLINE_REF_FACTORY(RefVariant, Variant, Variant)
#undef CARROWLINE_REF_FACTORY

uint8_t Variant::AsUI1() const {
    return m_type == VarType::UI1 ? static_cast<uint8_t>(m_int) : uint8_t{0};
}

int16_t Variant::AsI2() const {
    return (m_type == VarType::UI1 || m_type == VarType::I2 || m_type == VarType::Bool)
               ? static_cast<int16_t>(m_int)
               : int16_t{0};
}

int32_t Variant::AsI4() const {
    switch (m_type) {
        case VarType::UI1:
        case VarType::I2:
        case VarType::I4:
        case VarType::Bool:
            return m_int;
        default:
            return 0;
    }
}

float Variant::AsR4() const {
    return m_type == VarType::R4 ? static_cast<float>(m_date) : static_cast<float>(AsI4());
}

bool Variant::AsBool() const {
    return m_type == VarType::R4 ? m_date != 0 : AsI4() != 0;
}

const std::string& Variant::AsBstr() const {
    return m_type == VarType::Bstr ? m_text : kEmptyText;
}

double Variant::AsDate() const {
    return m_type == VarType::Date ? m_date : 0.0;
}

DateStatus Variant::DateState() const {
    return m_type == VarType::Date ? m_dateStatus : DateStatus::Invalid;
}

std::shared_ptr<IDispatch> Variant::AsDispatch() const {
    return m_type == VarType::Dispatch ? m_dispatch : nullptr;
}

std::shared_ptr<IUnknown> Variant::AsUnknown() const {
    if (m_type == VarType::Dispatch) {
        return m_dispatch;
    }
    return m_type == VarType::Unknown ? m_unknown : nullptr;
}

const std::vector<uint8_t>& Variant::AsBytes() const {
    static const std::vector<uint8_t> kNoBytes;
    return m_type == VarType::UI1Array ? m_bytes : kNoBytes;
}

const std::vector<int32_t>& Variant::AsI4s() const {
    static const std::vector<int32_t> kNoInts;
    return m_type == VarType::I4Array ? m_ints : kNoInts;
}

HRESULT Variant::AsError() const {
    return m_type == VarType::Error ? m_int : S_OK;
}

void* Variant::AsPointer(std::string_view tag) const {
    return (m_type == VarType::Pointer && m_text == tag) ? m_address : nullptr;
}

#define CARROWLINE_REF_READER(Name, Type, Kind)                                          \
    Type* Variant::Name() const {                                                        \
        return m_type == ByRef(VarType::Kind) ? static_cast<Type*>(m_address) : nullptr; \
    }
CARROWLINE_REF_READER(AsRefUI1, uint8_t, UI1)
CARROWLINE_REF_READER(AsRefI2, int16_t, I2)
CARROWLINE_REF_READER(AsRefI4, int32_t, I4)
CARROWLINE_REF_READER(AsRefR4, float, R4)
CARROWLINE_REF_READER(AsRefBool, int16_t, Bool)
CARROWLINE_REF_READER(AsRefBstr, std::string, Bstr)
CARROWLINE_REF_READER(AsRefDate, double, Date)
CARROWLINE_REF_READER(AsRefDispatch, std::shared_ptr<IDispatch>, Dispatch)
CARROWLINE_REF_READER(AsRefUnknown, std::shared_ptr<IUnknown>, Unknown)
CARROWLINE_REF_READER(AsRefBytes, std::vector<uint8_t>, UI1Array)
CARROWLINE_REF_READER(AsRefVariant, Variant, Variant)
#undef CARROWLINE_REF_READER

HRESULT Variant::Dereference(Variant& out) const {
    if (!IsByRef(m_type)) {
        out = *this;
        return S_OK;
    }
    if (m_address == nullptr) {
        return E_POINTER;
    }
    switch (BaseType(m_type)) {
        case VarType::UI1:
            out = UI1(*AsRefUI1());
            return S_OK;
        case VarType::I2:
            out = I2(*AsRefI2());
            return S_OK;
        case VarType::I4:
            out = I4(*AsRefI4());
            return S_OK;
        case VarType::R4:
            out = R4(*AsRefR4());
            return S_OK;
        case VarType::Bool:
            out = Bool(*AsRefBool() != 0);
            return S_OK;
        case VarType::Bstr:
            out = Bstr(*AsRefBstr());
            return S_OK;
        case VarType::Date:
            out = Date(*AsRefDate());
            return S_OK;
        case VarType::Dispatch:
            out = Dispatch(*AsRefDispatch());
            return S_OK;
        case VarType::Unknown:
            out = Unknown(*AsRefUnknown());
            return S_OK;
        case VarType::UI1Array:
            out = Bytes(*AsRefBytes());
            return S_OK;
        case VarType::Variant: {
            const Variant& inner = *AsRefVariant();
            if (inner.Type() == ByRef(VarType::Variant)) {
                return E_INVALIDARG;
            }
            return inner.Dereference(out);
        }
        default:
            return DISP_E_BADVARTYPE;
    }
}

bool Variant::operator==(const Variant& other) const {
    if (m_type != other.m_type) {
        return false;
    }
    if (IsByRef(m_type)) {
        return m_address == other.m_address;
    }
    switch (m_type) {
        case VarType::Empty:
            return true;
        case VarType::UI1:
        case VarType::I2:
        case VarType::I4:
        case VarType::Bool:
        case VarType::Error:
            return m_int == other.m_int;
        case VarType::Unknown:
            return m_unknown == other.m_unknown;
        case VarType::UI1Array:
            return m_bytes == other.m_bytes;
        case VarType::I4Array:
            return m_ints == other.m_ints;
        case VarType::Bstr:
            return m_text == other.m_text;
        case VarType::R4:
            return m_date == other.m_date;
        case VarType::Date:
            return m_dateStatus == other.m_dateStatus &&
                   (m_dateStatus != DateStatus::Valid || m_date == other.m_date);
        case VarType::Dispatch:
            return m_dispatch == other.m_dispatch;
        case VarType::Variant:
            return false;
        case VarType::Pointer:
            return m_address == other.m_address && m_text == other.m_text;
    }
    return false;
}

HRESULT ChangeType(const Variant& in, VarType to, Variant& out) {
    if (to == VarType::Variant) {
        out = in;
        return S_OK;
    }
    Variant source;
    if (const HRESULT hr = in.Dereference(source); Failed(hr)) {
        return hr;
    }
    if (source.Type() == to) {
        out = std::move(source);
        return S_OK;
    }
    switch (to) {
        case VarType::UI1: {
            int32_t value = 0;
            if (const HRESULT hr = ToInteger(source, 0, UINT8_MAX, value); Failed(hr)) {
                return hr;
            }
            out = Variant::UI1(static_cast<uint8_t>(value));
            return S_OK;
        }
        case VarType::I2: {
            int32_t value = 0;
            if (const HRESULT hr = ToInteger(source, INT16_MIN, INT16_MAX, value); Failed(hr)) {
                return hr;
            }
            out = Variant::I2(static_cast<int16_t>(value));
            return S_OK;
        }
        case VarType::I4: {
            int32_t value = 0;
            if (const HRESULT hr = ToInteger(source, INT32_MIN, INT32_MAX, value); Failed(hr)) {
                return hr;
            }
            out = Variant::I4(value);
            return S_OK;
        }
        case VarType::R4: {
            double value = 0;
            if (const HRESULT hr = NumericValue(source, value); Failed(hr)) {
                return hr;
            }
            if (std::isnan(value)) {
                out = Variant::R4(std::numeric_limits<float>::quiet_NaN());
                return S_OK;
            }
            if (std::fabs(value) > std::numeric_limits<float>::max()) {
                return DISP_E_OVERFLOW;
            }
            out = Variant::R4(static_cast<float>(value));
            return S_OK;
        }
        case VarType::Bool: {
            if (source.Type() == VarType::Bstr) {
                const std::string& text = source.AsBstr();
                if (EqualsNoCase(text, "True")) {
                    out = Variant::Bool(true);
                    return S_OK;
                }
                if (EqualsNoCase(text, "False")) {
                    out = Variant::Bool(false);
                    return S_OK;
                }
            }
            double value = 0;
            if (const HRESULT hr = NumericValue(source, value); Failed(hr)) {
                return hr;
            }
            if (std::isnan(value)) {
                return DISP_E_TYPEMISMATCH;
            }
            out = Variant::Bool(value != 0);
            return S_OK;
        }
        case VarType::Date: {
            if (source.Type() == VarType::Bstr) {
                return DISP_E_TYPEMISMATCH;
            }
            double value = 0;
            if (const HRESULT hr = NumericValue(source, value); Failed(hr)) {
                return hr;
            }
            if (!IsValidDate(value)) {
                return DISP_E_OVERFLOW;
            }
            out = Variant::Date(value);
            return S_OK;
        }
        case VarType::Bstr:
            switch (source.Type()) {
                case VarType::Empty:
                    out = Variant::Bstr("");
                    return S_OK;
                case VarType::UI1:
                case VarType::I2:
                case VarType::I4:
                case VarType::Bool:
                    out = Variant::Bstr(std::to_string(source.AsI4()));
                    return S_OK;
                case VarType::R4: {
                    char text[32];
                    const auto [end, ec] = std::to_chars(text, text + sizeof text, source.AsR4());
                    if (ec != std::errc()) {
                        return DISP_E_TYPEMISMATCH;
                    }
                    out = Variant::Bstr(std::string(text, end));
                    return S_OK;
                }
                default:
                    return DISP_E_TYPEMISMATCH;
            }
        case VarType::Unknown:
            if (source.Type() != VarType::Dispatch) {
                return DISP_E_TYPEMISMATCH;
            }
            out = Variant::Unknown(source.AsUnknown());
            return S_OK;
        case VarType::Dispatch: {
            if (source.Type() != VarType::Unknown) {
                return DISP_E_TYPEMISMATCH;
            }
            const std::shared_ptr<IUnknown> object = source.AsUnknown();
            if (!object) {
                out = Variant::Dispatch(nullptr);
                return S_OK;
            }
            std::shared_ptr<void> raw;
            if (Failed(object->QueryInterface(IID_IDispatch, raw)) || !raw) {
                return E_NOINTERFACE;
            }
            out = Variant::Dispatch(std::static_pointer_cast<IDispatch>(raw));
            return S_OK;
        }
        case VarType::Variant:
        case VarType::Empty:
        case VarType::Error:
        case VarType::Pointer:
        case VarType::UI1Array:
        case VarType::I4Array:
            return DISP_E_TYPEMISMATCH;
    }
    return DISP_E_BADVARTYPE;
}

std::string VarTypeName(VarType type) {
    std::string name = IsByRef(type) ? "BYREF " : "";
    switch (BaseType(type)) {
        case VarType::Empty:
            return name + "EMPTY";
        case VarType::UI1:
            return name + "UI1";
        case VarType::Unknown:
            return name + "UNKNOWN";
        case VarType::UI1Array:
            return name + "ARRAY UI1";
        case VarType::I4Array:
            return name + "ARRAY I4";
        case VarType::I2:
            return name + "I2";
        case VarType::I4:
            return name + "I4";
        case VarType::R4:
            return name + "R4";
        case VarType::Variant:
            return name + "VARIANT";
        case VarType::Date:
            return name + "DATE";
        case VarType::Bstr:
            return name + "BSTR";
        case VarType::Dispatch:
            return name + "DISPATCH";
        case VarType::Error:
            return name + "ERROR";
        case VarType::Bool:
            return name + "BOOL";
        case VarType::Pointer:
            return name + "POINTER";
    }
    return name + "VT " + std::to_string(static_cast<uint16_t>(BaseType(type)));
}

}  // namespace platform::automation
