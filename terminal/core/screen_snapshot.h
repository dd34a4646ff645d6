// The byte layout of the ScreenSnapshot hand-over record: the screen's fields in their order, little-endian,
// 22160 bytes. Pointers, the command table and the field editor are process-local: written as zeros and
// ignored on reading.
#pragma once

#include <cstddef>

namespace terminal::snapshot {

inline constexpr size_t kSize = 22160;

inline constexpr size_t kCurrentForeground = 0;
inline constexpr size_t kCurrentBackground = 4;
inline constexpr size_t kClearColour = 8;
inline constexpr size_t kCellForegrounds = 12;
inline constexpr size_t kCellBackgrounds = 8012;
inline constexpr size_t kProcessLocal = 16012;  // owner, device context, font, clip region
inline constexpr size_t kInputBuffer = 16044;
inline constexpr size_t kCells = 18092;
inline constexpr size_t kCurrentToolbar = 20092;
inline constexpr size_t kColumn = 20096;
inline constexpr size_t kRow = 20100;
inline constexpr size_t kBufferedCount = 20104;
inline constexpr size_t kCellWidth = 20108;
inline constexpr size_t kCellHeight = 20112;
inline constexpr size_t kTokens = 20116;  // 80 x {kind, value}
inline constexpr size_t kTokenCount = 20756;
inline constexpr size_t kCursorShown = 20760;
inline constexpr size_t kPaintingOn = 20764;
inline constexpr size_t kGeometry = 20768;  // 17 ints in ScreenGeometry's order, then 4 spare bytes
inline constexpr size_t kCommandTable = 20840;
inline constexpr size_t kFieldEditor = 21864;
inline constexpr size_t kExpectedDigest = 22124;  // 32 characters and a terminating 0
inline constexpr size_t kExpectedDigestBytes = 33;

static_assert(kCellBackgrounds == kCellForegrounds + 2000 * 4);
static_assert(kProcessLocal == kCellBackgrounds + 2000 * 4);
static_assert(kInputBuffer == kProcessLocal + 32);
static_assert(kCells == kInputBuffer + 2048);
static_assert(kCurrentToolbar == kCells + 2000);
static_assert(kTokenCount == kTokens + 80 * 8);
static_assert(kCommandTable == kGeometry + 72);
static_assert(kFieldEditor == kCommandTable + 1024);
static_assert(kExpectedDigest + kExpectedDigestBytes <= kSize);

}  // namespace terminal::snapshot
