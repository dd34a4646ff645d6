// Formatting and generation of GUIDs.
#include "platform/automation/guid.h"

#include <uuid/uuid.h>

#include <cstdio>

namespace platform::automation {

Guid Guid::Generate() {
    uuid_t raw;
    uuid_generate_random(raw);
    char text[37];
    uuid_unparse_upper(raw, text);
    // libuuid's text lacks the braces; its byte order is the text order, as ours is.
    return *Parse("{" + std::string(text) + "}");
}

std::string Guid::ToString() const {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2,
                  data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
    return text;
}

}  // namespace platform::automation
