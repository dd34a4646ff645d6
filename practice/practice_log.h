// A small diagnostic sink for the practice model: notes that are not user messages (a dropped incomplete
// group, a file that could not be read). Standard error until a program installs its own.
#pragma once

#include <functional>
#include <string_view>

namespace practice {

using LogSink = std::function<void(std::string_view line)>;

// Installs `sink`; an empty function restores standard error.
void SetLogSink(LogSink sink);
void Log(std::string_view line);

}  // namespace practice
