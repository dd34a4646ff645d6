// The stand-in TCP host's session scripts: one step a line ("send TEXT", "expect TEXT", "sleep MS",
// "close"; '#' starts a comment line), TEXT written with the escapes of standins/escapes.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "standins/escapes.h"

namespace standins::tcphost {

struct ScriptStep {
    enum class Kind { Send, Expect, Sleep, Close };
    Kind kind = Kind::Send;
    std::string bytes;     // Send, Expect
    int milliseconds = 0;  // Sleep
};

// The steps of a script; nullopt with "line N: reason" for a line that is not one.
std::optional<std::vector<ScriptStep>> ParseScript(std::string_view text, std::string* why = nullptr);

}  // namespace standins::tcphost
