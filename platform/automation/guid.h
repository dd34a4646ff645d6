// Class and interface identifiers: 128-bit GUIDs in the registry's text form "{XXXXXXXX-XXXX-XXXX-XXXX-
// XXXXXXXXXXXX}", parsed at compile time for the constants components declare, and made fresh with libuuid.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/hex_digit.h"

namespace platform::automation {

struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    // The braced text form, hexadecimal digits in either case; anything else (no braces, a wrong length, a
    // stray character) gives nullopt.
    static constexpr std::optional<Guid> Parse(std::string_view text);
    // For constants: a text that does not parse fails to compile in a constant expression.
    static constexpr Guid FromLiteral(std::string_view text) {
        auto guid = Parse(text);
        if (!guid) {
            throw std::invalid_argument("malformed GUID literal");
        }
        return *guid;
    }
    // A new random identifier.
    static Guid Generate();

    // Upper-case braced form, as the registry keeps it.
    std::string ToString() const;
    constexpr bool IsNull() const { return *this == Guid{}; }

    constexpr auto operator<=>(const Guid&) const = default;
    constexpr bool operator==(const Guid&) const = default;
};

constexpr std::optional<Guid> Guid::Parse(std::string_view text) {
    // Field lengths in hexadecimal digits between the dashes.
    constexpr std::array<size_t, 5> kGroups{8, 4, 4, 4, 12};
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') {
        return std::nullopt;
    }
    std::array<uint8_t, 16> bytes{};
    size_t pos = 1;
    size_t byte = 0;
    for (size_t group = 0; group < kGroups.size(); ++group) {
        if (group > 0) {
            if (text[pos] != '-') {
                return std::nullopt;
            }
            ++pos;
        }
        for (size_t i = 0; i < kGroups[group]; i += 2) {
            uint8_t value = 0;
            for (size_t half = 0; half < 2; ++half) {
                const int digit = platform::HexDigitValue(text[pos++]);
                if (digit < 0) {
                    return std::nullopt;
                }
                value = static_cast<uint8_t>(value * 16 + digit);
            }
            bytes[byte++] = value;
        }
    }
    Guid guid;
    guid.data1 =
        (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
    guid.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
    guid.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
    for (size_t i = 0; i < 8; ++i) {
        guid.data4[i] = bytes[8 + i];
    }
    return guid;
}

// Interfaces every object answers or the layer itself uses.
inline constexpr Guid IID_NULL{};
inline constexpr Guid IID_IUnknown = Guid::FromLiteral("{00000000-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IDispatch = Guid::FromLiteral("{00020400-0000-0000-C000-000000000046}");
inline constexpr Guid IID_IConnectionPointContainer =
    Guid::FromLiteral("{B196B284-BAB4-101A-B69C-00AA00341D07}");

}  // namespace platform::automation
