// The field editor `CInkeyCtrl` as a model: the one-line field a host program opens with command `a`, its
// editing rules (text, password, numeric, one-key choice; insert and overtype), the keys that end it and
// the reply each sends, type-ahead between fields, and the direct keys before the first field.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/core/key_sender.h"
#include "terminal/core/keyboard.h"

namespace terminal {

// Pixel rectangle of the edit box, in control coordinates.
struct FieldRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const FieldRect&) const = default;
};

// What placing the field needs of the screen: the cell size, the text origin and the frame's offsets.
struct CellGeometry {
    int32_t cellWidth = 0;
    int32_t cellHeight = 0;
    int32_t xOrigin = 0;
    int32_t yOrigin = 0;
    int32_t frameLeft = 0;
    int32_t frameTop = 0;
};

// The field description of command `a`: initial text, then seven integers and the key-list word.
struct FieldDescription {
    std::string text;
    int32_t column = 0;
    int32_t row = 0;
    int32_t length = 0;  // negative: a password field; the absolute value is the character limit
    int32_t numericMode = 0;
    int32_t options = 0;
    int32_t cursor = 0;   // 1-based
    int32_t advance = 0;  // 1 insert, 0 overtype
    std::string keyList;  // "N" when there is none
};

// The 0x02-separated description, or nullopt when any of its eight fields is missing.
std::optional<FieldDescription> ParseFieldDescription(std::string_view text);

// What the field editor needs of the control that shows it. The control implements it on its window
// thread; tests record.
class InkeyHost {
  public:
    virtual ~InkeyHost() = default;
    // The exclamation beep of a refused character.
    virtual void Beep() = 0;
    virtual void ShowField(bool visible) = 0;
    virtual void MoveField(const FieldRect& rect) = 0;
    virtual void FocusField() = 0;
    // A command for the control window: copy 57634, paste 57637.
    virtual void PostCommand(int32_t commandId) = 0;
    // A diagnostic line (the control's debug log).
    virtual void LogLine(std::string_view text) = 0;
};

class CInkeyCtrl {
  public:
    static constexpr int32_t kChoiceMode = -98;
    static constexpr int32_t kUnlimitedDecimals = 99;
    static constexpr int32_t kMaxDecimals = 4;
    // Keys and characters kept between fields (typed ahead, or pasted beyond what the field ended on).
    static constexpr std::size_t kTypeAheadCap = 1024;
    static constexpr int32_t kCopyCommand = 57634;
    static constexpr int32_t kPasteCommand = 57637;
    static constexpr FieldRect kHiddenRect = {-100, -100, 50, 50};

    // End codes of the end notification.
    enum EndCode : int32_t {
        kEndEnter = 0,
        kEndLeft = 5,
        kEndRight = 6,
        kEndExit = 7,  // Escape, function keys, Page Up and Down
        kEndTab = 9,
        kEndReturn = 13,
        kEndUp = 38,
        kEndDown = 40,
    };

    CInkeyCtrl(InkeyHost& host, KeyPoster& poster);

    CKeySender& KeySender() { return m_keySender; }
    // The pipe's UnixEscKey setting, taken at connect.
    void SetUnixEscKey(bool unixEscKey) { m_keySender.SetUnixEscKey(unixEscKey); }

    // Command `a`: parse, place, start, leave direct-key mode, switch the channel prefix on, replay the
    // type-ahead and show the field when it is still open. False (nothing done) when malformed.
    bool OpenField(std::string_view description, const CellGeometry& geometry);
    void StartField(std::string_view text, int32_t length, int32_t numericMode, bool acceptEmpty,
                    int32_t cursor, int32_t insertMode);
    FieldRect Place(const CellGeometry& geometry);
    // Applies the Tab, arrow and help bits (1, 2 and 3) of the description's options.
    void SetOptions(int32_t options);
    void SetKeyList(std::string_view word);

    // A key press. `printable` says that the key also gives a printable character, which follows through
    // Char. Answers whether the key was used; the character of a used key is dropped.
    bool KeyDown(uint32_t virtualKey, KeyModifiers mods, bool printable = false);
    // The character of the last key press (Backspace 0x08, Enter 0x0D and so on included).
    void Char(uint8_t ch);

    // Edit commands of the context menu and the keyboard.
    std::string Copy() const;
    std::string Cut();
    void Paste(std::string_view bytes);
    void Clear();
    void Undo();
    void SelectAll();
    void SetSelection(std::size_t anchor, std::size_t caret);
    // "000000" with 1 at 1 cut, 2 copy, 3 paste, 4 delete, 5 select all where the action applies.
    std::string ContextMenuFlags(bool clipboardHasText) const;
    void DoubleClick();
    void MiddleClick();

    // Sends a changed text as a submission (channel 1, 0x01, then `command`: ESC [ @ ends the field, ESC [ |
    // asks the host to process it), clears and hides the field; false when no field is open or its text is
    // unchanged.
    bool Submit(std::string_view command = "\x1b[@");
    void ClearField();
    // Hides the field without ending it: keys typed meanwhile are kept as type-ahead.
    void HideField();
    // Shows a hidden field again and replays what was typed meanwhile; false when the field has ended.
    bool Reshow();
    void ReplayQueue();

    // The end notification: sends the reply for `endCode` and closes the field. An unknown code shows
    // "Unknown edit control notification value: %d" and sends nothing.
    void NotifyEnd(int32_t endCode, int32_t value);
    // The reply bytes for `endCode` with the field as it stands, or nullopt for an unknown code.
    std::optional<std::string> FieldEndReply(int32_t endCode, int32_t value, std::size_t caret) const;

    bool DirectKeys() const { return m_directKeys; }
    bool IsOpen() const { return m_open; }
    bool IsModified() const { return m_text != m_hostText; }
    const std::string& Text() const { return m_text; }
    // What the edit box shows: '*' for every character of a password field.
    std::string DisplayText() const;
    std::size_t Caret() const { return m_caret; }
    std::size_t SelectionStart() const { return std::min(m_anchor, m_caret); }
    std::size_t SelectionEnd() const { return std::max(m_anchor, m_caret); }
    int32_t InsertMode() const { return m_insertMode; }
    // Worked out from the text each time, so they can never disagree with it.
    int32_t DecimalPoint() const;
    bool Negative() const;
    bool PendingEscape() const { return m_pendingEscape; }
    std::size_t TypeAheadSize() const { return m_typeAhead.size(); }
    std::size_t Limit() const { return m_limit; }

  private:
    // Opens the field and replays the type-ahead, then shows the field unless that ended it.
    void OpenAndShow();

    struct KeyChar {
        uint32_t key = 0;  // exactly one of key and ch is set
        uint8_t ch = 0;
        KeyModifiers mods;
    };
    struct EditState {
        std::string text;
        std::size_t anchor = 0;
        std::size_t caret = 0;
    };

    bool IsChoice() const { return m_numericMode == kChoiceMode; }
    bool IsNumeric() const { return m_numericMode != 0 && !IsChoice(); }
    bool HasSelection() const { return m_anchor != m_caret; }
    bool IsFull() const { return m_text.size() >= m_limit; }

    bool ControlKeyDown(uint32_t virtualKey, KeyModifiers mods, bool printable);
    bool FieldKeyDown(uint32_t virtualKey, KeyModifiers mods);
    bool ChoiceKeyDown(uint32_t virtualKey);
    void FieldChar(uint8_t ch);
    bool AcceptsNumeric(uint8_t ch, const std::string& candidate, std::size_t at) const;
    bool TypeAhead(KeyChar item);
    void EscapeKey(KeyModifiers mods);
    void EndWithKey(uint32_t virtualKey, KeyModifiers mods);
    void CloseField();

    // Default editing.
    void Remember();
    void ReplaceSelection(std::string_view with);
    void Backspace();
    void DeleteForward();
    void MoveCaret(std::size_t to, bool extend);

    InkeyHost& m_host;
    CKeySender m_keySender;

    int32_t m_numericMode = 0;
    int32_t m_column = 0;
    int32_t m_row = 0;
    int32_t m_width = 0;
    bool m_keyHandled = false;
    bool m_acceptEmpty = false;
    int32_t m_insertMode = 1;
    bool m_directKeys = true;
    bool m_ending = false;
    bool m_tabEnds = false;
    bool m_arrowsEnd = false;
    bool m_help = true;
    std::string m_hostText;
    bool m_hasKeyList = false;
    std::string m_keyList;
    bool m_pendingEscape = false;
    FieldRect m_rect = kHiddenRect;

    bool m_active = false;  // started and not yet ended, submitted or cleared
    bool m_open = false;    // shown and taking input
    bool m_password = false;
    std::size_t m_limit = 0;
    std::size_t m_startCursor = 0;
    std::string m_text;
    std::size_t m_anchor = 0;
    std::size_t m_caret = 0;
    std::optional<EditState> m_undo;
    std::deque<KeyChar> m_typeAhead;
};

}  // namespace terminal
