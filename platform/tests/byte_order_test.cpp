// Little-endian record integers: the byte layout at an unaligned offset, signed values and 16-bit fields.
#include "platform/byte_order.h"

#include <array>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ByteOrder, StoresLowByteFirstAtAnyOffset) {
    std::array<uint8_t, 8> record{};
    StoreLittleEndian(record.data() + 1, uint32_t{0x12345678});
    StoreLittleEndian(record.data() + 5, uint16_t{0xBEEF});
    EXPECT_EQ(record, (std::array<uint8_t, 8>{0x00, 0x78, 0x56, 0x34, 0x12, 0xEF, 0xBE, 0x00}));
    EXPECT_EQ(LoadLittleEndian<uint32_t>(record.data() + 1), 0x12345678u);
    EXPECT_EQ(LoadLittleEndian<uint16_t>(record.data() + 5), 0xBEEF);
}

TEST(ByteOrder, SignedValuesRoundTrip) {
    for (const int32_t value : {0, 1, -1, -2, INT32_MIN, INT32_MAX}) {
        std::array<uint8_t, 4> field{};
        StoreLittleEndian(field.data(), value);
        EXPECT_EQ(LoadLittleEndian<int32_t>(field.data()), value);
    }
    std::array<uint8_t, 4> field{};
    StoreLittleEndian(field.data(), int32_t{-2});
    EXPECT_EQ(field, (std::array<uint8_t, 4>{0xFE, 0xFF, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace platform
