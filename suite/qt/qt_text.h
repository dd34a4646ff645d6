// Text at the edge between the 8-bit core (Windows-1252) and Qt's Unicode strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace suite {

inline QString FromCp1252(std::string_view bytes) {
    return QString::fromStdString(platform::Cp1252ToUtf8(bytes));
}

// Characters without a Windows-1252 form become '?'.
inline std::string ToCp1252(const QString& text) {
    return platform::Utf8ToCp1252(text.toStdString());
}

}  // namespace suite
