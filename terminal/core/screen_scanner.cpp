// The escape sequence state machine: one pass decides completeness and builds the tokens, with every length
// bounded so that no host stream can make it read or store past its limits.
#include "terminal/core/screen_scanner.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

namespace terminal {

void EscapeScanner::ReleaseStrings() {
    for (size_t i = 0; i < m_count; ++i) {
        if (m_tokens[i].kind == TokenKind::String) {
            m_strings[i].clear();
        }
    }
    m_stringTokens = false;
}

std::string EscapeScanner::TakeString(size_t index) {
    if (index >= m_count || m_tokens[index].kind != TokenKind::String) {
        return {};
    }
    return std::exchange(m_strings[static_cast<size_t>(m_tokens[index].value)], std::string());
}

EscapeScanner::Step EscapeScanner::Scan(std::span<const uint8_t> data) {
    const size_t base = m_length;
    const uint8_t* const p = data.data();
    const size_t n = data.size();
    size_t i = 0;
    // The hot fields live in locals while the bytes are scanned and are stored back on the way out. Each
    // state is a label, so that going from one to the next costs no dispatch.
    State state = m_state;
    int32_t value = m_value;
    int32_t digits = m_digits;
    size_t count = m_count;
    bool discard = m_discard;
    Outcome outcome = Outcome::NeedMore;
    auto push = [&](TokenKind kind, int32_t v) {
        if (count == kMaxTokens) {
            discard = true;  // the stack holds 80 tokens
        } else {
            m_tokens[count++] = {kind, v};
        }
    };

    switch (state) {
        case State::Escape:
            goto escape;
        case State::Parameter:
            goto parameter;
        case State::Number:
            goto number;
        case State::String:
            goto string;
        case State::Idle:
        case State::Done:
            outcome = Outcome::Complete;
            goto out;
    }

escape:
    if (i == n) {
        state = State::Escape;
        goto out;
    }
    if (p[i] != '[') {
        state = State::Idle;
        outcome = Outcome::NotSequence;
        goto out;
    }
    ++i;

parameter:
    if (i == n) {
        state = State::Parameter;
        goto out;
    }
    {
        const uint8_t b = p[i++];
        if (IsDigit(b)) {
            value = b - '0';
            digits = 1;
            goto number;
        }
        if (b == '%') {
            m_stringStart = base + i;
            m_stringLength = 0;
            if (!discard && count < kMaxTokens) {
                m_strings[count].clear();
            }
            goto string;
        }
        push(TokenKind::Letter, b);
        if (b == '=') {
            goto parameter;
        }
        state = State::Done;
        outcome = Outcome::Complete;
        goto out;
    }

number:
    while (i < n && IsDigit(p[i])) {
        const int32_t d = p[i++] - '0';
        if (digits == kMaxDigits) {
            discard = true;  // the number's text would not fit its 80-character buffer
        } else {
            ++digits;
            if (value < INT32_MAX / 10) {
                value = value * 10 + d;
            } else {
                value = (value > INT32_MAX / 10 || d > INT32_MAX % 10) ? INT32_MAX : value * 10 + d;
            }
        }
    }
    if (i == n) {
        state = State::Number;
        goto out;
    }
    push(TokenKind::Integer, value);
    if (p[i] == ';') {
        ++i;  // one ';' right after a number is its separator; any other byte is read anew
    }
    goto parameter;

string : {
    const size_t room = kMaxStringBytes - m_stringLength;
    const size_t look = std::min(n - i, room + 1);
    const uint8_t* start = p + i;
    const auto* end = static_cast<const uint8_t*>(std::memchr(start, 0x01, look));
    const bool keep = !discard && count < kMaxTokens;
    if (end != nullptr) {
        const size_t len = static_cast<size_t>(end - start);
        if (keep) {
            m_strings[count].append(reinterpret_cast<const char*>(start), len);
        }
        i += len + 1;
        m_stringLength += len;
        m_stringTokens = true;
        // The index of its text is the token's own slot.
        push(TokenKind::String, static_cast<int32_t>(count));
        goto parameter;
    }
    if (n - i > room) {
        // The byte after the longest possible text is not 0x01: no string token; the sequence ends after
        // the '%' and what follows it is ordinary data.
        if (keep) {
            m_strings[count].clear();
        }
        i += room;
        m_stringLength += room;
        state = State::Done;
        outcome = Outcome::StringTooLong;
        goto out;
    }
    if (keep) {
        m_strings[count].append(reinterpret_cast<const char*>(start), n - i);
    }
    m_stringLength += n - i;
    i = n;
    state = State::String;
}

out:
    m_count = count;
    m_discard = discard;
    m_state = state;
    m_value = value;
    m_digits = digits;
    m_length = base + i;
    return Step{outcome, i};
}

}  // namespace terminal
