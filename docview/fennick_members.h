// The members of the control's dispatch interface as data: DISPID, name, access, type and the parameters of
// each method. The dispatch table and the type checks of hosts are built from it, never from a switch.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace docview {

enum class Access : uint8_t { Method, Get, GetPut, GetPutRef };

// None ends a parameter list and is the result of a method that returns nothing.
enum class Type : uint8_t { None, I2, I4, Bstr, R4, Font, Handle, Color, Position, Picture, Variant };

inline constexpr size_t kMaxParams = 12;

struct MemberSpec {
    int32_t dispid;
    std::string_view name;
    Access access;
    // A property's type, or a method's result.
    Type type;
    std::array<Type, kMaxParams> params;

    size_t ParamCount() const;
};

// Every member in the order of the interface's slots.
std::span<const MemberSpec> Members();

// Lookup by DISPID, or by name without regard to ASCII case; null when there is none.
const MemberSpec* FindMember(int32_t dispid);
const MemberSpec* FindMember(std::string_view name);

}  // namespace docview
