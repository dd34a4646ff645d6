// Turns Qt key events into what the terminal's keyboard tables are keyed by: a Windows virtual-key code,
// the modifier state and the typed character in code page 437. Also decides which keys the terminal claims
// ahead of the hosting window's shortcuts.
#pragma once

#include <QKeyEvent>
#include <cstdint>
#include <optional>

#include "terminal/core/keyboard.h"

namespace terminal {

struct AdaptedKey {
    uint32_t virtualKey = 0;  // 0 when the key has no virtual-key code the terminal knows
    KeyModifiers mods;
    std::optional<uint8_t> character;  // the character the key types, as a screen byte
    bool operator==(const AdaptedKey&) const = default;
};

class KeyAdapter {
  public:
    // The virtual-key code of a Qt key on a US layout; 0 when there is none.
    static uint32_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers);
    // The screen byte a key event's text types, if any.
    static std::optional<uint8_t> CharacterOf(const QString& text);

    // Reads a key press; letter keys also reveal the Caps Lock state, which Qt does not report.
    AdaptedKey Adapt(const QKeyEvent& event);
    // Reads any key event with the Caps Lock state as last known, changing nothing.
    AdaptedKey Read(const QKeyEvent& event) const;

    // Whether the terminal takes `key` before the hosting window's shortcuts: the keys its tables translate
    // in this modifier state, and Ctrl+Insert and Shift+Insert (copy and paste).
    static bool Claims(const AdaptedKey& key, bool unixEscKey);
    // The same for a key event, read as Read does but for the typed character, which the claim does not
    // look at: the screen answers every key's shortcut override with it.
    bool Claims(const QKeyEvent& event, bool unixEscKey) const;

    bool CapsLock() const { return m_capsLock; }
    void SetCapsLock(bool on) { m_capsLock = on; }

  private:
    // Read without the character.
    AdaptedKey ReadKey(const QKeyEvent& event) const;

    bool m_capsLock = false;
};

}  // namespace terminal
