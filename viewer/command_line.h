// The viewer's command line: how it was started ("Embedding" or "Automation" by the object system, else
// standalone), "RegServer" to register and end, and a document to open when standalone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace viewer {

struct CCmdLineInfo {
    enum class Launch { Standalone, Embedding, Automation };

    Launch launch = Launch::Standalone;
    int32_t RegServer = 0;
    std::string fileName;  // the first argument that is no flag

    // `args` without the program. Flags start with "-" or "/" and compare without case; an unknown "-" flag
    // is ignored, while "/" followed by anything else is a path.
    static CCmdLineInfo Parse(const std::vector<std::string>& args);
};

}  // namespace viewer
