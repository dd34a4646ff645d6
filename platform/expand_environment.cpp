// "%NAME%" expansion with the Windows rules: a known name is replaced, an unknown one is copied as written
// and its closing "%" may open the next name. The result is core text (Windows-1252): folders and values of
// the process environment are converted from UTF-8 at this edge; an explicit lookup's values are taken as
// given.
#include "platform/expand_environment.h"

#include <cstdlib>

#include "platform/codepage.h"
#include "platform/known_folders.h"
#include "platform/process_environment.h"

extern char** environ;

namespace platform {

namespace {

std::string FolderText(const std::filesystem::path& folder) {
    std::string text = folder.string();
    // Windows folders in TEMP and USERPROFILE carry no trailing separator; "%TEMP%\x" relies on that.
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return Utf8ToCp1252(text);
}

std::optional<std::string> FixedName(std::string_view name) {
    if (EqualsNoCase(name, "TEMP") || EqualsNoCase(name, "TMP")) {
        return FolderText(TempFolder());
    }
    if (EqualsNoCase(name, "USERPROFILE")) {
        return FolderText(HomeFolder());
    }
    return std::nullopt;
}

std::optional<std::string> ProcessLookup(std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (auto value = ProcessVariable(name)) {
        return *value;
    }
    std::string key(name);
    if (const char* value = ::getenv(key.c_str()); value != nullptr) {
        return Utf8ToCp1252(value);
    }
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        size_t eq = text.find('=');
        if (eq != std::string_view::npos && EqualsNoCase(text.substr(0, eq), name)) {
            return Utf8ToCp1252(text.substr(eq + 1));
        }
    }
    return std::nullopt;
}

}  // namespace

std::string ExpandEnvironment(std::string_view text) {
    return ExpandEnvironment(text, ProcessLookup);
}

std::string ExpandEnvironment(std::string_view text, const EnvironmentLookup& lookup) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        if (open == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(open));  // a lone "%" stays
            break;
        }
        std::string_view name = text.substr(open + 1, close - open - 1);
        std::optional<std::string> value;
        if (!name.empty()) {
            value = FixedName(name);
            if (!value && lookup) {
                value = lookup(name);
            }
        }
        if (value) {
            out.append(*value);
            pos = close + 1;
        } else {
            // Copied as written; the closing "%" is looked at again as a possible opening one.
            out.append(text.substr(open, close - open));
            pos = close;
        }
    }
    return out;
}

}  // namespace platform
