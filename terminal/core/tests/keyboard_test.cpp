// Keyboard translation: which bytes each virtual key sends in each modifier state, with the precedence of
// the modifiers, the sequence lists and the keys that send nothing.
#include "terminal/core/keyboard.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace terminal {
namespace {

constexpr KeyModifiers kPlain{};
constexpr KeyModifiers kShift{.shift = true};
constexpr KeyModifiers kCtrl{.ctrl = true};
constexpr KeyModifiers kAlt{.alt = true};
constexpr KeyModifiers kCaps{.capsLock = true};
constexpr KeyModifiers kCapsShift{.shift = true, .capsLock = true};
constexpr KeyModifiers kCapsAlt{.alt = true, .capsLock = true};
constexpr KeyModifiers kCtrlShift{.ctrl = true, .shift = true};
constexpr KeyModifiers kShiftAlt{.shift = true, .alt = true};

struct KeyCase {
    uint32_t key;
    KeyModifiers mods;
    bool unixEsc;
    std::optional<std::string> bytes;  // nullopt: not translated
};

std::string Hex(std::string_view bytes) {
    std::string out;
    char cell[4];
    for (const char c : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", static_cast<unsigned char>(c));
        out += cell;
    }
    return out;
}

TEST(TranslateKey, KeyAndModifiersToBytes) {
    using std::nullopt;
    using std::string;
    const std::vector<KeyCase> cases = {
        // Escape, before the tables, by the UnixEscKey setting only.
        {vk::kEscape, kPlain, false, string("\x1b\x31")},
        {vk::kEscape, kPlain, true, string("\x1b")},
        {vk::kEscape, kCtrlShift, false, string("\x1b\x31")},
        // Control keys in the columns.
        {vk::kBack, kPlain, false, string("\x08")},
        {vk::kTab, kShift, false, string("\x09")},
        {vk::kReturn, kCaps, false, string("\x0d")},
        {vk::kReturn, kCtrl, false, nullopt},
        {vk::kSpace, kPlain, false, string(" ")},
        {vk::kSpace, kAlt, false, nullopt},
        // Letters: small plain, capitals with Shift or Caps Lock, control codes with Ctrl.
        {vk::kA, kPlain, false, string("a")},
        {vk::kA + 25, kPlain, false, string("z")},
        {vk::kA, kShift, false, string("A")},
        {vk::kA, kCaps, false, string("A")},
        {vk::kA, kCapsShift, false, string("A")},
        {vk::kA, kCtrl, false, string("\x01")},
        {vk::kA + 25, kCtrl, false, string("\x1a")},
        {vk::kA, kCtrlShift, false, string("\x01")},  // Ctrl wins over Shift
        {vk::kA, kAlt, false, nullopt},               // Alt reads only its list
        // Digits: shifted symbols; Shift wins over Caps Lock; Ctrl only on 6.
        {vk::k0, kPlain, false, string("0")},
        {vk::k0 + 1, kShift, false, string("!")},
        {vk::k0 + 1, kCapsShift, false, string("!")},
        {vk::k0, kShift, false, string(")")},
        {vk::k0 + 6, kShift, false, string("^")},
        {vk::k0 + 9, kCaps, false, string("9")},
        {vk::k0 + 2, kCtrl, false, nullopt},
        {vk::k0 + 6, kCtrl, false, string("\x1e")},
        {vk::k0 + 5, kCtrl, false, nullopt},
        // Numeric pad.
        {vk::kNumpad0 + 7, kShift, false, string("7")},
        {vk::kMultiply, kPlain, false, string("*")},
        {vk::kAdd, kCaps, false, string("+")},
        {vk::kSubtract, kShift, false, string("-")},
        {vk::kDecimal, kPlain, false, string(".")},
        {vk::kDivide, kPlain, false, string("/")},
        {vk::kDivide, kCtrl, false, nullopt},
        // Punctuation keys.
        {vk::kOem1, kShift, false, string(":")},
        {vk::kOemPlus, kShift, false, string("+")},
        {vk::kOemComma, kShift, false, string("<")},
        {vk::kOemMinus, kPlain, false, string("-")},
        {vk::kOemMinus, kShift, false, string("_")},
        {vk::kOemMinus, kCtrl, false, string("\x1f")},
        {vk::kOemPeriod, kShift, false, string(">")},
        {vk::kOem2, kShift, false, string("?")},
        {vk::kOem3, kShift, false, string("~")},
        {vk::kOem4, kCtrl, false, string("\x1b")},
        {vk::kOem5, kPlain, false, string("\\")},
        {vk::kOem5, kCtrl, false, string("\x1c")},
        {vk::kOem6, kShift, false, string("}")},
        {vk::kOem7, kShift, false, string("\"")},
        {vk::kOem7, kCaps, false, string("'")},
        // Cursor and editing keys through the plain list.
        {vk::kLeft, kPlain, false, string("\x1b[D")},
        {vk::kRight, kPlain, false, string("\x1b[C")},
        {vk::kUp, kCaps, false, string("\x1b[A")},
        {vk::kDown, kPlain, false, string("\x1b[B")},
        {vk::kInsert, kPlain, false, string("\x1b[L")},
        {vk::kDelete, kPlain, false, string("\x7f")},
        {vk::kNext, kPlain, false, string("\x1b[G")},
        {vk::kPrior, kPlain, false, string("\x1b[I")},
        {vk::kHome, kPlain, false, string("\x1b[H")},
        {vk::kEnd, kPlain, false, string("\x1b[F")},
        {vk::kLeft, kShift, false, nullopt},
        {vk::kLeft, kCtrl, false, nullopt},
        {vk::kLeft, kAlt, false, nullopt},
        // Function keys in the four lists.
        {vk::kF1, kPlain, false, string("\x1b[M")},
        {vk::kF12, kPlain, false, string("\x1b[X")},
        {vk::kF1, kShift, false, string("\x1b[Y")},
        {vk::kF1 + 2, kShift, false, string("\x1b[a")},
        {vk::kF12, kShift, false, string("\x1b[j")},
        {vk::kF1, kCtrl, false, string("\x1b[k")},
        {vk::kF12, kCtrl, false, string("\x1b[v")},
        {vk::kF1, kAlt, false, string("\x1b[w")},
        {vk::kF1 + 4, kAlt, false, string("\x1b[@")},
        {vk::kF1 + 6, kAlt, false, string("\x1b[\\")},
        {vk::kF1 + 10, kAlt, false, string("\x1b['")},
        {vk::kF12, kAlt, false, string("\x1b[")},      // two bytes only
        {vk::kF1, kCapsAlt, false, string("\x1b[M")},  // Caps Lock hides Alt
        {vk::kF1, kShiftAlt, false, string("\x1b[Y")},
        {vk::kF1 + 12, kPlain, false, nullopt},  // F13
        {vk::kF24, kAlt, false, nullopt},
        // Keys without a row, and codes past the table.
        {vk::kShift, kPlain, false, nullopt},
        {vk::kCapital, kCaps, false, nullopt},
        {0x00, kPlain, false, nullopt},
        {0xE6, kPlain, false, nullopt},
        {0xE7, kPlain, false, nullopt},
        {0xFF, kShift, false, nullopt},
        {0x10000, kCtrl, false, nullopt},
        {0xFFFFFFFF, kPlain, false, nullopt},
    };
    for (const KeyCase& c : cases) {
        const std::optional<KeyBytes> got = TranslateKey(c.key, c.mods, c.unixEsc);
        SCOPED_TRACE(::testing::Message()
                     << "key 0x" << std::hex << c.key << " ctrl " << c.mods.ctrl << " shift " << c.mods.shift
                     << " alt " << c.mods.alt << " caps " << c.mods.capsLock);
        ASSERT_EQ(got.has_value(), c.bytes.has_value()) << (got ? Hex(got->View()) : "");
        if (got) {
            EXPECT_EQ(Hex(got->View()), Hex(*c.bytes));
        }
    }
}

TEST(TranslateKey, NoKeyPastTheTableTranslatesInAnyState) {
    for (uint32_t key = vk::kLastTranslated + 1; key <= 0x1FF; ++key) {
        for (const KeyModifiers mods : {kPlain, kShift, kCtrl, kAlt, kCaps}) {
            EXPECT_FALSE(TranslateKey(key, mods, false).has_value()) << std::hex << key;
        }
    }
}

}  // namespace
}  // namespace terminal
