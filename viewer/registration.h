// The viewer's entry in the class registry: "Lumetra.Document" served by the lumetra program on the session
// bus.
#pragma once

#include <string>

#include "platform/automation/class_registry.h"

namespace viewer {

platform::automation::ClassRegistration LumetraRegistration(std::string programPath);
// Registers the running program in the scope the registration tool's variable asks for (the user's by
// default). REGDB_E_WRITEREGDB with `message` when the hive cannot be written.
platform::automation::HRESULT RegisterLumetra(std::string* message = nullptr);

}  // namespace viewer
