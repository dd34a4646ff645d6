// The field editor's rules: what may enter the field, which keys end it and the reply each ending sends,
// type-ahead between fields and direct keys before the first one. Everything for the host goes through the
// key sender, so field replies and keys reach the host in the order they happened.
#include "terminal/core/inkey.h"

#include <cstdio>
#include <limits>

#include "hostlink/comm_pipe.h"
#include "platform/user_prompt.h"

namespace terminal {
namespace {

constexpr char kFieldSeparator = 0x02;
constexpr char kReplySeparator = 0x01;
constexpr std::string_view kHelpKey = "\x1b[H";
constexpr std::string_view kEndOfField = "\x1b[@";

// Code page 437 draws every byte from 0x20 up except DEL.
bool IsPrintable(uint8_t ch) {
    return ch >= 0x20 && ch != 0x7F;
}

int64_t Magnitude(int32_t value) {
    return value < 0 ? -static_cast<int64_t>(value) : value;
}

int32_t Saturate(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

std::string KeyName(uint32_t key, uint8_t ch) {
    char text[32];
    if (key != 0) {
        std::snprintf(text, sizeof text, "key 0x%02X", key);
    } else {
        std::snprintf(text, sizeof text, "character 0x%02X", ch);
    }
    return text;
}

}  // namespace

std::optional<FieldDescription> ParseFieldDescription(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(kFieldSeparator, start);
        parts.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    if (parts.size() < 9) {
        return std::nullopt;
    }
    FieldDescription d;
    d.text = std::string(parts[0]);
    int32_t* const numbers[] = {&d.column,  &d.row,    &d.length, &d.numericMode,
                                &d.options, &d.cursor, &d.advance};
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        *numbers[i] = hostlink::options::DecimalPrefix(parts[i + 1]);
    }
    d.keyList = std::string(parts[8]);
    return d;
}

CInkeyCtrl::CInkeyCtrl(InkeyHost& host, KeyPoster& poster) : m_host(host), m_keySender(poster) {}

bool CInkeyCtrl::OpenField(std::string_view description, const CellGeometry& geometry) {
    const std::optional<FieldDescription> d = ParseFieldDescription(description);
    if (!d) {
        return false;
    }
    SetKeyList(d->keyList);
    m_column = d->column;
    m_row = d->row;
    m_width = Saturate(Magnitude(d->length));
    Place(geometry);
    SetOptions(d->options);
    StartField(d->text, d->length, d->numericMode, (d->options & 1) != 0, Saturate(int64_t{d->cursor} - 1),
               d->advance);
    m_directKeys = false;
    m_keySender.SetChannelPrefix(1);
    m_ending = false;
    m_active = true;
    OpenAndShow();
    return true;
}

void CInkeyCtrl::StartField(std::string_view text, int32_t length, int32_t numericMode, bool acceptEmpty,
                            int32_t cursor, int32_t insertMode) {
    m_numericMode = numericMode;
    m_acceptEmpty = acceptEmpty;
    m_insertMode = insertMode != 0 ? 1 : 0;
    m_password = length < 0;
    m_limit = static_cast<std::size_t>(Magnitude(length));
    m_hostText = std::string(text);
    m_text = m_hostText;
    m_undo.reset();
    m_startCursor = cursor > 0 ? std::min<std::size_t>(static_cast<std::size_t>(cursor), m_text.size()) : 0;
    m_anchor = m_caret = m_startCursor;
    m_keyHandled = false;
    m_pendingEscape = false;
}

FieldRect CInkeyCtrl::Place(const CellGeometry& g) {
    // Host-given columns and rows are not trusted to keep the arithmetic in range.
    const int64_t cells = m_width != 0 ? m_width : 1;
    m_rect = {Saturate(int64_t{g.xOrigin} + int64_t{g.cellWidth} * m_column + g.frameLeft - 2),
              Saturate(int64_t{g.cellHeight} * m_row + g.frameTop + g.yOrigin - 2),
              Saturate(int64_t{g.cellWidth} * cells + 4), Saturate(int64_t{g.cellHeight} + 3)};
    m_host.MoveField(m_rect);
    return m_rect;
}

void CInkeyCtrl::SetOptions(int32_t options) {
    m_tabEnds = (options & 2) != 0;
    m_arrowsEnd = (options & 4) != 0;
    m_help = (options & 8) != 0;
}

void CInkeyCtrl::SetKeyList(std::string_view word) {
    m_hasKeyList = word != "N";
    m_keyList = std::string(word);
}

int32_t CInkeyCtrl::DecimalPoint() const {
    if (!IsNumeric()) {
        return -1;
    }
    const std::size_t point = m_text.find('.');
    return point == std::string::npos ? -1 : Saturate(static_cast<int64_t>(point));
}

bool CInkeyCtrl::Negative() const {
    return IsNumeric() && !m_text.empty() && m_text[0] == '-';
}

std::string CInkeyCtrl::DisplayText() const {
    return m_password ? std::string(m_text.size(), '*') : m_text;
}

bool CInkeyCtrl::KeyDown(uint32_t virtualKey, KeyModifiers mods, bool printable) {
    // Only the character of this same key press may be dropped: a flag left over from a key that gave no
    // character (a function key) must not eat the next key's character.
    m_keyHandled = false;
    if (IsModifierKey(virtualKey)) {
        return false;
    }
    // In a field a key that types a character is that character: the key list and the exit keys are for
    // the keys that give none (and for Alt, which never types).
    if (m_open && printable && !mods.alt) {
        return false;
    }
    const bool used = m_open ? FieldKeyDown(virtualKey, mods) : ControlKeyDown(virtualKey, mods, printable);
    m_keyHandled = used;
    return used;
}

bool CInkeyCtrl::ControlKeyDown(uint32_t virtualKey, KeyModifiers mods, bool printable) {
    if (virtualKey == vk::kInsert && (mods.ctrl || mods.shift)) {
        m_host.PostCommand(mods.ctrl ? kCopyCommand : kPasteCommand);
        return true;
    }
    if (m_directKeys) {
        const bool translated = m_keySender.QueueKey(virtualKey, mods);
        m_keySender.FlushKeys();
        return translated;
    }
    if (virtualKey == vk::kEscape) {
        m_keySender.WriteChannel0(kEndOfField);
        return true;
    }
    if (printable) {
        return false;  // kept as its character
    }
    TypeAhead({virtualKey, 0, mods});
    return true;
}

void CInkeyCtrl::Char(uint8_t ch) {
    if (m_keyHandled) {
        m_keyHandled = false;
        return;
    }
    if (!m_open) {
        if (!m_directKeys && IsPrintable(ch)) {
            TypeAhead({0, ch, {}});
        }
        return;
    }
    if (m_pendingEscape) {
        m_pendingEscape = false;
        if (ch == '1') {
            m_keySender.WriteChannel0(kEndOfField);
            return;
        }
    }
    FieldChar(ch);
}

bool CInkeyCtrl::TypeAhead(KeyChar item) {
    if (m_typeAhead.size() >= kTypeAheadCap) {
        m_host.LogLine("Type-ahead full (" + std::to_string(kTypeAheadCap) +
                       " keys): " + KeyName(item.key, item.ch) + " refused");
        m_host.Beep();
        return false;
    }
    m_typeAhead.push_back(item);
    return true;
}

void CInkeyCtrl::OpenAndShow() {
    m_open = true;
    ReplayQueue();
    // Type-ahead may already have ended the field; an ended field stays hidden.
    if (m_open) {
        m_host.ShowField(true);
        m_host.FocusField();
    }
}

void CInkeyCtrl::ReplayQueue() {
    while (!m_typeAhead.empty() && m_open && !m_ending) {
        const KeyChar item = m_typeAhead.front();
        m_typeAhead.pop_front();
        if (item.key != 0) {
            FieldKeyDown(item.key, item.mods);
        } else {
            FieldChar(item.ch);
        }
    }
    m_keyHandled = false;
}

bool CInkeyCtrl::FieldKeyDown(uint32_t virtualKey, KeyModifiers mods) {
    if (virtualKey == vk::kEscape) {
        EscapeKey(mods);
        return true;
    }
    if ((virtualKey >= vk::kF1 && virtualKey <= vk::kF24) || virtualKey == vk::kPrior ||
        virtualKey == vk::kNext) {
        EndWithKey(virtualKey, mods);
        return true;
    }
    if (virtualKey == vk::kHome) {
        m_keySender.SendChannel0(kHelpKey, true);
        return true;
    }
    if (m_hasKeyList && m_keySender.SendIfExitKey(m_keyList, virtualKey, mods) == 1) {
        return true;
    }
    if (virtualKey == vk::kInsert && (mods.ctrl || mods.shift)) {
        m_host.PostCommand(mods.ctrl ? kCopyCommand : kPasteCommand);
        return true;
    }
    if (IsChoice() && ChoiceKeyDown(virtualKey)) {
        return true;
    }
    const std::size_t start = SelectionStart();
    const std::size_t end = SelectionEnd();
    switch (virtualKey) {
        case vk::kTab:
            if (m_tabEnds) {
                NotifyEnd(kEndTab, 0);
            }
            return true;
        case vk::kUp:
            NotifyEnd(kEndUp, 0);
            return true;
        case vk::kDown:
            NotifyEnd(kEndDown, 0);
            return true;
        case vk::kReturn:
            if (m_acceptEmpty || !m_text.empty()) {
                NotifyEnd(kEndReturn, 0);
            }
            return true;
        case vk::kLeft:
            if (m_arrowsEnd && m_text.empty()) {
                NotifyEnd(kEndLeft, 0);
            } else if (HasSelection() && !mods.shift) {
                MoveCaret(start, false);
            } else {
                MoveCaret(m_caret > 0 ? m_caret - 1 : 0, mods.shift);
            }
            return true;
        case vk::kRight:
            if (m_arrowsEnd && m_text.empty()) {
                NotifyEnd(kEndRight, 0);
            } else if (HasSelection() && !mods.shift) {
                MoveCaret(end, false);
            } else {
                MoveCaret(std::min(m_caret + 1, m_text.size()), mods.shift);
            }
            return true;
        case vk::kEnd:
            MoveCaret(m_text.size(), mods.shift);
            return true;
        case vk::kInsert:
            m_insertMode = m_insertMode != 0 ? 0 : 1;
            return true;
        case vk::kDelete:
            if (m_limit != 0) {
                DeleteForward();
            }
            return true;
        case vk::kBack:
            if (m_limit != 0) {
                Backspace();
            }
            return true;
        default:
            return false;
    }
}

// Keys that end a one-key choice at the field's edges; false when the key goes on to the common handling.
bool CInkeyCtrl::ChoiceKeyDown(uint32_t virtualKey) {
    const bool atStart = !HasSelection() && m_caret == 0;
    const bool atEnd = !HasSelection() && m_caret == m_text.size();
    switch (virtualKey) {
        case vk::kBack:
            if (atStart) {
                NotifyEnd(kEndTab, 0);
                return true;
            }
            return false;
        case vk::kReturn:
            if (m_acceptEmpty || !m_text.empty()) {
                NotifyEnd(kEndEnter, 0);
                return true;
            }
            return false;
        case vk::kLeft:
            if (atStart) {
                NotifyEnd(kEndLeft, 0);
                return true;
            }
            return false;
        case vk::kRight:
            if (atEnd) {
                NotifyEnd(kEndRight, Saturate(static_cast<int64_t>(m_text.size())));
                return true;
            }
            return false;
        default:
            return false;
    }
}

void CInkeyCtrl::EscapeKey(KeyModifiers mods) {
    if (IsModified()) {
        Submit();
        return;
    }
    m_text = m_hostText;
    m_anchor = m_caret = std::min(m_startCursor, m_text.size());
    m_undo.reset();
    if (m_keySender.UnixEscKey()) {
        m_pendingEscape = true;
        return;
    }
    EndWithKey(vk::kEscape, mods);
}

void CInkeyCtrl::EndWithKey(uint32_t virtualKey, KeyModifiers mods) {
    NotifyEnd(kEndExit, 0);
    m_keySender.QueueKey(virtualKey, mods);
    m_keySender.FlushKeys();
}

void CInkeyCtrl::FieldChar(uint8_t ch) {
    if (m_limit == 0) {
        return;
    }
    if (ch == '?' && m_help) {
        m_keySender.SendChannel0(kHelpKey, true);
        return;
    }
    if (ch == 0x08) {
        Backspace();
        return;
    }
    // Overtype: the typed character replaces the one after the caret, in a full field as well; a full
    // one-key choice ends at the keystroke instead.
    if (m_insertMode == 0 && !HasSelection() && m_caret < m_text.size() && !(IsChoice() && IsFull())) {
        m_anchor = m_caret;
        m_caret = m_caret + 1;
    }
    if (IsChoice()) {
        if (!IsPrintable(ch)) {
            return;
        }
        if (HasSelection() || !IsFull()) {
            Remember();
            ReplaceSelection(std::string_view(reinterpret_cast<const char*>(&ch), 1));
            return;
        }
        if (m_caret >= m_text.size()) {
            NotifyEnd(kEndEnter, ch);
            return;
        }
        // A full choice field: the typed character goes in and the last one falls off as the answer.
        Remember();
        m_text.insert(m_caret, 1, static_cast<char>(ch));
        const auto fell = static_cast<uint8_t>(m_text.back());
        m_text.pop_back();
        m_anchor = m_caret = m_caret + 1;
        NotifyEnd(kEndEnter, fell);
        return;
    }
    if (!IsPrintable(ch)) {
        m_host.Beep();
        return;
    }
    const std::size_t at = SelectionStart();
    std::string candidate = m_text;
    candidate.replace(at, SelectionEnd() - at, 1, static_cast<char>(ch));
    if (candidate.size() > m_limit && candidate.size() > m_text.size()) {
        m_host.Beep();
        return;
    }
    if (IsNumeric() && !AcceptsNumeric(ch, candidate, at)) {
        m_host.Beep();
        return;
    }
    Remember();
    m_text = std::move(candidate);
    m_anchor = m_caret = at + 1;
}

// The numeric rules, judged on the text as it would be with `ch` at `at`.
bool CInkeyCtrl::AcceptsNumeric(uint8_t ch, const std::string& candidate, std::size_t at) const {
    const int64_t decimals = Magnitude(m_numericMode);
    if (ch == '-') {
        return m_numericMode < 0 && at == 0 && candidate.find('-', 1) == std::string::npos;
    }
    const bool digit = ch >= '0' && ch <= '9';
    if (!digit && ch != '.') {
        return false;
    }
    const std::size_t sign = candidate.find('-');
    if (sign != std::string::npos && sign > at) {
        return false;  // nothing in front of the sign
    }
    const std::size_t point = candidate.find('.');
    if (ch == '.') {
        if (decimals > kMaxDecimals && decimals != kUnlimitedDecimals) {
            return false;
        }
        if (point != at || candidate.find('.', at + 1) != std::string::npos) {
            return false;
        }
    } else if (point == std::string::npos || point > at) {
        return true;
    }
    const auto after = static_cast<int64_t>(candidate.size() - point - 1);
    return decimals == kUnlimitedDecimals || after <= decimals;
}

std::optional<std::string> CInkeyCtrl::FieldEndReply(int32_t endCode, int32_t value,
                                                     std::size_t caret) const {
    int32_t hostCode = 0;
    switch (endCode) {
        case kEndEnter:
        case kEndReturn:
            hostCode = 0;
            break;
        case kEndLeft:
            hostCode = 5;
            break;
        case kEndRight:
            hostCode = 6;
            break;
        case kEndExit:
            hostCode = -1;
            break;
        case kEndTab:
            hostCode = 7;
            break;
        case kEndUp:
            hostCode = 3;
            break;
        case kEndDown:
            hostCode = 2;
            break;
        default:
            return std::nullopt;
    }
    std::string group;
    if (IsChoice() && hostCode != -1) {
        for (const int64_t number :
             {int64_t{hostCode}, static_cast<int64_t>(caret), int64_t{value}, int64_t{m_insertMode}}) {
            group += std::to_string(number);
            group += kReplySeparator;
        }
        hostCode = -2;
    }
    const bool modified = IsModified();
    std::string reply = "\x1b\\";
    reply += modified ? '1' : '0';
    reply += kReplySeparator;
    reply += std::to_string(hostCode);
    reply += kReplySeparator;
    if (modified) {
        reply += m_text;
        reply += kReplySeparator;
    }
    reply += group;
    return reply;
}

void CInkeyCtrl::NotifyEnd(int32_t endCode, int32_t value) {
    const std::optional<std::string> reply = FieldEndReply(endCode, value, SelectionStart());
    if (!reply) {
        char text[96];
        std::snprintf(text, sizeof text, "Unknown edit control notification value: %d", endCode);
        platform::DefaultPrompt().Message(text, platform::PromptIcon::Stop);
        return;
    }
    m_ending = true;
    m_keySender.SendBytes(*reply);
    CloseField();
}

void CInkeyCtrl::CloseField() {
    m_active = false;
    HideField();
    m_rect = kHiddenRect;
    m_host.MoveField(m_rect);
    m_keySender.SetChannelPrefix(0);
}

void CInkeyCtrl::HideField() {
    if (m_open) {
        m_open = false;
        m_host.ShowField(false);
    }
}

bool CInkeyCtrl::Reshow() {
    if (!m_active) {
        return false;
    }
    if (!m_open) {
        OpenAndShow();
    }
    return m_open;
}

bool CInkeyCtrl::Submit(std::string_view command) {
    if (!m_open || !IsModified()) {
        return false;
    }
    std::string block = m_text;
    block += kReplySeparator;
    block += command;
    ClearField();
    m_keySender.SendChannel1(block, true);
    return true;
}

void CInkeyCtrl::ClearField() {
    m_text.clear();
    m_anchor = m_caret = 0;
    m_undo.reset();
    m_keySender.ClearBuffer();
    m_active = false;
    HideField();
}

std::string CInkeyCtrl::Copy() const {
    if (m_password) {
        return {};  // a password never leaves the field
    }
    return m_text.substr(SelectionStart(), SelectionEnd() - SelectionStart());
}

std::string CInkeyCtrl::Cut() {
    if (m_password || !HasSelection()) {
        return {};
    }
    std::string taken = Copy();
    Remember();
    ReplaceSelection({});
    return taken;
}

void CInkeyCtrl::Paste(std::string_view bytes) {
    if (!m_open) {
        return;
    }
    std::size_t refused = 0;
    for (const char c : bytes) {
        const auto ch = static_cast<uint8_t>(c);
        if (ch == '\n') {
            continue;
        }
        if (m_typeAhead.size() >= kTypeAheadCap) {
            ++refused;
            continue;
        }
        m_typeAhead.push_back(IsPrintable(ch) ? KeyChar{0, ch, {}} : KeyChar{ch, 0, {}});
    }
    if (refused != 0) {
        m_host.LogLine("Paste: " + std::to_string(refused) +
                       " characters refused, the key queue holds at most " + std::to_string(kTypeAheadCap));
        m_host.Beep();
    }
    ReplayQueue();
}

void CInkeyCtrl::Clear() {
    if (m_open && m_limit != 0) {
        Backspace();
    }
}

void CInkeyCtrl::Undo() {
    if (!m_undo) {
        return;
    }
    EditState current{m_text, m_anchor, m_caret};
    m_text = std::move(m_undo->text);
    m_anchor = std::min(m_undo->anchor, m_text.size());
    m_caret = std::min(m_undo->caret, m_text.size());
    m_undo = std::move(current);
}

void CInkeyCtrl::SelectAll() {
    m_anchor = 0;
    m_caret = m_text.size();
}

void CInkeyCtrl::SetSelection(std::size_t anchor, std::size_t caret) {
    m_anchor = std::min(anchor, m_text.size());
    m_caret = std::min(caret, m_text.size());
}

std::string CInkeyCtrl::ContextMenuFlags(bool clipboardHasText) const {
    std::string flags = "000000";
    const bool selection = HasSelection();
    if (selection && !m_password) {
        flags[1] = '1';
        flags[2] = '1';
    }
    if (clipboardHasText && m_limit != 0) {
        flags[3] = '1';
    }
    if (selection) {
        flags[4] = '1';
    }
    if (!m_text.empty()) {
        flags[5] = '1';
    }
    return flags;
}

void CInkeyCtrl::DoubleClick() {
    if (m_open) {
        m_keySender.SendChannel0(m_text + "\r", true);
    }
}

void CInkeyCtrl::MiddleClick() {
    if (m_open) {
        m_keySender.SendChannel0(kHelpKey, true);
    }
}

void CInkeyCtrl::Remember() {
    m_undo = EditState{m_text, m_anchor, m_caret};
}

void CInkeyCtrl::ReplaceSelection(std::string_view with) {
    const std::size_t at = SelectionStart();
    m_text.replace(at, SelectionEnd() - at, with);
    m_anchor = m_caret = at + with.size();
}

void CInkeyCtrl::Backspace() {
    if (HasSelection()) {
        Remember();
        ReplaceSelection({});
    } else if (m_caret > 0) {
        Remember();
        m_text.erase(m_caret - 1, 1);
        m_anchor = m_caret = m_caret - 1;
    }
}

void CInkeyCtrl::DeleteForward() {
    if (HasSelection()) {
        Remember();
        ReplaceSelection({});
    } else if (m_caret < m_text.size()) {
        Remember();
        m_text.erase(m_caret, 1);
    }
}

void CInkeyCtrl::MoveCaret(std::size_t to, bool extend) {
    m_caret = to;
    if (!extend) {
        m_anchor = to;
    }
}

}  // namespace terminal
