// A zero-terminated character field of fixed size, as the pipes keep their settings and as the session
// hand-over records carry them. Every assignment is bounded: longer text is cut and the caller told.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace hostlink {

template <std::size_t N>
class FixedText {
    static_assert(N >= 1);

  public:
    static constexpr std::size_t kSize = N;
    static constexpr std::size_t kMaxChars = N - 1;

    FixedText() = default;

    // Copies at most N-1 characters, stopping at an embedded zero; false when the text had to be cut.
    bool Assign(std::string_view text) {
        const std::size_t zero = text.find('\0');
        const bool hadZero = zero != std::string_view::npos;
        if (hadZero) {
            text = text.substr(0, zero);
        }
        const std::size_t count = text.size() < kMaxChars ? text.size() : kMaxChars;
        m_data.fill('\0');
        if (count != 0) {
            std::memcpy(m_data.data(), text.data(), count);
        }
        return count == text.size();
    }
    // Appends as much as fits; false when the text had to be cut.
    bool Append(std::string_view text) {
        std::string joined(View());
        joined.append(text);
        return Assign(joined);
    }
    void Clear() { m_data.fill('\0'); }

    std::string_view View() const { return {m_data.data(), ::strnlen(m_data.data(), N)}; }
    std::string Str() const { return std::string(View()); }
    const char* CStr() const { return m_data.data(); }
    bool Empty() const { return m_data[0] == '\0'; }
    std::size_t Length() const { return View().size(); }

    // The N bytes of the record field.
    void WriteTo(uint8_t* dest) const { std::memcpy(dest, m_data.data(), N); }
    // Reads N bytes of a record field; a field without a terminator is cut to N-1 characters.
    void ReadFrom(const uint8_t* src) {
        std::memcpy(m_data.data(), src, N);
        m_data[N - 1] = '\0';
    }

    bool operator==(const FixedText& other) const { return View() == other.View(); }

  private:
    std::array<char, N> m_data{};
};

}  // namespace hostlink
