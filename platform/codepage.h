// Conversions at the edges of the 8-bit core: OEM code page 437 for screen bytes, Windows-1252 for other
// text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Code page 437: every byte maps to one Unicode character (0x00-0x1F to the OEM glyphs, as a terminal face
// draws them, except NUL which stays U+0000).
char32_t Cp437ToUnicode(uint8_t byte);
std::optional<uint8_t> UnicodeToCp437(char32_t ch);
std::string Cp437ToUtf8(std::string_view bytes);
// Characters without a 437 form become '?'.
std::string Utf8ToCp437(std::string_view utf8);

// Windows-1252: the five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same
// value.
char32_t Cp1252ToUnicode(uint8_t byte);
std::optional<uint8_t> UnicodeToCp1252(char32_t ch);
std::string Cp1252ToUtf8(std::string_view bytes);
// Characters without a 1252 form become '?'. Malformed UTF-8 sequences become '?' too.
std::string Utf8ToCp1252(std::string_view utf8);

// UTF-16LE (as 16-bit archive strings and REGEDIT files carry it) to Windows-1252.
std::string Utf16LeToCp1252(std::u16string_view text);

// Lossless UTF-8 and UTF-16 conversions for files that carry text beyond 1252 (the REGEDIT hives).
// Malformed sequences and lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Decodes one UTF-8 character at pos and advances past it. A malformed sequence (overlong, surrogate, past
// U+10FFFF, cut short) yields nullopt and is skipped as one maximal ill-formed part.
std::optional<char32_t> NextUtf8(std::string_view text, size_t& pos);
bool IsValidUtf8(std::string_view text);

// Case-insensitive comparison as the registry and dispatch names use it (ASCII letters fold).
bool EqualsNoCase(std::string_view a, std::string_view b);
// The same folding spelt out: ASCII letters to lower case, every other byte as it stands.
std::string LowerAscii(std::string_view text);

}  // namespace platform
