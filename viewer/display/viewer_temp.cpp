// The per-viewer temporary folder.
#include "viewer/display/viewer_temp.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/known_folders.h"

namespace display {

std::unique_ptr<ViewerTempFolder> ViewerTempFolder::Create(std::string* why,
                                                           const std::filesystem::path& parent) {
    std::string pattern = ((parent.empty() ? platform::TempFolder() : parent) / "lumetra-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        if (why != nullptr) {
            *why = "No temporary folder can be made in \"" +
                   std::filesystem::path(pattern).parent_path().string() + "\": " + std::strerror(errno) +
                   ".";
        }
        return nullptr;
    }
    return std::unique_ptr<ViewerTempFolder>(new ViewerTempFolder(pattern));
}

ViewerTempFolder::~ViewerTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

}  // namespace display
