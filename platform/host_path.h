// Host-given Windows paths to local paths. Drive letters map to folders named in the registry
// (HKCU, then HKLM, "SOFTWARE\Carrowline Corporation\Drives", value named by the letter, e.g. "C"); without
// an entry, C: is the user's home and other drives are refused. "\" becomes "/". A path that would leave its
// mapped folder (through "..", or a symbolic link of an existing component) is refused.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Registry;

class HostPath {
public:
    explicit HostPath(const Registry& registry);

    // The local path for `hostPath`, or nullopt with the reason in `why`. Accepted forms:
    // "X:\dir\file" (mapped drive), "\dir\file" (root of C:), "dir\file" (relative to C:'s folder), and an
    // absolute local path that lies inside a mapped drive's folder or the temp folder (what %TEMP% expansion
    // yields). UNC paths ("\\server\share") and device names are refused.
    std::optional<std::filesystem::path> Translate(std::string_view hostPath, std::string* why = nullptr) const;

    // The folder a drive letter maps to, or nullopt when the drive is not mapped.
    std::optional<std::filesystem::path> DriveFolder(char letter) const;

private:
    const Registry& m_registry;
};

}  // namespace platform
