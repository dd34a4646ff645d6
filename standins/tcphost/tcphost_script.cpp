// Parsing of the stand-in TCP host's session scripts.
#include "standins/tcphost/tcphost_script.h"

#include <charconv>

namespace standins::tcphost {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

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

std::optional<std::string> DecodeEscapes(std::string_view text, std::string* why) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) {
            if (why)
                *why = "a backslash ends the text";
            return std::nullopt;
        }
        const char c = text[i];
        switch (c) {
            case 'r':
                out.push_back('\r');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'e':
                out.push_back('\x1b');
                break;
            case 'a':
                out.push_back('\a');
                break;
            case 'b':
                out.push_back('\b');
                break;
            case 'f':
                out.push_back('\f');
                break;
            case 'v':
                out.push_back('\v');
                break;
            case '\\':
            case '"':
            case '\'':
                out.push_back(c);
                break;
            case 'x': {
                int value = 0;
                int digits = 0;
                while (digits < 2 && i + 1 < text.size() && HexValue(text[i + 1]) >= 0) {
                    value = value * 16 + HexValue(text[++i]);
                    ++digits;
                }
                if (digits == 0) {
                    if (why)
                        *why = "\\x without hex digits";
                    return std::nullopt;
                }
                out.push_back(static_cast<char>(value));
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    int value = c - '0';
                    for (int digits = 1;
                         digits < 3 && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '7';
                         ++digits) {
                        value = value * 8 + (text[++i] - '0');
                    }
                    if (value > 0xFF) {
                        if (why)
                            *why = "octal escape above \\377";
                        return std::nullopt;
                    }
                    out.push_back(static_cast<char>(value));
                    break;
                }
                if (why)
                    *why = std::string("unknown escape \\") + c;
                return std::nullopt;
        }
    }
    return out;
}

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
