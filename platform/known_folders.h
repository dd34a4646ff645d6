// Where the suite keeps its files: the Windows known folders mapped onto CARROWLINE_ROOT and the XDG
// variables. Every function reads the environment at the time of the call, so tests can relocate everything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

// $CARROWLINE_ROOT, or "/" when unset or empty.
std::filesystem::path CarrowlineRoot();
// CSIDL_COMMON_APPDATA: $CARROWLINE_ROOT/var/lib.
std::filesystem::path CommonAppDataFolder();
// CSIDL_APPDATA: $XDG_CONFIG_HOME, or $HOME/.config.
std::filesystem::path UserAppDataFolder();
// $XDG_STATE_HOME, or $HOME/.local/state.
std::filesystem::path UserStateFolder();
// $XDG_RUNTIME_DIR, or the temp folder when unset.
std::filesystem::path RuntimeFolder();
// A folder of this user's that no other user can write into: $XDG_RUNTIME_DIR when set, else
// "carrowline-<uid>" in the temp folder, created mode 0700. Nothing (and `why`) when it is not private.
std::optional<std::filesystem::path> PrivateRuntimeFolder(std::string* why = nullptr);
// $TMPDIR, or /tmp.
std::filesystem::path TempFolder();
// $HOME, or the password database's home of the user.
std::filesystem::path HomeFolder();
// The folder of the running executable (/proc/self/exe).
std::filesystem::path ProgramFolder();
// The running executable's file name without folder.
std::string ProgramFileName();

// The registry hives: $CARROWLINE_ROOT/etc/carrowline/machine.reg and $XDG_CONFIG_HOME/carrowline/user.reg.
std::filesystem::path MachineHivePath();
std::filesystem::path UserHivePath();

// Creates a folder and its missing parents, as the shell's folder creation does. Returns kSuccess,
// kAlreadyExists when it was there already, kFileExists when a non-folder stands there, kAccessDenied when
// refused, or another Win32 code.
int32_t CreateFolder(const std::filesystem::path& folder);

}  // namespace platform
