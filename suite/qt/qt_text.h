// Text at the edge between the 8-bit core (Windows-1252) and Qt's Unicode strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace suite {

// Every Windows-1252 character is one UTF-16 unit, and only 0x80-0x9F differ from Latin-1.
inline QString FromCp1252(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* to = out.data();
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        *to++ = QChar(
            static_cast<char16_t>(byte >= 0x80 && byte < 0xA0 ? platform::Cp1252ToUnicode(byte) : byte));
    }
    return out;
}

// Characters without a Windows-1252 form become '?'.
inline std::string ToCp1252(const QString& text) {
    return platform::Utf8ToCp1252(text.toStdString());
}

}  // namespace suite
