// The Windows "%NAME%" expansion (ExpandEnvironmentStrings). TEMP and TMP mean the temp folder, USERPROFILE
// the home folder; other names are looked up in the process environment (exact name first, then without
// case); unknown names and a lone "%" stay as written.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

std::string ExpandEnvironment(std::string_view text);
// The same with an explicit lookup for names other than TEMP, TMP and USERPROFILE (tests, child blocks).
std::string ExpandEnvironment(std::string_view text, const EnvironmentLookup& lookup);

}  // namespace platform
