// The selector's command line: the administration and conversion flags, a practice list file and the
// framework's "Embedding" and "Automation" words. Parsed before any toolkit object exists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace selector {

enum class RunMode { Dialog, Convert, Embedded };

class CCmdLineInfo {
  public:
    // Takes the program's arguments without argv[0]. Toolkit options such as "-platform offscreen" are
    // skipped with their values so they never become the file name.
    void Parse(const std::vector<std::string>& args);
    void ParseParam(std::string_view param, bool flag);

    RunMode Mode() const;

    int32_t noadmin = 1;  // the administration permission, cleared by "noadmin"
    int32_t convertpractice = 0;
    bool runEmbedded = false;
    bool runAutomated = false;
    std::string fileName;
    std::vector<std::string> unknownFlags;  // each gets a line on standard error
};

}  // namespace selector
