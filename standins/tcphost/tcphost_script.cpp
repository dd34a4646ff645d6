// Parsing of the stand-in TCP host's session scripts.
#include "standins/tcphost/tcphost_script.h"

#include <charconv>

namespace standins::tcphost {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<std::vector<ScriptStep>> ParseScript(std::string_view text, std::string* why) {
    std::vector<ScriptStep> steps;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t blank = line.find_first_of(" \t");
        const std::string_view word = line.substr(0, blank);
        const std::string_view argument =
            blank == std::string_view::npos ? std::string_view{} : Trim(line.substr(blank + 1));
        const auto fail = [&](const std::string& reason) {
            if (why)
                *why = "line " + std::to_string(number) + ": " + reason;
            return std::nullopt;
        };
        ScriptStep step;
        if (word == "send" || word == "expect") {
            std::string reason;
            auto bytes = DecodeEscapes(argument, &reason);
            if (!bytes) {
                return fail(reason);
            }
            if (bytes->empty()) {
                return fail(std::string(word) + " needs bytes");
            }
            step.kind = word == "send" ? ScriptStep::Kind::Send : ScriptStep::Kind::Expect;
            step.bytes = std::move(*bytes);
        } else if (word == "sleep") {
            int value = -1;
            const auto [at, ec] = std::from_chars(argument.data(), argument.data() + argument.size(), value);
            if (ec != std::errc{} || at != argument.data() + argument.size() || value < 0) {
                return fail("sleep needs milliseconds");
            }
            step.kind = ScriptStep::Kind::Sleep;
            step.milliseconds = value;
        } else if (word == "close" && argument.empty()) {
            step.kind = ScriptStep::Kind::Close;
        } else {
            return fail("unknown step \"" + std::string(line) + "\"");
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

}  // namespace standins::tcphost
