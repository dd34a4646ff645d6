// Code page tables and UTF conversions used where 8-bit core text meets Unicode: the OEM set 437 for the
// terminal screen and Windows-1252 for everything else, plus UTF-8/UTF-16 for files.
#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace platform {
namespace {

// Bytes 0x00-0x1F and 0x7F-0xFF of code page 437 as the OEM font draws them; 0x20-0x7E are ASCII.
constexpr std::array<char32_t, 32> kCp437Low = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};
constexpr char32_t kCp437Del = 0x2302;
constexpr std::array<char32_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1252 0x80-0x9F; the five holes keep their C1 control value.
constexpr std::array<char32_t, 32> kCp1252C1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

using ReverseTable = std::vector<std::pair<char32_t, uint8_t>>;

ReverseTable BuildReverse(char32_t (*forward)(uint8_t)) {
    ReverseTable table;
    for (int b = 0; b < 256; ++b) {
        table.emplace_back(forward(static_cast<uint8_t>(b)), static_cast<uint8_t>(b));
    }
    std::sort(table.begin(), table.end());
    return table;
}

std::optional<uint8_t> LookUp(const ReverseTable& table, char32_t ch) {
    auto it = std::lower_bound(table.begin(), table.end(), std::make_pair(ch, uint8_t{0}));
    if (it != table.end() && it->first == ch) {
        return it->second;
    }
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t ch) {
    if (ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) {
        ch = 0xFFFD;
    }
    if (ch < 0x80) {
        out.push_back(static_cast<char>(ch));
    } else if (ch < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else if (ch < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    }
}

// Decodes one UTF-16 character; a lone surrogate yields nullopt.
std::optional<char32_t> NextUtf16(std::u16string_view text, size_t& pos) {
    const char16_t unit = text[pos++];
    if (unit < 0xD800 || unit > 0xDFFF) {
        return unit;
    }
    if (unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF) {
        const char16_t trail = text[pos++];
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (trail - 0xDC00);
    }
    return std::nullopt;
}

template <typename ToByte>
std::string FromUtf8(std::string_view utf8, ToByte toByte) {
    std::string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const auto ch = NextUtf8(utf8, pos);
        const auto byte = ch ? toByte(*ch) : std::nullopt;
        out.push_back(byte ? static_cast<char>(*byte) : '?');
    }
    return out;
}

template <typename ToChar>
std::string ToUtf8(std::string_view bytes, ToChar toChar) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        AppendUtf8(out, toChar(static_cast<uint8_t>(c)));
    }
    return out;
}

}  // namespace

std::optional<char32_t> NextUtf8(std::string_view text, size_t& pos) {
    const auto lead = static_cast<uint8_t>(text[pos++]);
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    char32_t ch = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        ch = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        ch = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        ch = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return std::nullopt;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= text.size()) {
            return std::nullopt;
        }
        const auto next = static_cast<uint8_t>(text[pos]);
        if (next < low || next > high) {
            return std::nullopt;
        }
        low = 0x80;
        high = 0xBF;
        ch = (ch << 6) | (next & 0x3F);
        ++pos;
    }
    return ch;
}

bool IsValidUtf8(std::string_view text) {
    for (size_t pos = 0; pos < text.size();) {
        if (!NextUtf8(text, pos)) {
            return false;
        }
    }
    return true;
}

char32_t Cp437ToUnicode(uint8_t byte) {
    if (byte < 0x20) {
        return kCp437Low[byte];
    }
    if (byte < 0x7F) {
        return byte;
    }
    if (byte == 0x7F) {
        return kCp437Del;
    }
    return kCp437High[byte - 0x80];
}

std::optional<uint8_t> UnicodeToCp437(char32_t ch) {
    static const ReverseTable table = BuildReverse(&Cp437ToUnicode);
    if (auto byte = LookUp(table, ch)) {
        return byte;
    }
    // Pasted text carries real control characters (tab, line ends); they keep their byte.
    if (ch < 0x20 || ch == 0x7F) {
        return static_cast<uint8_t>(ch);
    }
    return std::nullopt;
}

std::string Cp437ToUtf8(std::string_view bytes) {
    return ToUtf8(bytes, &Cp437ToUnicode);
}

std::string Utf8ToCp437(std::string_view utf8) {
    return FromUtf8(utf8, &UnicodeToCp437);
}

char32_t Cp1252ToUnicode(uint8_t byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return kCp1252C1[byte - 0x80];
    }
    return byte;
}

std::optional<uint8_t> UnicodeToCp1252(char32_t ch) {
    static const ReverseTable table = BuildReverse(&Cp1252ToUnicode);
    return LookUp(table, ch);
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    return ToUtf8(bytes, &Cp1252ToUnicode);
}

std::string Utf8ToCp1252(std::string_view utf8) {
    return FromUtf8(utf8, &UnicodeToCp1252);
}

std::string Utf16LeToCp1252(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const auto ch = NextUtf16(text, pos);
        const auto byte = ch ? UnicodeToCp1252(*ch) : std::nullopt;
        out.push_back(byte ? static_cast<char>(*byte) : '?');
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    size_t pos = 0;
    while (pos < text.size()) {
        AppendUtf8(out, NextUtf16(text, pos).value_or(0xFFFD));
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t ch = NextUtf8(utf8, pos).value_or(0xFFFD);
        if (ch >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((ch - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((ch - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(ch));
        }
    }
    return out;
}

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (y >= 'A' && y <= 'Z') {
            y = static_cast<char>(y - 'A' + 'a');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace platform
