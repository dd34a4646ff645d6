// The values that cross a dispatch interface: the VT kinds the suite's interfaces use, by value or by
// reference, and the coercions Invoke applies to arguments. Text (BSTR) is 8-bit Windows-1252 here, as all
// of the core's text is; it converts at the UI edge, not at the dispatch boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/hresult.h"

namespace platform::automation {

class IUnknown;
class IDispatch;

// The VT numbers of the Windows VARIANT, so that type codes in messages and tables read the same.
enum class VarType : uint16_t {
    Empty = 0,
    I2 = 2,
    I4 = 3,
    R4 = 4,
    Date = 7,
    Bstr = 8,
    Dispatch = 9,
    Error = 10,  // an SCODE; DISP_E_PARAMNOTFOUND marks an omitted optional argument
    Bool = 11,
    // By value only as a parameter kind: the argument is passed on as the caller gave it, "missing"
    // included. By reference it is a real kind: the callee may replace the caller's whole variant.
    Variant = 12,
    Unknown = 13,  // an object reached only through QueryInterface
    UI1 = 17,
    Pointer = 26,       // an address inside this process, tagged with the name of what it points at
    UI1Array = 0x2011,  // VT_ARRAY | VT_UI1: a one-dimensional byte array with lower bound 0
    I4Array = 0x2003,   // VT_ARRAY | VT_I4, the same of 32-bit integers
};

inline constexpr uint16_t kVarArray = 0x2000;
inline constexpr uint16_t kVarByRef = 0x4000;

constexpr VarType ByRef(VarType type) {
    return static_cast<VarType>(static_cast<uint16_t>(type) | kVarByRef);
}
constexpr bool IsByRef(VarType type) {
    return (static_cast<uint16_t>(type) & kVarByRef) != 0;
}
constexpr VarType BaseType(VarType type) {
    return static_cast<VarType>(static_cast<uint16_t>(type) & ~kVarByRef);
}

// A date's status, kept beside the value as automation dates carry it.
enum class DateStatus : uint8_t { Valid, Invalid, Null };

// VARIANT_BOOL values.
inline constexpr int16_t VARIANT_TRUE = -1;
inline constexpr int16_t VARIANT_FALSE = 0;

// Days since 30 December 1899 that a DATE may hold: 1 January 100 to 31 December 9999.
inline constexpr double kMinDate = -657434.0;
inline constexpr double kMaxDate = 2958466.0;  // exclusive

class Variant {
  public:
    Variant() = default;

    static Variant UI1(uint8_t value);
    static Variant I2(int16_t value);
    static Variant I4(int32_t value);
    static Variant R4(float value);
    static Variant Bool(bool value);
    static Variant Bstr(std::string text);
    // A date outside the representable range, or not finite, is stored with status Invalid.
    static Variant Date(double days, DateStatus status = DateStatus::Valid);
    static Variant Dispatch(std::shared_ptr<IDispatch> object);
    static Variant Unknown(std::shared_ptr<IUnknown> object);
    static Variant Bytes(std::vector<uint8_t> bytes);
    static Variant I4s(std::vector<int32_t> values);
    static Variant Error(HRESULT scode);
    // What a caller passes for an omitted optional argument.
    static Variant Missing() { return Error(DISP_E_PARAMNOTFOUND); }
    // `tag` names the type pointed at; readers must name the same tag to get the address back.
    static Variant Pointer(void* address, std::string tag);

    // By-reference forms: the callee reads and writes the caller's storage. A BOOL lives in an int16_t.
    static Variant RefUI1(uint8_t* target);
    static Variant RefI2(int16_t* target);
    static Variant RefI4(int32_t* target);
    static Variant RefR4(float* target);
    static Variant RefBool(int16_t* target);
    static Variant RefBstr(std::string* target);
    static Variant RefDate(double* target);
    static Variant RefDispatch(std::shared_ptr<IDispatch>* target);
    static Variant RefUnknown(std::shared_ptr<IUnknown>* target);
    static Variant RefBytes(std::vector<uint8_t>* target);
    // The callee may store a variant of any kind in `target`, as an [out] VARIANT* parameter does.
    static Variant RefVariant(Variant* target);

    VarType Type() const { return m_type; }
    bool IsEmpty() const { return m_type == VarType::Empty; }
    bool IsMissing() const { return m_type == VarType::Error && m_int == DISP_E_PARAMNOTFOUND; }

    // Readers of the by-value kinds; another kind gives 0, false, "" or null (use ChangeType to convert).
    // AsI2, AsI4 and AsBool also read UI1, I2 and BOOL, which widen without loss.
    uint8_t AsUI1() const;
    int16_t AsI2() const;
    int32_t AsI4() const;
    // R4, or the integer kinds widened; 0 for another kind.
    float AsR4() const;
    bool AsBool() const;
    const std::string& AsBstr() const;
    double AsDate() const;
    DateStatus DateState() const;
    std::shared_ptr<IDispatch> AsDispatch() const;
    // UNKNOWN, or a DISPATCH seen as the IUnknown it also is.
    std::shared_ptr<IUnknown> AsUnknown() const;
    // The bytes of a UI1Array; empty for another kind.
    const std::vector<uint8_t>& AsBytes() const;
    // The integers of an I4Array; empty for another kind.
    const std::vector<int32_t>& AsI4s() const;
    HRESULT AsError() const;
    void* AsPointer(std::string_view tag) const;
    template <typename T>
    T* AsPointer(std::string_view tag) const {
        return static_cast<T*>(AsPointer(tag));
    }
    const std::string& PointerTag() const { return m_text; }

    // Targets of the by-reference kinds; null unless the variant is exactly that kind.
    uint8_t* AsRefUI1() const;
    int16_t* AsRefI2() const;
    int32_t* AsRefI4() const;
    float* AsRefR4() const;
    int16_t* AsRefBool() const;
    std::string* AsRefBstr() const;
    double* AsRefDate() const;
    std::shared_ptr<IDispatch>* AsRefDispatch() const;
    std::shared_ptr<IUnknown>* AsRefUnknown() const;
    std::vector<uint8_t>* AsRefBytes() const;
    Variant* AsRefVariant() const;

    // The value a by-reference variant points at (a copy); a by-value variant is returned as it is.
    // A VARIANT by reference gives the variant it points at, itself dereferenced when by reference; one
    // that points at another VARIANT by reference gives E_INVALIDARG, as nesting is not allowed.
    // A null reference gives E_POINTER.
    HRESULT Dereference(Variant& out) const;

    bool operator==(const Variant& other) const;

  private:
    VarType m_type = VarType::Empty;
    int32_t m_int = 0;    // I2, I4, BOOL (-1/0), ERROR
    double m_date = 0.0;  // DATE; R4 too

    DateStatus m_dateStatus = DateStatus::Valid;
    std::string m_text;  // BSTR; the tag of a Pointer
    std::shared_ptr<IDispatch> m_dispatch;
    std::shared_ptr<IUnknown> m_unknown;
    std::vector<uint8_t> m_bytes;  // UI1Array
    std::vector<int32_t> m_ints;   // I4Array
    void* m_address = nullptr;     // Pointer and every by-reference kind
};

// The coercion Invoke applies to an argument: converts `in` (dereferenced first when by reference) to the
// by-value kind `to`. Supported, as the Windows coercion does them:
//   UI1, I2, I4, R4, BOOL, DATE among each other (BOOL: non-zero is VARIANT_TRUE; to an integer rounds half
//   to even; to R4 out of its range overflows); BSTR to UI1, I2, I4, R4 and BOOL (decimal text with optional
//   sign, fraction and exponent, blanks around it; "True"/"False" for BOOL), UI1/I2/I4/R4/BOOL to BSTR
//   (decimal, R4 in its shortest form; BOOL gives "-1" or "0"); EMPTY to UI1, I2, I4, R4, BOOL, DATE (zero)
//   and BSTR (""); DISPATCH to UNKNOWN (the same object), UNKNOWN to DISPATCH through QueryInterface
//   (E_NOINTERFACE when the object has no dispatch interface; a null object stays null); an array only to
//   itself. VARIANT is no conversion: the value is passed on as it is, by reference or missing included.
// A value out of the target's range gives DISP_E_OVERFLOW; an unsupported pair or unreadable text
// DISP_E_TYPEMISMATCH (DATE and BSTR do not convert: date text is locale-bound); a
// by-reference or unknown target kind DISP_E_BADVARTYPE. On failure `out` is left unchanged.
HRESULT ChangeType(const Variant& in, VarType to, Variant& out);

// "I2", "BSTR", "BYREF I4"... for messages.
std::string VarTypeName(VarType type);

}  // namespace platform::automation
