// Qt key events to virtual keys and modifiers, and which keys the terminal claims ahead of the hosting
// window's shortcuts.
#include "terminal/widget/key_adapter.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace terminal {
namespace {

struct KeyCase {
    const char* name;
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    const char16_t* text;
    uint32_t virtualKey;
    KeyModifiers mods;
    std::optional<uint8_t> character;
};

const KeyCase kKeyCases[] = {
    {"SmallLetter", Qt::Key_A, Qt::NoModifier, u"a", 0x41, {}, 'a'},
    {"ShiftedLetter", Qt::Key_A, Qt::ShiftModifier, u"A", 0x41, {.shift = true}, 'A'},
    {"CtrlLetter", Qt::Key_C, Qt::ControlModifier, u"\x03", 0x43, {.ctrl = true}, 0x03},
    {"Digit", Qt::Key_7, Qt::NoModifier, u"7", 0x37, {}, '7'},
    {"ShiftOneIsExclam", Qt::Key_Exclam, Qt::ShiftModifier, u"!", 0x31, {.shift = true}, '!'},
    {"ShiftSixIsCircum", Qt::Key_AsciiCircum, Qt::ShiftModifier, u"^", 0x36, {.shift = true}, '^'},
    {"ShiftZeroIsParen", Qt::Key_ParenRight, Qt::ShiftModifier, u")", 0x30, {.shift = true}, ')'},
    {"KeypadDigit", Qt::Key_5, Qt::KeypadModifier, u"5", 0x65, {}, '5'},
    {"KeypadStar", Qt::Key_Asterisk, Qt::KeypadModifier, u"*", 0x6A, {}, '*'},
    {"RowStarIsEight", Qt::Key_Asterisk, Qt::ShiftModifier, u"*", 0x38, {.shift = true}, '*'},
    {"KeypadMinus", Qt::Key_Minus, Qt::KeypadModifier, u"-", 0x6D, {}, '-'},
    {"KeypadHomeIsHome", Qt::Key_Home, Qt::KeypadModifier, u"", 0x24, {}, std::nullopt},
    {"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, u"\r", 0x0D, {}, 0x0D},
    {"Minus", Qt::Key_Minus, Qt::NoModifier, u"-", 0xBD, {}, '-'},
    {"Underscore", Qt::Key_Underscore, Qt::ShiftModifier, u"_", 0xBD, {.shift = true}, '_'},
    {"Colon", Qt::Key_Colon, Qt::ShiftModifier, u":", 0xBA, {.shift = true}, ':'},
    {"Tilde", Qt::Key_AsciiTilde, Qt::ShiftModifier, u"~", 0xC0, {.shift = true}, '~'},
    {"BraceRight", Qt::Key_BraceRight, Qt::ShiftModifier, u"}", 0xDD, {.shift = true}, '}'},
    {"Quote", Qt::Key_Apostrophe, Qt::NoModifier, u"'", 0xDE, {}, '\''},
    {"Backtab", Qt::Key_Backtab, Qt::ShiftModifier, u"", 0x09, {.shift = true}, std::nullopt},
    {"Escape", Qt::Key_Escape, Qt::NoModifier, u"\x1b", 0x1B, {}, 0x1B},
    {"F1", Qt::Key_F1, Qt::NoModifier, u"", 0x70, {}, std::nullopt},
    {"AltF12", Qt::Key_F12, Qt::AltModifier, u"", 0x7B, {.alt = true}, std::nullopt},
    {"F24", Qt::Key_F24, Qt::NoModifier, u"", 0x87, {}, std::nullopt},
    {"PageDown", Qt::Key_PageDown, Qt::NoModifier, u"", 0x22, {}, std::nullopt},
    {"CtrlInsert", Qt::Key_Insert, Qt::ControlModifier, u"", 0x2D, {.ctrl = true}, std::nullopt},
    {"Delete", Qt::Key_Delete, Qt::NoModifier, u"\x7f", 0x2E, {}, 0x7F},
    {"OemGlyphTypedAsCp437", Qt::Key_unknown, Qt::NoModifier, u"\u00e9", 0, {}, 0x82},
    {"NoCp437Form", Qt::Key_unknown, Qt::NoModifier, u"\u20ac", 0, {}, std::nullopt},
};

class KeyTable : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyTable, MapsToVirtualKeyModifiersAndCharacter) {
    const KeyCase& c = GetParam();
    const QKeyEvent event(QEvent::KeyPress, c.qtKey, c.modifiers, QString::fromUtf16(c.text));
    KeyAdapter adapter;
    const AdaptedKey key = adapter.Adapt(event);
    EXPECT_EQ(key.virtualKey, c.virtualKey);
    EXPECT_EQ(key.mods, c.mods);
    EXPECT_EQ(key.character, c.character);
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyTable, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Typed ASCII takes a short way past the code page's table; both ways give the same byte for every
// character of the first two pages.
TEST(KeyAdapter, TypedCharactersAreTheCodePagesBytes) {
    for (char16_t ch = 0; ch < 0x200; ++ch) {
        const std::optional<uint8_t> expected = ch < 0x20 || ch == 0x7F
                                                    ? std::optional<uint8_t>(static_cast<uint8_t>(ch))
                                                    : platform::UnicodeToCp437(ch);
        EXPECT_EQ(KeyAdapter::CharacterOf(QString(QChar(ch))), expected) << "U+" << std::hex << int(ch);
    }
}

TEST(KeyAdapter, LetterKeysRevealCapsLockAndTheLockKeyTogglesIt) {
    KeyAdapter adapter;
    // A capital without Shift: Caps Lock is on, and later keys carry it.
    adapter.Adapt(QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "Q"));
    EXPECT_TRUE(adapter.Adapt(QKeyEvent(QEvent::KeyPress, Qt::Key_F1, Qt::AltModifier)).mods.capsLock);
    // A small letter with Shift: still on.
    adapter.Adapt(QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::ShiftModifier, "q"));
    EXPECT_TRUE(adapter.CapsLock());
    adapter.Adapt(QKeyEvent(QEvent::KeyPress, Qt::Key_CapsLock, Qt::NoModifier));
    EXPECT_FALSE(adapter.CapsLock());
    adapter.Adapt(QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q"));
    EXPECT_FALSE(adapter.CapsLock());
    // A release or a shortcut probe reads the state without changing it.
    adapter.Adapt(QKeyEvent(QEvent::KeyRelease, Qt::Key_CapsLock, Qt::NoModifier));
    adapter.Read(QKeyEvent(QEvent::ShortcutOverride, Qt::Key_Q, Qt::NoModifier, "Q"));
    EXPECT_FALSE(adapter.CapsLock());
}

struct ClaimCase {
    const char* name;
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    bool capsLock;
    bool claimed;
};

const ClaimCase kClaimCases[] = {
    {"PlainLetter", Qt::Key_P, Qt::NoModifier, false, true},
    {"CtrlLetter", Qt::Key_P, Qt::ControlModifier, false, true},
    {"AltMnemonic", Qt::Key_P, Qt::AltModifier, false, false},
    {"AltF1", Qt::Key_F1, Qt::AltModifier, false, true},
    {"AltF4GoesToTheWindow", Qt::Key_F4, Qt::AltModifier, false, false},
    {"F4", Qt::Key_F4, Qt::NoModifier, false, true},
    {"CtrlTwoUntranslated", Qt::Key_2, Qt::ControlModifier, false, false},
    {"CtrlSix", Qt::Key_6, Qt::ControlModifier, false, true},
    {"ShiftLeftUntranslated", Qt::Key_Left, Qt::ShiftModifier, false, false},
    {"CtrlLeftUntranslated", Qt::Key_Left, Qt::ControlModifier, false, false},
    {"CtrlInsertCopies", Qt::Key_Insert, Qt::ControlModifier, false, true},
    {"ShiftInsertPastes", Qt::Key_Insert, Qt::ShiftModifier, false, true},
    {"Escape", Qt::Key_Escape, Qt::NoModifier, false, true},
    {"F13HasNoSequence", Qt::Key_F13, Qt::NoModifier, false, false},
    // With Caps Lock on, Alt is not consulted: Alt+P is then a plain P.
    {"CapsLockAltLetter", Qt::Key_P, Qt::AltModifier, true, true},
    {"UnknownKey", Qt::Key_LaunchMail, Qt::NoModifier, false, false},
    {"ModifierAlone", Qt::Key_Control, Qt::ControlModifier, false, false},
};

class ClaimTable : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(ClaimTable, ClaimsExactlyTheKeysTheTablesTranslate) {
    const ClaimCase& c = GetParam();
    KeyAdapter adapter;
    adapter.SetCapsLock(c.capsLock);
    const QKeyEvent event(QEvent::ShortcutOverride, c.qtKey, c.modifiers);
    EXPECT_EQ(KeyAdapter::Claims(adapter.Read(event), false), c.claimed);
    EXPECT_EQ(adapter.Claims(event, false), c.claimed) << "the claim read from the event alone";
}

// The screen answers shortcut overrides from the event without its text; the field editor and the key
// press read the whole key. Both give the same claim for every key, in every Caps Lock and Escape state.
TEST(KeyAdapter, ClaimFromTheEventIsTheClaimOfTheWholeKey) {
    for (const KeyCase& c : kKeyCases) {
        for (const bool capsLock : {false, true}) {
            for (const bool unixEscKey : {false, true}) {
                KeyAdapter adapter;
                adapter.SetCapsLock(capsLock);
                const QKeyEvent event(QEvent::ShortcutOverride, c.qtKey, c.modifiers,
                                      QString::fromUtf16(c.text));
                EXPECT_EQ(adapter.Claims(event, unixEscKey),
                          KeyAdapter::Claims(adapter.Read(event), unixEscKey))
                    << c.name << (capsLock ? " with Caps Lock" : "")
                    << (unixEscKey ? " with the Unix Escape" : "");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, ClaimTable, ::testing::ValuesIn(kClaimCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace terminal
