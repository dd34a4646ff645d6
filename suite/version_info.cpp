// Version text from the CMake-generated version header.
#include "suite/version_info.h"

#include <cstdio>

#include "carrowline/version.h"

namespace suite {

CVersionInfo::CVersionInfo()
    : CVersionInfo(FileVersion{carrowline::kVersionMajor, carrowline::kVersionMinor,
                               carrowline::kVersionPatch, carrowline::kVersionBuild}) {}

CVersionInfo::CVersionInfo(std::optional<FileVersion> version) : m_version(version) {}

std::string CVersionInfo::GetFileVersion() {
    if (!m_version) {
        m_text = "<no version info found>";
        return m_text;
    }
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), "%02d.%02d.%02d Build %d", m_version->majorPart,
                  m_version->minorPart, m_version->patchPart, m_version->build);
    m_text = buffer;
    return m_text;
}

}  // namespace suite
