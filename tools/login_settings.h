// What the login dialogs share: the values they remember in the registry (the host's OS user and the
// application user number under HKCU), the local login name offered when no OS user was saved yet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/client_mode.h"

namespace tools {

// The field a login dialog puts the focus on.
enum class LoginField { User, Password };

// The OsUser value of the Varnel Server key under HKCU; else the login name; else "sorel".
std::string ReadOsUser();
bool WriteOsUser(std::string_view user);

// The UserNumber value of `mode`'s Server key under HKCU, 1 when missing or not a DWORD.
int32_t ReadUserNumber(suite::ClientMode mode);
bool WriteUserNumber(suite::ClientMode mode, int32_t user);

// The name of the user this process runs as (password database, then $USER); empty when neither knows.
std::string LoginName();

}  // namespace tools
