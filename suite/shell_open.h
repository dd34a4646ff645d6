// Opening a document the host names with the desktop's default application. Only documents are opened:
// programs, scripts and desktop entries are refused, and host paths go through the drive mapping.
#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

namespace suite {

// Hands a local path to the desktop's opener. The default starts "xdg-open" without a shell.
using ShellOpener = std::function<void(const std::filesystem::path&)>;
// Replaces the opener (tests record instead of launching); an empty one restores the default. Returns the
// one it replaced.
ShellOpener SetShellOpener(ShellOpener opener);

// Expands %NAME% references (the result must fit 1024 bytes), maps the host path and opens it. An expansion
// failure shows "Error (%d) expanding path: '%s'"; a refused path is written to the debug log. True when the
// path was handed to the opener.
bool OpenWithShell(std::string_view path);

// Opens a path of this machine (an installed file, never one the host names) with the same refusals as
// OpenWithShell but no drive mapping.
bool OpenLocalDocument(const std::filesystem::path& path);

}  // namespace suite
