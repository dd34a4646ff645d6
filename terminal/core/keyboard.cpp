// The translation tables: one row per virtual key for the plain, Shift, Caps Lock and Ctrl columns, and
// the four sequence lists that the column value -1 sends a key to.
#include "terminal/core/keyboard.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace terminal {
namespace {

// A column value: 0 sends nothing, -1 looks the key up in the state's sequence list, else one byte.
constexpr int32_t kNone = 0;
constexpr int32_t kList = -1;

struct KeyRow {
    int32_t plain;
    int32_t shift;
    int32_t caps;
    int32_t ctrl;
};

constexpr std::size_t kRows = vk::kLastTranslated + 1;

constexpr std::array<KeyRow, kRows> MakeKeyTable() {
    std::array<KeyRow, kRows> t{};
    for (KeyRow& row : t) {
        row = {kNone, kNone, kNone, kList};
    }
    auto same = [&t](uint32_t key, int32_t value, int32_t ctrl) { t[key] = {value, value, value, ctrl}; };
    same(vk::kBack, 0x08, kList);
    same(vk::kTab, 0x09, kList);
    same(vk::kReturn, 0x0D, kList);
    same(vk::kEscape, kList, kList);
    same(vk::kSpace, 0x20, kList);
    for (uint32_t key = vk::kPrior; key <= vk::kDown; ++key) {
        same(key, kList, kList);
    }
    same(vk::kInsert, kList, kList);
    same(vk::kDelete, kList, kList);
    constexpr int32_t kShiftedDigits[10] = {0x29, 0x21, 0x40, 0x23, 0x24, 0x25, 0x5E, 0x26, 0x2A, 0x28};
    for (uint32_t d = 0; d < 10; ++d) {
        const auto digit = static_cast<int32_t>(0x30 + d);
        t[vk::k0 + d] = {digit, kShiftedDigits[d], digit, kList};
        t[vk::kNumpad0 + d] = {digit, digit, digit, kList};
    }
    t[vk::k0 + 2].ctrl = kNone;
    t[vk::k0 + 6].ctrl = 0x1E;
    for (uint32_t l = 0; l < 26; ++l) {
        const auto capital = static_cast<int32_t>(0x41 + l);
        t[vk::kA + l] = {capital + 0x20, capital, capital, static_cast<int32_t>(l + 1)};
    }
    same(vk::kMultiply, 0x2A, kList);
    same(vk::kAdd, 0x2B, kList);
    same(vk::kSubtract, 0x2D, kList);
    same(vk::kDecimal, 0x2E, kList);
    same(vk::kDivide, 0x2F, kList);
    for (uint32_t key = vk::kF1; key <= vk::kF12; ++key) {
        same(key, kList, kList);
    }
    t[vk::kOem1] = {0x3B, 0x3A, 0x3B, kList};
    t[vk::kOemPlus] = {0x3D, 0x2B, 0x3D, kList};
    t[vk::kOemComma] = {0x2C, 0x3C, 0x2C, kList};
    t[vk::kOemMinus] = {0x2D, 0x5F, 0x2D, 0x1F};
    t[vk::kOemPeriod] = {0x2E, 0x3E, 0x2E, kList};
    t[vk::kOem2] = {0x2F, 0x3F, 0x2F, kList};
    t[vk::kOem3] = {0x60, 0x7E, 0x60, kList};
    t[vk::kOem4] = {0x5B, 0x7B, 0x5B, 0x1B};
    t[vk::kOem5] = {0x5C, 0x7C, 0x5C, 0x1C};
    t[vk::kOem6] = {0x5D, 0x7D, 0x5D, 0x1D};
    t[vk::kOem7] = {0x27, 0x22, 0x27, kList};
    return t;
}

constexpr std::array<KeyRow, kRows> kKeyTable = MakeKeyTable();

struct Sequence {
    uint32_t key;
    std::string_view text;
};

// "\x1b[" is followed by the final byte; Delete is the lone DEL and Alt+F12 stops after the bracket.
constexpr Sequence kPlainList[] = {
    {vk::kLeft, "\x1b[D"},    {vk::kRight, "\x1b[C"},   {vk::kUp, "\x1b[A"},     {vk::kDown, "\x1b[B"},
    {vk::kInsert, "\x1b[L"},  {vk::kDelete, "\x7f"},    {vk::kNext, "\x1b[G"},   {vk::kPrior, "\x1b[I"},
    {vk::kHome, "\x1b[H"},    {vk::kEnd, "\x1b[F"},     {vk::kF1, "\x1b[M"},     {vk::kF1 + 1, "\x1b[N"},
    {vk::kF1 + 2, "\x1b[O"},  {vk::kF1 + 3, "\x1b[P"},  {vk::kF1 + 4, "\x1b[Q"}, {vk::kF1 + 5, "\x1b[R"},
    {vk::kF1 + 6, "\x1b[S"},  {vk::kF1 + 7, "\x1b[T"},  {vk::kF1 + 8, "\x1b[U"}, {vk::kF1 + 9, "\x1b[V"},
    {vk::kF1 + 10, "\x1b[W"}, {vk::kF1 + 11, "\x1b[X"},
};
constexpr Sequence kShiftList[] = {
    {vk::kF1, "\x1b[Y"},     {vk::kF1 + 1, "\x1b[Z"}, {vk::kF1 + 2, "\x1b[a"},  {vk::kF1 + 3, "\x1b[b"},
    {vk::kF1 + 4, "\x1b[c"}, {vk::kF1 + 5, "\x1b[d"}, {vk::kF1 + 6, "\x1b[e"},  {vk::kF1 + 7, "\x1b[f"},
    {vk::kF1 + 8, "\x1b[g"}, {vk::kF1 + 9, "\x1b[h"}, {vk::kF1 + 10, "\x1b[i"}, {vk::kF1 + 11, "\x1b[j"},
};
constexpr Sequence kCtrlList[] = {
    {vk::kF1, "\x1b[k"},     {vk::kF1 + 1, "\x1b[l"}, {vk::kF1 + 2, "\x1b[m"},  {vk::kF1 + 3, "\x1b[n"},
    {vk::kF1 + 4, "\x1b[o"}, {vk::kF1 + 5, "\x1b[p"}, {vk::kF1 + 6, "\x1b[q"},  {vk::kF1 + 7, "\x1b[r"},
    {vk::kF1 + 8, "\x1b[s"}, {vk::kF1 + 9, "\x1b[t"}, {vk::kF1 + 10, "\x1b[u"}, {vk::kF1 + 11, "\x1b[v"},
};
constexpr Sequence kAltList[] = {
    {vk::kF1, "\x1b[w"},     {vk::kF1 + 1, "\x1b[x"}, {vk::kF1 + 2, "\x1b[y"},  {vk::kF1 + 3, "\x1b[z"},
    {vk::kF1 + 4, "\x1b[@"}, {vk::kF1 + 5, "\x1b[["}, {vk::kF1 + 6, "\x1b[\\"}, {vk::kF1 + 7, "\x1b[]"},
    {vk::kF1 + 8, "\x1b[^"}, {vk::kF1 + 9, "\x1b[_"}, {vk::kF1 + 10, "\x1b['"}, {vk::kF1 + 11, "\x1b["},
};

std::optional<KeyBytes> FromText(std::string_view text) {
    KeyBytes out;
    out.length = static_cast<uint8_t>(std::min(text.size(), out.bytes.size()));
    std::memcpy(out.bytes.data(), text.data(), out.length);
    return out;
}

std::optional<KeyBytes> FromList(std::span<const Sequence> list, uint32_t key) {
    for (const Sequence& entry : list) {
        if (entry.key == key) {
            return FromText(entry.text);
        }
    }
    return std::nullopt;
}

std::optional<KeyBytes> FromColumn(int32_t value, std::span<const Sequence> list, uint32_t key) {
    if (value == kNone) {
        return std::nullopt;
    }
    if (value == kList) {
        return FromList(list, key);
    }
    KeyBytes out;
    out.bytes[0] = static_cast<uint8_t>(value);
    out.length = 1;
    return out;
}

}  // namespace

std::optional<KeyBytes> TranslateKey(uint32_t virtualKey, KeyModifiers mods, bool unixEscKey) {
    if (virtualKey == vk::kEscape) {
        return FromText(unixEscKey ? std::string_view("\x1b") : std::string_view("\x1b\x31"));
    }
    if (virtualKey >= kRows) {
        return std::nullopt;
    }
    const KeyRow& row = kKeyTable[virtualKey];
    if (mods.ctrl) {
        return FromColumn(row.ctrl, kCtrlList, virtualKey);
    }
    if (mods.shift) {
        return FromColumn(row.shift, kShiftList, virtualKey);
    }
    if (mods.capsLock) {
        return FromColumn(row.caps, kPlainList, virtualKey);
    }
    if (mods.alt) {
        return FromList(kAltList, virtualKey);
    }
    return FromColumn(row.plain, kPlainList, virtualKey);
}

bool IsModifierKey(uint32_t virtualKey) {
    return (virtualKey >= vk::kShift && virtualKey <= vk::kMenu) || virtualKey == vk::kCapital ||
           virtualKey == vk::kNumLock || virtualKey == vk::kScroll ||
           (virtualKey >= vk::kLShift && virtualKey <= vk::kRMenu);
}

}  // namespace terminal
