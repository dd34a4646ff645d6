// C-style escapes shared by the stand-ins' session scripts and records and by the tests that write the
// scripts or read the records back: any bytes on one line of text. Test and demo code only; product code
// never includes it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/hex_digit.h"

namespace standins {

// Decodes \r \n \t \e (ESC) \\ \" \' \a \b \f \v \0-\377 (octal, up to three digits) and \xHH (one or two
// hex digits); nullopt with the reason for a broken escape.
inline std::optional<std::string> DecodeEscapes(std::string_view text, std::string* why = nullptr) {
    const auto fail = [why](std::string reason) -> std::optional<std::string> {
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return std::nullopt;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) {
            return fail("a backslash ends the text");
        }
        const char c = text[i];
        switch (c) {
            case 'r':
                out.push_back('\r');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'e':
                out.push_back('\x1b');
                break;
            case 'a':
                out.push_back('\a');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'v':
                out.push_back('\v');
                break;
            case '\\':
            case '"':
            case '\'':
                out.push_back(c);
                break;
            case 'x': {
                int value = 0;
                int digits = 0;
                while (digits < 2 && i + 1 < text.size() && platform::HexDigitValue(text[i + 1]) >= 0) {
                    value = value * 16 + platform::HexDigitValue(text[++i]);
                    ++digits;
                }
                if (digits == 0) {
                    return fail("\\x without hex digits");
                }
                out.push_back(static_cast<char>(value));
                break;
            }
            default: {
                if (c < '0' || c > '7') {
                    return fail(std::string("unknown escape \\") + c);
                }
                int value = c - '0';
                for (int digits = 1;
                     digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
                     ++digits) {
                    value = value * 8 + (text[++i] - '0');
                }
                if (value > 0xFF) {
                    return fail("octal escape above \\377");
                }
                out.push_back(static_cast<char>(value));
                break;
            }
        }
    }
    return out;
}

// Printable ASCII as it is, backslash, line feed, carriage return and tab as \\ \n \r \t, every other byte
// as \xHH: one line that DecodeEscapes turns back into the same bytes.
inline std::string EncodeEscapes(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        switch (ch) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte >= 0x20 && byte < 0x7F) {
                    out.push_back(ch);
                } else {
                    out += "\\x";
                    out.push_back(kHex[byte >> 4]);
                    out.push_back(kHex[byte & 0x0F]);
                }
        }
    }
    return out;
}

}  // namespace standins
