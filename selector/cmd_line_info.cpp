// Command-line parsing of the selector: "-" opens any flag in any case; "/" only the four words, so that
// absolute paths stay file names.

#include "selector/cmd_line_info.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace selector {
namespace {

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

constexpr std::array<std::string_view, 4> kSlashWords{"noadmin", "convertpractice", "Embedding",
                                                      "Automation"};

// Options the toolkit consumes itself, those that take a value.
constexpr std::array<std::string_view, 12> kToolkitValueOptions{
    "platform", "platformpluginpath", "platformtheme", "plugin",      "display", "style", "stylesheet",
    "session",  "qwindowgeometry",    "qwindowtitle",  "qwindowicon", "geometry"};
constexpr std::array<std::string_view, 3> kToolkitOptions{"reverse", "widgetcount", "nograb"};

bool IsOneOf(std::string_view word, auto const& list) {
    return std::any_of(list.begin(), list.end(), [&](std::string_view w) { return SameWord(w, word); });
}

}  // namespace

void CCmdLineInfo::Parse(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg.size() > 1 && arg[0] == '-') {
            std::string_view word = arg.substr(arg[1] == '-' ? 2 : 1);
            if (IsOneOf(word, kToolkitValueOptions)) {
                ++i;  // its value belongs to the toolkit too
                continue;
            }
            if (IsOneOf(word, kToolkitOptions))
                continue;
            ParseParam(arg.substr(1), true);
        } else if (arg.size() > 1 && arg[0] == '/' && IsOneOf(arg.substr(1), kSlashWords)) {
            ParseParam(arg.substr(1), true);
        } else {
            ParseParam(arg, false);
        }
    }
}

void CCmdLineInfo::ParseParam(std::string_view param, bool flag) {
    if (!flag) {
        if (fileName.empty())
            fileName = std::string(param);
        return;
    }
    if (SameWord(param, "noadmin"))
        noadmin = 0;
    else if (SameWord(param, "convertpractice"))
        convertpractice = 1;
    else if (SameWord(param, "Embedding"))
        runEmbedded = true;
    else if (SameWord(param, "Automation"))
        runAutomated = true;
    else
        unknownFlags.push_back("-" + std::string(param));
}

RunMode CCmdLineInfo::Mode() const {
    // Embedded wins: the framework would find no window and quit before any conversion.
    if (runEmbedded || runAutomated)
        return RunMode::Embedded;
    if (convertpractice)
        return RunMode::Convert;
    return RunMode::Dialog;
}

}  // namespace selector
