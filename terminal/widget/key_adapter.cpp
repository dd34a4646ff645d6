// Qt key codes to Windows virtual keys. Qt reports the shifted symbol as the key (Shift+1 is Key_Exclam),
// so the symbols are folded back onto the key that carries them on a US keyboard.
#include "terminal/widget/key_adapter.h"

#include "platform/codepage.h"

namespace terminal {
namespace {

struct KeyRow {
    int qtKey;
    uint32_t virtualKey;
};

constexpr KeyRow kKeys[] = {
    {Qt::Key_Backspace, vk::kBack},
    {Qt::Key_Tab, vk::kTab},
    {Qt::Key_Backtab, vk::kTab},
    {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, vk::kReturn},
    {Qt::Key_Enter, vk::kReturn},
    {Qt::Key_Shift, vk::kShift},
    {Qt::Key_Control, vk::kControl},
    {Qt::Key_Alt, vk::kMenu},
    {Qt::Key_AltGr, vk::kMenu},
    {Qt::Key_Pause, 0x13},
    {Qt::Key_CapsLock, vk::kCapital},
    {Qt::Key_Escape, vk::kEscape},
    {Qt::Key_Space, vk::kSpace},
    {Qt::Key_PageUp, vk::kPrior},
    {Qt::Key_PageDown, vk::kNext},
    {Qt::Key_End, vk::kEnd},
    {Qt::Key_Home, vk::kHome},
    {Qt::Key_Left, vk::kLeft},
    {Qt::Key_Up, vk::kUp},
    {Qt::Key_Right, vk::kRight},
    {Qt::Key_Down, vk::kDown},
    {Qt::Key_Print, 0x2C},
    {Qt::Key_Insert, vk::kInsert},
    {Qt::Key_Delete, vk::kDelete},
    {Qt::Key_Menu, 0x5D},
    {Qt::Key_NumLock, vk::kNumLock},
    {Qt::Key_ScrollLock, vk::kScroll},
    // The digit row and its shifted symbols.
    {Qt::Key_ParenRight, 0x30},
    {Qt::Key_Exclam, 0x31},
    {Qt::Key_At, 0x32},
    {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34},
    {Qt::Key_Percent, 0x35},
    {Qt::Key_AsciiCircum, 0x36},
    {Qt::Key_Ampersand, 0x37},
    {Qt::Key_Asterisk, 0x38},
    {Qt::Key_ParenLeft, 0x39},
    // Punctuation keys, plain and shifted.
    {Qt::Key_Semicolon, vk::kOem1},
    {Qt::Key_Colon, vk::kOem1},
    {Qt::Key_Equal, vk::kOemPlus},
    {Qt::Key_Plus, vk::kOemPlus},
    {Qt::Key_Comma, vk::kOemComma},
    {Qt::Key_Less, vk::kOemComma},
    {Qt::Key_Minus, vk::kOemMinus},
    {Qt::Key_Underscore, vk::kOemMinus},
    {Qt::Key_Period, vk::kOemPeriod},
    {Qt::Key_Greater, vk::kOemPeriod},
    {Qt::Key_Slash, vk::kOem2},
    {Qt::Key_Question, vk::kOem2},
    {Qt::Key_QuoteLeft, vk::kOem3},
    {Qt::Key_AsciiTilde, vk::kOem3},
    {Qt::Key_BracketLeft, vk::kOem4},
    {Qt::Key_BraceLeft, vk::kOem4},
    {Qt::Key_Backslash, vk::kOem5},
    {Qt::Key_Bar, vk::kOem5},
    {Qt::Key_BracketRight, vk::kOem6},
    {Qt::Key_BraceRight, vk::kOem6},
    {Qt::Key_Apostrophe, vk::kOem7},
    {Qt::Key_QuoteDbl, vk::kOem7},
};

// The numeric pad's own codes; its navigation keys (Num Lock off) keep the ordinary ones.
constexpr KeyRow kKeypad[] = {
    {Qt::Key_Asterisk, vk::kMultiply}, {Qt::Key_Plus, vk::kAdd},      {Qt::Key_Minus, vk::kSubtract},
    {Qt::Key_Period, vk::kDecimal},    {Qt::Key_Comma, vk::kDecimal}, {Qt::Key_Slash, vk::kDivide},
};

}  // namespace

uint32_t KeyAdapter::VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return static_cast<uint32_t>((keypad ? vk::kNumpad0 : vk::k0) + (qtKey - Qt::Key_0));
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return static_cast<uint32_t>(vk::kA + (qtKey - Qt::Key_A));
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return static_cast<uint32_t>(vk::kF1 + (qtKey - Qt::Key_F1));
    }
    if (keypad) {
        for (const KeyRow& row : kKeypad) {
            if (row.qtKey == qtKey) {
                return row.virtualKey;
            }
        }
    }
    for (const KeyRow& row : kKeys) {
        if (row.qtKey == qtKey) {
            return row.virtualKey;
        }
    }
    return 0;
}

std::optional<uint8_t> KeyAdapter::CharacterOf(const QString& text) {
    if (text.size() != 1) {
        return std::nullopt;
    }
    const char16_t ch = text.at(0).unicode();
    // Control characters (Enter, Tab, Ctrl+letter) are the bytes themselves, not the OEM glyphs that code
    // page 437 draws for them.
    if (ch < 0x20 || ch == 0x7F) {
        return static_cast<uint8_t>(ch);
    }
    // Printable ASCII is the same byte in code page 437: the common key needs no table search.
    if (ch < 0x7F) {
        return static_cast<uint8_t>(ch);
    }
    return platform::UnicodeToCp437(ch);
}

AdaptedKey KeyAdapter::ReadKey(const QKeyEvent& event) const {
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    AdaptedKey key;
    key.virtualKey = VirtualKeyOf(event.key(), modifiers);
    key.mods.ctrl = modifiers.testFlag(Qt::ControlModifier);
    key.mods.shift = modifiers.testFlag(Qt::ShiftModifier);
    key.mods.alt = modifiers.testFlag(Qt::AltModifier);
    key.mods.capsLock = m_capsLock;
    return key;
}

AdaptedKey KeyAdapter::Read(const QKeyEvent& event) const {
    AdaptedKey key = ReadKey(event);
    key.character = CharacterOf(event.text());
    return key;
}

bool KeyAdapter::Claims(const QKeyEvent& event, bool unixEscKey) const {
    return Claims(ReadKey(event), unixEscKey);
}

AdaptedKey KeyAdapter::Adapt(const QKeyEvent& event) {
    AdaptedKey key = Read(event);

    if (event.type() == QEvent::KeyPress) {
        if (event.key() == Qt::Key_CapsLock && !event.isAutoRepeat()) {
            m_capsLock = !m_capsLock;
        } else if (key.virtualKey >= vk::kA && key.virtualKey <= vk::kA + 25 && key.character &&
                   !key.mods.ctrl && !key.mods.alt) {
            // A capital without Shift, or a small letter with it, means Caps Lock is on.
            const bool capital = *key.character >= 'A' && *key.character <= 'Z';
            const bool small = *key.character >= 'a' && *key.character <= 'z';
            if (capital || small) {
                m_capsLock = capital != key.mods.shift;
            }
        }
    }
    key.mods.capsLock = m_capsLock;
    return key;
}

bool KeyAdapter::Claims(const AdaptedKey& key, bool unixEscKey) {
    if (key.virtualKey == 0) {
        return false;
    }
    if (key.virtualKey == vk::kInsert && (key.mods.ctrl || key.mods.shift)) {
        return true;
    }
    // Alt+F4 translates in the Alt list, but closing the window is what the user means by it: the hosting
    // window gets the first chance, and the key still reaches the terminal when nothing there takes it.
    if (key.virtualKey == vk::kF1 + 3 && key.mods.alt && !key.mods.ctrl && !key.mods.shift) {
        return false;
    }
    return TranslateKey(key.virtualKey, key.mods, unixEscKey).has_value();
}

}  // namespace terminal
