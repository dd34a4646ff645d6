// Parsing the viewer's command line.
#include "viewer/command_line.h"

#include "platform/codepage.h"

namespace viewer {

CCmdLineInfo CCmdLineInfo::Parse(const std::vector<std::string>& args) {
    CCmdLineInfo info;
    for (const std::string& arg : args) {
        const bool flag = !arg.empty() && (arg.front() == '-' || arg.front() == '/');
        const std::string_view name = flag ? std::string_view(arg).substr(1) : std::string_view();
        if (flag && platform::EqualsNoCase(name, "RegServer")) {
            info.RegServer = 1;
        } else if (flag && platform::EqualsNoCase(name, "Embedding")) {
            info.launch = Launch::Embedding;
        } else if (flag && platform::EqualsNoCase(name, "Automation")) {
            info.launch = Launch::Automation;
        } else if (!arg.empty() && arg.front() != '-' && info.fileName.empty()) {
            // A path starts with "/" here, so only the known flags may use that prefix.
            info.fileName = arg;
        }
    }
    return info;
}

}  // namespace viewer
