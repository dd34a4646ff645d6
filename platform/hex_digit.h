// The value of one hexadecimal digit, for the text forms that spell bytes in hex (registry files, escapes).
#pragma once

namespace platform {

// 0 to 15 for 0-9, a-f and A-F; -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The upper-case digit of a value 0 to 15.
constexpr char UpperHexDigit(int value) {
    return "0123456789ABCDEF"[value & 0x0F];
}

}  // namespace platform
