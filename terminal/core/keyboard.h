// Keyboard translation: Windows virtual-key codes and the modifier state turned into the bytes the host
// programs' terminal keyboard sends, through fixed per-key tables and per-modifier sequence lists.
// The tables assume a US layout; the toolkit edge maps its key events to these codes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace terminal {

// The virtual-key codes the terminal and its field editor look at.
namespace vk {
inline constexpr uint32_t kBack = 0x08;
inline constexpr uint32_t kTab = 0x09;
inline constexpr uint32_t kReturn = 0x0D;
inline constexpr uint32_t kShift = 0x10;
inline constexpr uint32_t kControl = 0x11;
inline constexpr uint32_t kMenu = 0x12;  // Alt
inline constexpr uint32_t kCapital = 0x14;
inline constexpr uint32_t kEscape = 0x1B;
inline constexpr uint32_t kSpace = 0x20;
inline constexpr uint32_t kPrior = 0x21;  // Page Up
inline constexpr uint32_t kNext = 0x22;   // Page Down
inline constexpr uint32_t kEnd = 0x23;
inline constexpr uint32_t kHome = 0x24;
inline constexpr uint32_t kLeft = 0x25;
inline constexpr uint32_t kUp = 0x26;
inline constexpr uint32_t kRight = 0x27;
inline constexpr uint32_t kDown = 0x28;
inline constexpr uint32_t kInsert = 0x2D;
inline constexpr uint32_t kDelete = 0x2E;
inline constexpr uint32_t k0 = 0x30;        // digit keys 0x30-0x39
inline constexpr uint32_t kA = 0x41;        // letter keys 0x41-0x5A
inline constexpr uint32_t kNumpad0 = 0x60;  // 0x60-0x69
inline constexpr uint32_t kMultiply = 0x6A;
inline constexpr uint32_t kAdd = 0x6B;
inline constexpr uint32_t kSubtract = 0x6D;
inline constexpr uint32_t kDecimal = 0x6E;
inline constexpr uint32_t kDivide = 0x6F;
inline constexpr uint32_t kF1 = 0x70;  // F1-F24: 0x70-0x87
inline constexpr uint32_t kF12 = 0x7B;
inline constexpr uint32_t kF24 = 0x87;
inline constexpr uint32_t kNumLock = 0x90;
inline constexpr uint32_t kScroll = 0x91;
inline constexpr uint32_t kLShift = 0xA0;  // 0xA0-0xA5: left and right Shift, Ctrl, Alt
inline constexpr uint32_t kRMenu = 0xA5;
inline constexpr uint32_t kOem1 = 0xBA;       // ; :
inline constexpr uint32_t kOemPlus = 0xBB;    // = +
inline constexpr uint32_t kOemComma = 0xBC;   // , <
inline constexpr uint32_t kOemMinus = 0xBD;   // - _
inline constexpr uint32_t kOemPeriod = 0xBE;  // . >
inline constexpr uint32_t kOem2 = 0xBF;       // / ?
inline constexpr uint32_t kOem3 = 0xC0;       // ` ~
inline constexpr uint32_t kOem4 = 0xDB;       // [ {
inline constexpr uint32_t kOem5 = 0xDC;       // \ |
inline constexpr uint32_t kOem6 = 0xDD;       // ] }
inline constexpr uint32_t kOem7 = 0xDE;       // ' "
// The last code the per-key table has a row for.
inline constexpr uint32_t kLastTranslated = 0xE6;
}  // namespace vk

// Modifier state at the time of the key press. Caps Lock is the toggle, the others are held keys.
struct KeyModifiers {
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
    bool capsLock = false;
    bool operator==(const KeyModifiers&) const = default;
};

// The bytes of one translated key: at most 8, as the sequence lists hold them.
struct KeyBytes {
    std::array<uint8_t, 8> bytes{};
    uint8_t length = 0;

    std::string_view View() const { return {reinterpret_cast<const char*>(bytes.data()), length}; }
};

// The bytes key `virtualKey` sends in modifier state `mods`, or nullopt when it sends nothing. Escape is
// the single byte 0x1B when `unixEscKey` is set, else 1B 31. The modifiers are read in the order Ctrl,
// Shift, Caps Lock, Alt: the first that holds picks the column and list.
std::optional<KeyBytes> TranslateKey(uint32_t virtualKey, KeyModifiers mods, bool unixEscKey);

// Keys that only change the modifier state; they are never sent nor kept as type-ahead.
bool IsModifierKey(uint32_t virtualKey);

}  // namespace terminal
