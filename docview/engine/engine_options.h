// The options a view holds as the control set them: the bytes of each option's data by its id.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

namespace docview {

using EngineOptions = std::map<uint32_t, std::string>;

// A plain option's value (16 or 32 bits), or `fallback` when the control never set it.
inline int32_t PlainOptionValue(const EngineOptions& options, uint32_t id, int32_t fallback) {
    auto it = options.find(id);
    if (it == options.end())
        return fallback;
    if (it->second.size() == 2) {
        int16_t narrow = 0;
        std::memcpy(&narrow, it->second.data(), 2);
        return narrow;
    }
    if (it->second.size() < 4)
        return fallback;
    int32_t value = 0;
    std::memcpy(&value, it->second.data(), 4);
    return value;
}

}  // namespace docview
