// The grammar of the host's escape sequences, ESC [ {number [;] | % text 0x01 | =} letter, as one bounded
// state machine. It decides completeness and produces the tokens in the same pass, a piece of input at a
// time, so a sequence split across reads scans exactly as it would whole.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace terminal {

inline constexpr size_t kMaxTokens = 80;
inline constexpr int32_t kMaxDigits = 80;
// A string's 0x01 must come within 1024 bytes of its '%', so it holds at most 1023 bytes.
inline constexpr size_t kMaxStringBytes = 1023;

enum class TokenKind : int32_t { Integer = 0, Letter = 1, String = 2 };

// For an integer the number, for a letter its byte, for a string the index of its text in the scanner.
struct Token {
    TokenKind kind = TokenKind::Integer;
    int32_t value = 0;
};

class EscapeScanner {
  public:
    enum class Outcome {
        NeedMore,       // all of the data belongs to the sequence, which goes on
        Complete,       // the sequence ended with its letter, the last byte consumed
        NotSequence,    // the byte after the ESC is not '[': nothing consumed, the ESC stands alone
        StringTooLong,  // no 0x01 within reach of the '%': the sequence ends after the '%' (see StringStart)
    };
    struct Step {
        Outcome outcome;
        size_t consumed;  // bytes of `data` taken into the sequence
    };

    // An ESC was seen; it is the sequence's first byte. (End() has left everything else clean.)
    void Begin() {
        m_state = State::Escape;
        m_length = 1;
    }
    // Forgets the sequence and its tokens. Value, digit count and string bookkeeping are set afresh where
    // they are first used.
    void End() {
        if (m_stringTokens) {
            ReleaseStrings();
        }
        m_state = State::Idle;
        m_length = 0;
        m_discard = false;
        m_count = 0;
    }
    bool Active() const { return m_state != State::Idle && m_state != State::Done; }

    Step Scan(std::span<const uint8_t> data);
    // The common sequence in one pass, for an idle scanner: `data` starts just after the ESC and holds the
    // whole sequence, numbers of at most kQuickDigits digits and no string. Then the tokens are those Scan
    // makes, the sequence is complete and `consumed` says how many bytes of `data` it took. False for any
    // other sequence, which Scan then takes from the start: nothing has changed.
    bool ScanQuick(std::span<const uint8_t> data, size_t& consumed);
    // Longer numbers could overflow, and longer sequences could leave the hold-back room: Scan's cases.
    static constexpr int32_t kQuickDigits = 9;
    static constexpr size_t kQuickLength = 256;

    // Bytes of the sequence so far, its ESC included.
    size_t Length() const { return m_length; }
    // After StringTooLong: the offset in the sequence of the first byte after the '%'.
    size_t StringStart() const { return m_stringStart; }
    // More than kMaxTokens tokens or a number of more than kMaxDigits digits: the sequence is read to its
    // end and then ignored.
    bool Discarded() const { return m_discard; }

    size_t TokenCount() const { return m_count; }
    const Token& TokenAt(size_t index) const { return m_tokens[index]; }
    // Moves a string token's text out (the command that takes it owns it).
    std::string TakeString(size_t index);

  private:
    enum class State { Idle, Escape, Parameter, Number, String, Done };

    static bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
    void ReleaseStrings();

    State m_state = State::Idle;
    size_t m_length = 0;
    int32_t m_value = 0;
    int32_t m_digits = 0;
    size_t m_stringStart = 0;
    size_t m_stringLength = 0;
    bool m_discard = false;
    bool m_stringTokens = false;
    size_t m_count = 0;
    std::array<Token, kMaxTokens> m_tokens{};
    std::array<std::string, kMaxTokens> m_strings;
};

// Inline: it runs for nearly every sequence of a busy screen, from the stream loop.
inline bool EscapeScanner::ScanQuick(std::span<const uint8_t> data, size_t& consumed) {
    const uint8_t* const p = data.data();
    const size_t n = std::min(data.size(), kQuickLength);
    if (n < 2 || p[0] != '[') {
        return false;
    }
    size_t i = 1;
    size_t count = 0;
    for (;;) {
        if (i == n || count == kMaxTokens) {
            return false;
        }
        const uint8_t b = p[i++];
        if (IsDigit(b)) {
            const size_t first = i - 1;
            int32_t value = b - '0';
            if (i < n) {
                // A second digit or not, without a branch on which: rows, columns and attributes come with
                // one digit or two as they fall, which no branch predicts.
                const uint32_t next = static_cast<uint32_t>(p[i]) - '0';
                const uint32_t two = next < 10 ? 1 : 0;
                value += static_cast<int32_t>((0u - two) & (static_cast<uint32_t>(value) * 9 + next));
                i += two;
            }
            while (i < n && IsDigit(p[i])) {
                if (i - first == static_cast<size_t>(kQuickDigits)) {
                    return false;
                }
                value = value * 10 + (p[i++] - '0');
            }
            if (i == n) {
                return false;
            }
            m_tokens[count++] = {TokenKind::Integer, value};
            if (p[i] == ';') {
                ++i;  // as Scan: one ';' right after a number is its separator
            }
            continue;
        }
        if (b == '%') {
            return false;
        }
        m_tokens[count++] = {TokenKind::Letter, b};
        if (b != '=') {
            break;
        }
    }
    m_count = count;
    m_state = State::Done;
    m_length = 1 + i;
    consumed = i;
    return true;
}

}  // namespace terminal
