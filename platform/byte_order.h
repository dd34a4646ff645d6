// Little-endian integers at any byte offset of a record that leaves the process (hand-over records, files),
// whatever the alignment and the host's own byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace platform {

// Only 16- and 32-bit integers: a wider type would write past a 4-byte field.
template <typename T>
concept RecordInteger = std::is_integral_v<T> &&(sizeof(T) == 2 || sizeof(T) == 4);

template <RecordInteger T>
void StoreLittleEndian(uint8_t* at, T value) {
    const auto bits = static_cast<std::make_unsigned_t<T>>(value);
    for (std::size_t n = 0; n < sizeof(T); ++n) {
        at[n] = static_cast<uint8_t>(bits >> (8 * n));
    }
}

template <RecordInteger T>
T LoadLittleEndian(const uint8_t* at) {
    std::make_unsigned_t<T> bits = 0;
    for (std::size_t n = 0; n < sizeof(T); ++n) {
        bits |= static_cast<std::make_unsigned_t<T>>(static_cast<uint32_t>(at[n]) << (8 * n));
    }
    return static_cast<T>(bits);
}

}  // namespace platform
