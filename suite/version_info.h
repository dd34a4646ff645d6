// The control's file version in its fixed text form, as the about boxes and the login dialogs show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace suite {

struct FileVersion {
    int32_t majorPart = 0;
    int32_t minorPart = 0;
    int32_t patchPart = 0;
    int32_t build = 0;
};

class CVersionInfo {
  public:
    // The version this build was made with.
    CVersionInfo();
    // A given version; nullopt stands for a module without version information.
    explicit CVersionInfo(std::optional<FileVersion> version);

    bool IsValid() const { return m_version.has_value(); }
    // "04.02.01 Build 57", or "<no version info found>".
    std::string GetFileVersion();

  private:
    std::optional<FileVersion> m_version;
    std::string m_text;
};

}  // namespace suite
